// Opening and closing the capture: configuration words, the states of the
// front end and every way an open can fail.
#include "video_support.h"

#include "morvex/video.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <sys/stat.h>

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

// The help: the four lines every build prints, then the Linux words.
const char *kHelpHead =
    " -width=N\n"
    "    specifies expected width of image.\n"
    " -height=N\n"
    "    specifies expected height of image.\n";

class CaptureOpen : public testing::Test {
protected:
    void TearDown() override { mvVideoClose(); }
    static std::string clip()
    {
        static std::string path = vt::writeCodedClip("config.avi", 3, 30);
        return path;
    }
};

TEST_F(CaptureOpen, OptionHelpListsEveryWord)
{
    CaptureStdout();
    EXPECT_EQ(mvVideoDispOption(), 0);
    std::string out = GetCapturedStdout();
    EXPECT_EQ(out.rfind(kHelpHead, 0), 0u) << out;
    for (const char *word : {" -dev=PATH\n", " -file=PATH\n", " -loop\n", " -nopace\n"})
        EXPECT_NE(out.find(word), std::string::npos) << word;
    EXPECT_EQ(out.substr(out.size() - 2), "\n\n");
}

TEST_F(CaptureOpen, ConfigurationWordsSetTheSizeOrFailWithTheHelp)
{
    struct Row {
        std::string words;   // after "-file=CLIP "
        bool opens;
        int width, height;
    };
    const std::string longPath = "-file=/tmp/" + std::string(300, 'a') + ".avi";
    const Row rows[] = {
        {"", true, 320, 240},
        {"-width=640 -height=480", true, 640, 480},
        {" \t -width=640 \t\t-height=480\t ", true, 640, 480},
        {"-width=", true, 320, 240},          // nothing after '=': unchanged
        {"-width= -height=100", true, 320, 100},
        {"-loop -nopace", true, 320, 240},
        {"-width=abc", false, 0, 0},
        {"-size=1", false, 0, 0},
        {"-Width=640", false, 0, 0},
        {"-width=0", false, 0, 0},             // no frame has no pixels
        {"-height=-5", false, 0, 0},
        {"-width=99999999999999", false, 0, 0},
        {"-file=", false, 0, 0},
        {longPath, false, 0, 0},               // refused, not cut to 255
    };
    for (const Row &row : rows) {
        SCOPED_TRACE("config: " + row.words);
        std::string config = "-file=" + clip() + " " + row.words;
        CaptureStdout();
        int r = mvVideoOpen(config.c_str());
        std::string out = GetCapturedStdout();
        if (row.opens) {
            ASSERT_EQ(r, 0) << out;
            int x = -1, y = -1;
            EXPECT_EQ(mvVideoInqSize(&x, &y), 0);
            EXPECT_EQ(x, row.width);
            EXPECT_EQ(y, row.height);
            EXPECT_EQ(out, "");
            EXPECT_EQ(mvVideoClose(), 0);
        } else {
            EXPECT_EQ(r, -1);
            EXPECT_EQ(out.rfind(kHelpHead, 0), 0u) << out;
            int x = -1, y = -1;
            EXPECT_EQ(mvVideoInqSize(&x, &y), -1);   // nothing was left open
        }
    }
}

TEST_F(CaptureOpen, EveryOperationBeforeOpenFails)
{
    int x = 7, y = 9;
    EXPECT_EQ(mvVideoInqSize(&x, &y), -1);
    EXPECT_EQ(x, 7);
    EXPECT_EQ(y, 9);
    EXPECT_EQ(mvVideoGetImage(), nullptr);
    EXPECT_EQ(mvVideoCapStart(), -1);
    EXPECT_EQ(mvVideoCapNext(), -1);
    EXPECT_EQ(mvVideoCapStop(), -1);
    EXPECT_EQ(mvVideoClose(), -1);
}

TEST_F(CaptureOpen, SecondOpenIsRefusedAndLeavesTheFirstAlone)
{
    std::string first = "-file=" + clip() + " -width=200 -height=100 -nopace";
    ASSERT_EQ(mvVideoOpen(first.c_str()), 0);
    CaptureStdout();
    EXPECT_EQ(mvVideoOpen(""), -1);
    EXPECT_EQ(GetCapturedStdout(), "Device has been opened!!\n");
    int x = 0, y = 0;
    EXPECT_EQ(mvVideoInqSize(&x, &y), 0);
    EXPECT_EQ(x, 200);
    EXPECT_EQ(y, 100);
    mvVideoCapStart();
    EXPECT_NE(mvVideoGetImage(), nullptr);
    // Closed, the front end opens again.
    EXPECT_EQ(mvVideoClose(), 0);
    EXPECT_EQ(mvVideoOpen(first.c_str()), 0);
}

TEST_F(CaptureOpen, FramesComeOnlyWhileCapturing)
{
    std::string config = "-file=" + clip() + " -nopace";
    ASSERT_EQ(mvVideoOpen(config.c_str()), 0);
    EXPECT_EQ(mvVideoGetImage(), nullptr);          // open, not started
    ASSERT_EQ(mvVideoCapStart(), 0);
    EXPECT_EQ(vt::readIndices(1, 3), std::vector<int>{0});
    ASSERT_EQ(mvVideoCapStop(), 0);
    EXPECT_EQ(mvVideoGetImage(), nullptr);          // stopped
    ASSERT_EQ(mvVideoCapStart(), 0);
    EXPECT_EQ(vt::readIndices(1, 3), std::vector<int>{1});   // goes on where it stopped
}

// A source that cannot be opened fails the open with one line naming it and
// why; nothing is left open.
TEST_F(CaptureOpen, UnopenableSourcesFailWithAClearMessage)
{
    std::string junk = vt::scratch("junk.avi");
    {
        std::ofstream f(junk, std::ios::binary);
        for (int i = 0; i < 5000; i++) f.put(static_cast<char>((i * 7919) % 251));
    }
    std::string text = vt::scratch("notes.mkv");
    std::ofstream(text) << "not a video\n";
    std::string noSequence = vt::scratch("missing_%d.png");   // no such sequence

    struct Row {
        std::string config, mustMention;
    };
    const Row rows[] = {
        {"-file=" + vt::scratch("absent.avi"), "absent.avi"},
        {"-file=" + junk, "junk.avi"},
        {"-file=" + text, "notes.mkv"},
        {"-file=" + noSequence, "missing_%d.png"},
        {"-dev=/dev/morvex_no_such_camera", "/dev/morvex_no_such_camera"},
        {"-dev=/dev/null", "/dev/null"},   // a device, but not a camera
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.config);
        CaptureStdout();
        EXPECT_EQ(mvVideoOpen(row.config.c_str()), -1);
        std::string out = GetCapturedStdout();
        EXPECT_EQ(out.rfind("Cannot open video source \"", 0), 0u) << out;
        EXPECT_NE(out.find(row.mustMention), std::string::npos) << out;
        EXPECT_EQ(mvVideoGetImage(), nullptr);
    }
}

// Without words the capture opens the default camera, /dev/video0. Where the
// machine has none, that fails cleanly and says so.
TEST_F(CaptureOpen, DefaultCameraIsDevVideo0)
{
    struct stat st;
    if (stat("/dev/video0", &st) == 0) GTEST_SKIP() << "this machine has a /dev/video0";
    for (const char *config : {static_cast<const char *>(nullptr), "", " \t "}) {
        CaptureStdout();
        EXPECT_EQ(mvVideoOpen(config), -1);
        std::string out = GetCapturedStdout();
        EXPECT_NE(out.find("\"/dev/video0\""), std::string::npos) << out;
    }
}

}  // namespace
