// Opening and closing the capture: configuration words, the states of the
// front end and every way an open can fail.
#include "video_support.h"

#include "morvex/video.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <utility>
#include <sys/stat.h>

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

// The help starts with the four lines every build prints.
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

TEST_F(CaptureOpen, ConfigurationWordsSetTheSizeOrFailWithTheHelp)
{
    struct Row {
        std::string words;  // after "-file=CLIP "
        bool opens;
        int width, height;
    } rows[] = {
        {"", true, 320, 240},
        {"-width=640 -height=480", true, 640, 480},
        {" \t -width=640 \t\t-height=480\t ", true, 640, 480},
        {"-width= -height=100", true, 320, 100},  // nothing after '=': unchanged
        {"-loop -nopace", true, 320, 240},
        {"-width=abc", false, 0, 0},
        {"-width=640x480", false, 0, 0},  // not read as 640
        {"-size=1", false, 0, 0},
        {"-width=0", false, 0, 0},
        {"-height=-5", false, 0, 0},
        {"-file=/tmp/" + std::string(300, 'a') + ".avi", false, 0, 0},  // refused, not cut short
    };
    for (const Row &row : rows) {
        SCOPED_TRACE("config: " + row.words);
        const std::string config = "-file=" + clip() + " " + row.words;
        CaptureStdout();
        const int r = mvVideoOpen(config.c_str());
        const std::string out = GetCapturedStdout();
        int x = -1, y = -1;
        if (row.opens) {
            ASSERT_EQ(r, 0) << out;
            EXPECT_EQ(mvVideoInqSize(&x, &y), 0);
            EXPECT_EQ(std::make_pair(x, y), std::make_pair(row.width, row.height));
            EXPECT_EQ(out, "");
            EXPECT_EQ(mvVideoClose(), 0);
        } else {
            EXPECT_EQ(r, -1);
            EXPECT_EQ(out.rfind(kHelpHead, 0), 0u) << out;
            // ... and then names the refused word (long ones cut short).
            EXPECT_NE(out.find("Capture word \"" + row.words.substr(0, 20)), std::string::npos)
                << out;
            EXPECT_EQ(mvVideoInqSize(&x, &y), -1);  // nothing was left open
        }
    }
}

TEST_F(CaptureOpen, EveryOperationBeforeOpenFails)
{
    int x = 7, y = 9;
    EXPECT_EQ(mvVideoInqSize(&x, &y), -1);
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(7, 9));  // untouched
    EXPECT_EQ(mvVideoGetImage(), nullptr);
    for (int (*op)() : {mvVideoCapStart, mvVideoCapNext, mvVideoCapStop, mvVideoClose}) EXPECT_EQ(op(), -1);
}

TEST_F(CaptureOpen, SecondOpenIsRefusedAndLeavesTheFirstAlone)
{
    const std::string first = "-file=" + clip() + " -width=200 -height=100 -nopace";
    ASSERT_EQ(mvVideoOpen(first.c_str()), 0);
    CaptureStdout();
    EXPECT_EQ(mvVideoOpen(""), -1);
    EXPECT_EQ(GetCapturedStdout(), "Device has been opened!!\n");
    int x = 0, y = 0;
    EXPECT_EQ(mvVideoInqSize(&x, &y), 0);
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(200, 100));
    mvVideoCapStart();
    EXPECT_NE(mvVideoGetImage(), nullptr);
}

// A source that cannot be opened fails the open with one line naming it;
// nothing is left open. Without words the default camera, /dev/video0, is
// tried (where the machine has one, that row is left out).
TEST_F(CaptureOpen, UnopenableSourcesFailWithAClearMessage)
{
    const std::string junk = vt::scratch("junk.avi");
    {
        std::ofstream f(junk, std::ios::binary);
        for (int i = 0; i < 5000; i++) f.put(static_cast<char>((i * 7919) % 251));
    }
    struct stat st;
    const bool camera = stat("/dev/video0", &st) == 0;
    const std::pair<std::string, std::string> rows[] = {  // config, named in the message
        {"-file=" + vt::scratch("absent.avi"), "absent.avi"},
        {"-file=" + junk, "junk.avi"},
        {"-file=" + vt::scratch("missing_%d.png"), "missing_%d.png"},
        {"-dev=/dev/null", "/dev/null"},  // a device, but not a camera
        {camera ? "-dev=/dev/null" : " \t ", camera ? "/dev/null" : "\"/dev/video0\""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.first);
        CaptureStdout();
        EXPECT_EQ(mvVideoOpen(row.first.c_str()), -1);
        const std::string out = GetCapturedStdout();
        EXPECT_EQ(out.rfind("Cannot open video source \"", 0), 0u) << out;
        EXPECT_NE(out.find(row.second), std::string::npos) << out;
        EXPECT_EQ(mvVideoGetImage(), nullptr);
    }
}

}  // namespace
