// make_web_clip on the bundled demo clip: every form holds every frame the
// capture decodes from the clip, the WebM copy (VP8, the clip writer's new
// codec) close to it, the Y4M file exactly laid out, the PNG frames exactly
// the capture's (mvtrack's records on them are its records on the clip).
#include "test_util.h"

#include "morvex/video.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using morvex_test::slurp;

const std::string kClip = "resources/demo_clip.avi";
const int kWidth = 320, kHeight = 240, kFrames = 300;

int run(const std::string &command)
{
    const int s = std::system((command + " </dev/null").c_str());
    return WIFEXITED(s) ? WEXITSTATUS(s) : -1;
}

// Every frame of a file as the capture decodes it, RGBA.
std::vector<std::vector<unsigned char>> frames_of(const std::string &path)
{
    std::vector<std::vector<unsigned char>> frames;
    MvVideoHandle *v = mv2VideoOpen(("-file=" + path + " -nopace").c_str());
    if (v == nullptr) return frames;
    int w = 0, h = 0;
    mv2VideoInqSize(v, &w, &h);
    mv2VideoCapStart(v);
    for (;;) {
        const unsigned char *f = mv2VideoGetImage(v);
        if (f == nullptr) {
            if (mv2VideoInqEnded(v) != 0) break;
            continue;
        }
        frames.emplace_back(f, f + static_cast<size_t>(w) * h * 4);
    }
    mv2VideoClose(v);
    return frames;
}

class MakeWebClip : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char tmpl[] = "/tmp/make_web_clip_test_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        status = run("'" MAKE_WEB_CLIP_PATH "' " + kClip + " --webm '" + dir + "/clip.webm' --y4m '" + dir +
                     "/clip.y4m' --png '" + dir + "/f%04d.png' >'" + dir + "/out'");
        clip = frames_of(kClip);
    }
    static void TearDownTestSuite() { std::system(("rm -rf '" + dir + "'").c_str()); }
    static std::string dir;
    static int status;
    static std::vector<std::vector<unsigned char>> clip;
};
std::string MakeWebClip::dir;
int MakeWebClip::status = -1;
std::vector<std::vector<unsigned char>> MakeWebClip::clip;

TEST_F(MakeWebClip, WebmCopyHoldsEveryFrameCloseToTheClip)
{
    ASSERT_EQ(status, 0) << slurp(dir + "/out");
    EXPECT_NE(slurp(dir + "/out").find("300 frames of 320 x 240 at 30 fps"), std::string::npos);
    const std::string webm = slurp(dir + "/clip.webm");
    ASSERT_GT(webm.size(), 4u);
    EXPECT_EQ(webm.substr(0, 4), std::string("\x1a\x45\xdf\xa3"));   // Matroska / WebM
    EXPECT_NE(webm.find("webm"), std::string::npos);
    EXPECT_NE(webm.find("V_VP8"), std::string::npos);

    const auto copy = frames_of(dir + "/clip.webm");
    ASSERT_EQ(clip.size(), static_cast<size_t>(kFrames));
    ASSERT_EQ(copy.size(), clip.size());
    double worst = 0.0;
    for (size_t f = 0; f < clip.size(); f++) {
        double sum = 0.0;
        for (size_t i = 0; i < clip[f].size(); i++)
            if (i % 4 != 3) sum += std::abs(int(clip[f][i]) - int(copy[f][i]));
        worst = std::fmax(worst, sum / (kWidth * kHeight * 3));
    }
    // Near the MJPEG original: a small mean difference in every frame (a
    // frame shifted by one would differ by far more on this moving clip).
    EXPECT_LT(worst, 2.5) << "largest mean difference per sample";
}

TEST_F(MakeWebClip, Y4mHoldsEveryFrameAsStudioRangeYuv420)
{
    ASSERT_EQ(status, 0);
    const std::string y4m = slurp(dir + "/clip.y4m");
    const std::string header = "YUV4MPEG2 W320 H240 F30:1 Ip A1:1 C420jpeg\n";
    ASSERT_EQ(y4m.substr(0, header.size()), header);
    const size_t plane = kWidth * kHeight, frame = 6 + plane * 3 / 2;
    ASSERT_EQ(y4m.size(), header.size() + kFrames * frame);
    int off = 0;
    for (int f = 0; f < kFrames; f++) {
        const size_t at = header.size() + f * frame;
        ASSERT_EQ(y4m.substr(at, 6), "FRAME\n") << "frame " << f;
        // Luma is BT.601 studio range of the decoded frame's pixels.
        for (size_t p = 0; p < plane; p += 97) {
            const unsigned char *rgb = &clip[f][4 * p];
            const double y = 16.0 + 0.256788 * rgb[0] + 0.504129 * rgb[1] + 0.097906 * rgb[2];
            if (std::abs(double((unsigned char)y4m[at + 6 + p]) - y) > 0.51) off++;
        }
    }
    EXPECT_EQ(off, 0);
}

TEST_F(MakeWebClip, PngFramesAreTheCapturesFrames)
{
    ASSERT_EQ(status, 0);
    const auto png = frames_of(dir + "/f%04d.png");
    ASSERT_EQ(png.size(), clip.size());
    // R, G and B; the fourth byte carries nothing (the PNG files are RGB).
    for (size_t f = 0; f < clip.size(); f++) {
        ASSERT_EQ(png[f].size(), clip[f].size());
        size_t differ = 0;
        for (size_t i = 0; i < clip[f].size(); i++)
            if (i % 4 != 3 && png[f][i] != clip[f][i]) differ++;
        ASSERT_EQ(differ, 0u) << "frame " << f;
    }
    // So mvtrack's records on them are its records on the clip, to the bit.
    ASSERT_EQ(run("'" MVTRACK_PATH "' -file=" + kClip + " -nopace >'" + dir + "/clip.jsonl' 2>/dev/null"), 0);
    ASSERT_EQ(run("'" MVTRACK_PATH "' '-file=" + dir + "/f%04d.png' -nopace >'" + dir + "/png.jsonl' 2>/dev/null"), 0);
    const std::string a = slurp(dir + "/clip.jsonl"), b = slurp(dir + "/png.jsonl");
    EXPECT_FALSE(a.empty());
    EXPECT_EQ(a, b);
}

TEST(MakeWebClipArgs, UsageAndUnreadableClip)
{
    EXPECT_EQ(run("'" MAKE_WEB_CLIP_PATH "' " + kClip + " 2>/dev/null"), 2);            // no output asked for
    EXPECT_EQ(run("'" MAKE_WEB_CLIP_PATH "' " + kClip + " --webm 2>/dev/null"), 2);     // missing value
    EXPECT_EQ(run("'" MAKE_WEB_CLIP_PATH "' " + kClip + " --gif x.gif 2>/dev/null"), 2);
    char tmpl[] = "/tmp/make_web_clip_args_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl;
    EXPECT_EQ(run("'" MAKE_WEB_CLIP_PATH "' " + dir + "/none.avi --webm " + dir + "/x.webm 2>'" + dir + "/err'"), 1);
    EXPECT_NE(slurp(dir + "/err").find("none.avi"), std::string::npos) << slurp(dir + "/err");
    // A failed run leaves no file behind.
    EXPECT_TRUE(slurp(dir + "/x.webm").empty());
    std::system(("rm -rf '" + dir + "'").c_str());
}

}  // namespace
