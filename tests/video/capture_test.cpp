// Frames written to files with known content and captured again through the
// front end, as the viewer does.
#include "video_support.h"

#include "morvex/video.h"
#include "render.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

class CaptureFromFiles : public testing::Test {
protected:
    void TearDown() override { mvVideoClose(); }
    static bool open(const std::string &config)
    {
        if (mvVideoOpen(config.c_str()) != 0) return false;
        return mvVideoCapStart() == 0;
    }
};

// A PNG sequence is lossless, so the bytes come back exactly: R G B from the
// frame pointer, whatever the host's byte order.
TEST_F(CaptureFromFiles, PngSequenceComesBackByteForByteAsRgb)
{
    const int w = 320, h = 240, frames = 3;
    std::vector<render::Image> images;
    for (int k = 0; k < frames; k++) {
        render::Image img;
        img.width = w;
        img.height = h;
        img.channels = 3;
        img.pixels.resize(static_cast<size_t>(w) * h * 3);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                uint8_t *p = &img.pixels[(static_cast<size_t>(y) * w + x) * 3];
                p[0] = static_cast<uint8_t>(x * 255 / (w - 1));
                p[1] = static_cast<uint8_t>(y * 255 / (h - 1));
                p[2] = static_cast<uint8_t>(40 * k + 10);
            }
        std::string err;
        ASSERT_TRUE(render::writePng(vt::scratch("seq_" + std::to_string(k) + ".png"), img, &err))
            << err;
        images.push_back(img);
    }
    CaptureStdout();
    ASSERT_TRUE(open("-nopace -file=" + vt::scratch("seq_%d.png")));
    for (int k = 0; k < frames; k++) {
        unsigned char *f = mvVideoGetImage();
        ASSERT_NE(f, nullptr) << "frame " << k;
        int wrong = 0;
        for (size_t i = 0; i < static_cast<size_t>(w) * h; i++)
            for (int c = 0; c < 3; c++) wrong += f[i * 4 + c] != images[k].pixels[i * 3 + c];
        EXPECT_EQ(wrong, 0) << "frame " << k;
        mvVideoCapNext();
    }
    EXPECT_EQ(mvVideoGetImage(), nullptr);   // the sequence has run dry
    EXPECT_EQ(GetCapturedStdout(), "CTYPE = png \n");

    // With -loop the sequence starts again (blue carries the frame number).
    mvVideoClose();
    ASSERT_TRUE(open("-loop -nopace -file=" + vt::scratch("seq_%d.png")));
    std::vector<int> blues;
    for (int i = 0; i < 7; i++) {
        unsigned char *f = mvVideoGetImage();
        ASSERT_NE(f, nullptr) << "request " << i;
        blues.push_back(f[2]);
    }
    EXPECT_EQ(blues, (std::vector<int>{10, 50, 90, 10, 50, 90, 10}));
}

// MJPEG in AVI, as a webcam delivers it: a red square reads back with red in
// byte 0 of each pixel. Tolerance 12 levels: quantiser 3 on a flat field
// inside the square (4 px clear of its edge, beyond the 2x2 chroma blocks)
// and the YUV round trip stay well inside it.
TEST_F(CaptureFromFiles, MjpegRedSquareReadsBackRedFirstAndCtypeOnce)
{
    const int w = 320, h = 240;
    std::string path = vt::scratch("red.avi"), err;
    clip::Writer *wr = clip::open(path, w, h, 30, clip::Codec::Mjpeg, 3, &err);
    ASSERT_NE(wr, nullptr) << err;
    std::vector<uint8_t> px = vt::redSquare(w, h, 100, 60, 180, 140);
    for (int k = 0; k < 4; k++) ASSERT_TRUE(clip::write(wr, px.data(), 3, &err)) << err;
    ASSERT_TRUE(clip::close(wr, &err)) << err;

    CaptureStdout();
    ASSERT_TRUE(open("-file=" + path + " -nopace"));
    for (int k = 0; k < 4; k++) {
        unsigned char *f = mvVideoGetImage();
        ASSERT_NE(f, nullptr);
        for (int y = 64; y < 136; y += 8)
            for (int x = 104; x < 176; x += 8) {
                const unsigned char *p = f + (static_cast<size_t>(y) * w + x) * 4;
                ASSERT_NEAR(p[0], 255, 12) << x << "," << y;
                ASSERT_NEAR(p[1], 0, 12) << x << "," << y;
                ASSERT_NEAR(p[2], 0, 12) << x << "," << y;
            }
        const unsigned char *grey = f + (20 * w + 20) * 4;
        EXPECT_NEAR(grey[0], 128, 12);
        EXPECT_NEAR(grey[1], 128, 12);
        EXPECT_NEAR(grey[2], 128, 12);
    }
    EXPECT_EQ(GetCapturedStdout(), "CTYPE = MJPG\n");
}

// A 320 x 240 file captured at 640 x 480: the square doubles in place.
TEST_F(CaptureFromFiles, FramesAreScaledToTheConfiguredSize)
{
    std::string path = vt::scratch("scale.avi"), err;
    clip::Writer *wr = clip::open(path, 320, 240, 30, clip::Codec::Mjpeg, 3, &err);
    ASSERT_NE(wr, nullptr) << err;
    std::vector<uint8_t> px = vt::redSquare(320, 240, 200, 40, 280, 120);
    ASSERT_TRUE(clip::write(wr, px.data(), 3, &err)) << err;
    ASSERT_TRUE(clip::close(wr, &err)) << err;

    ASSERT_TRUE(open("-width=640 -height=480 -nopace -file=" + path));
    int w = 0, h = 0;
    mvVideoInqSize(&w, &h);
    ASSERT_EQ(w, 640);
    ASSERT_EQ(h, 480);
    unsigned char *f = mvVideoGetImage();
    ASSERT_NE(f, nullptr);
    auto red = [&](int x, int y) {
        const unsigned char *p = f + (static_cast<size_t>(y) * w + x) * 4;
        return p[0] > 230 && p[1] < 30 && p[2] < 30;
    };
    // Inside the doubled square [400, 560) x [80, 240), 8 px clear of edges.
    EXPECT_TRUE(red(408, 88));
    EXPECT_TRUE(red(551, 231));
    EXPECT_TRUE(red(480, 160));
    // Outside it, and where the unscaled square would end.
    EXPECT_FALSE(red(390, 160));
    EXPECT_FALSE(red(480, 250));
    EXPECT_FALSE(red(250, 60));
    EXPECT_FALSE(red(570, 160));
}

// A paced file never delivers faster than its own frame rate, also across
// the jump back to the start with -loop. Only a lower bound on the time is
// checked: a busy machine may always be slower.
TEST_F(CaptureFromFiles, PacedFileDeliversNoFasterThanItsRate)
{
    struct Row {
        int fileFrames, fps, requests;
        bool loop;
    };
    for (Row row : {Row{10, 20, 10, false}, Row{3, 30, 8, true}}) {
        SCOPED_TRACE(row.loop ? "with -loop" : "plain");
        std::string path = vt::writeCodedClip("paced_" + std::to_string(row.fps) + ".avi",
                                              row.fileFrames, row.fps);
        ASSERT_TRUE(open("-file=" + path + (row.loop ? " -loop" : "")));
        std::chrono::steady_clock::time_point first;
        for (int i = 0; i < row.requests; i++) {
            ASSERT_NE(mvVideoGetImage(), nullptr) << "request " << i;
            if (i == 0) first = std::chrono::steady_clock::now();
        }
        double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - first).count();
        double least = (row.requests - 1) / static_cast<double>(row.fps);
        EXPECT_GE(elapsed, least - 0.002);   // 2 ms: clock rounding only
        mvVideoClose();
    }
}

// -nopace hands out every frame as asked; without -loop the file then runs
// dry (null, repeatedly, and nothing breaks); with -loop it starts again.
TEST_F(CaptureFromFiles, NopaceLoopAndRunningDry)
{
    std::string path = vt::writeCodedClip("five.avi", 5, 30);
    ASSERT_TRUE(open("-nopace -file=" + path));
    EXPECT_EQ(vt::readIndices(8, 5), (std::vector<int>{0, 1, 2, 3, 4, -1, -1, -1}));
    EXPECT_EQ(mvVideoCapStop(), 0);
    EXPECT_EQ(mvVideoClose(), 0);

    ASSERT_TRUE(open("-file=" + path + " -nopace -loop"));
    EXPECT_EQ(vt::readIndices(12, 5), (std::vector<int>{0, 1, 2, 3, 4, 0, 1, 2, 3, 4, 0, 1}));
}

// A sample that cannot be decoded is dropped: the next request goes on with
// the following frame instead of failing on the same sample for ever.
TEST_F(CaptureFromFiles, UndecodableSampleIsDroppedAndCaptureGoesOn)
{
    std::string path = vt::writeCodedClip("broken.avi", 7, 30, clip::Codec::Mjpeg, 320, 240, {2, 3});
    ASSERT_TRUE(open("-file=" + path + " -nopace"));
    std::vector<int> seen = vt::readIndices(30, 7, 3);
    std::vector<int> frames;
    for (int k : seen)
        if (k >= 0) frames.push_back(k);
    EXPECT_EQ(frames, (std::vector<int>{0, 1, 4, 5, 6}));
    EXPECT_EQ(seen.back(), -1);
}

// MPEG-4 with B-frames: the decoder needs more than one sample for some
// pictures and holds the last ones until the end. Every frame still comes
// out once, in order.
TEST_F(CaptureFromFiles, DecoderNeedingSeveralSamplesDeliversEveryFrameInOrder)
{
    std::string path = vt::writeCodedClip("bframes.mkv", 14, 25, clip::Codec::Mpeg4);
    CaptureStdout();
    ASSERT_TRUE(open("-file=" + path + " -nopace"));
    std::vector<int> seen = vt::readIndices(20, 14, 3);
    std::vector<int> expected;
    for (int k = 0; k < 14; k++) expected.push_back(k);
    expected.insert(expected.end(), 3, -1);
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(GetCapturedStdout(), "CTYPE = mp4v\n");
}

}  // namespace
