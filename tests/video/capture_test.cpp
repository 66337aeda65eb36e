// Frames written to files with known content and captured again through the
// front end, as the viewer does.
#include "video_support.h"

#include "morvex/video.h"
#include "image_io.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <utility>

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

class CaptureFromFiles : public testing::Test {
protected:
    void TearDown() override { mvVideoClose(); }
    static bool open(const std::string &config)
    {
        return mvVideoOpen(config.c_str()) == 0 && mvVideoCapStart() == 0;
    }
};

// A PNG sequence is lossless, so the bytes come back exactly: R G B from the
// frame pointer, whatever the host's byte order; then the sequence runs dry.
TEST_F(CaptureFromFiles, PngSequenceComesBackByteForByteAsRgb)
{
    const int w = 320, h = 240, frames = 3;
    std::vector<mvtool::Image> images(frames);
    for (int k = 0; k < frames; k++) {
        mvtool::Image &img = images[k] = mvtool::Image{w, h, 3, {}};
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++)
                img.pixels.insert(img.pixels.end(), {static_cast<uint8_t>(x * 255 / (w - 1)),
                                                     static_cast<uint8_t>(y * 255 / (h - 1)),
                                                     static_cast<uint8_t>(40 * k + 10)});
        std::string err;
        ASSERT_TRUE(mvtool::writePng(vt::scratch("seq_" + std::to_string(k) + ".png"), img, &err)) << err;
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
    EXPECT_EQ(mvVideoGetImage(), nullptr);
    EXPECT_EQ(GetCapturedStdout(), "CTYPE = png \n");
}

// MJPEG in AVI, as a webcam delivers it, 320 x 240 captured at 640 x 480:
// the red square doubles in place with red in byte 0, and the codec is
// named once. Tolerance 12 levels: quantiser 3 on a flat field, 8 px clear
// of the square's edge (beyond the chroma blocks), and the YUV round trip
// stay well inside it.
TEST_F(CaptureFromFiles, MjpegFrameIsScaledWithRedFirstAndCtypeOnce)
{
    std::string path = vt::scratch("red.avi"), err;
    clip::Writer *wr = clip::open(path, 320, 240, 30, clip::Codec::Mjpeg, 3, &err);
    ASSERT_NE(wr, nullptr) << err;
    std::vector<uint8_t> px(320 * 240 * 3, 128);
    for (int y = 40; y < 120; y++)
        for (int x = 200; x < 280; x++) {
            uint8_t *p = &px[(y * 320 + x) * 3];
            p[0] = 255, p[1] = 0, p[2] = 0;
        }
    for (int k = 0; k < 3; k++) ASSERT_TRUE(clip::write(wr, px.data(), 3, &err)) << err;
    ASSERT_TRUE(clip::close(wr, &err)) << err;

    CaptureStdout();
    ASSERT_TRUE(open("-width=640 -height=480 -nopace -file=" + path));
    int w = 0, h = 0;
    ASSERT_EQ(mvVideoInqSize(&w, &h), 0);
    ASSERT_EQ(std::make_pair(w, h), std::make_pair(640, 480));
    for (int k = 0; k < 3; k++) {
        unsigned char *f = mvVideoGetImage();
        ASSERT_NE(f, nullptr);
        // (x, y, red inside [400, 560) x [80, 240)?): inside, outside, and
        // where the unscaled square would be.
        const int pts[][3] = {{408, 88, 1}, {551, 231, 1}, {480, 160, 1}, {390, 160, 0},
                              {480, 250, 0}, {250, 60, 0}, {570, 160, 0}};
        for (const auto &q : pts) {
            const unsigned char *p = f + (static_cast<size_t>(q[1]) * w + q[0]) * 4;
            for (int c = 0; c < 3; c++) EXPECT_NEAR(p[c], q[2] ? (c ? 0 : 255) : 128, 12) << q[0] << "," << q[1];
        }
        mvVideoCapNext();
    }
    EXPECT_EQ(GetCapturedStdout(), "CTYPE = MJPG\n");
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
        double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - first).count();
        EXPECT_GE(elapsed, (row.requests - 1) / static_cast<double>(row.fps) - 0.002);  // clock rounding
        mvVideoClose();
    }
}

// -nopace hands out every frame as asked; without -loop the file then runs
// dry (null, repeatedly, and nothing breaks); with -loop it starts again.
TEST_F(CaptureFromFiles, NopaceLoopAndRunningDry)
{
    std::string path = vt::writeCodedClip("five.avi", 5, 30);
    ASSERT_TRUE(open("-nopace -file=" + path));
    EXPECT_EQ(mvVideoInqEnded(), 0);
    EXPECT_EQ(vt::readIndices(8, 5), (std::vector<int>{0, 1, 2, 3, 4, -1, -1, -1}));
    EXPECT_EQ(mvVideoInqEnded(), 1);  // a null from now on is for good
    EXPECT_EQ(mvVideoCapStop(), 0);
    EXPECT_EQ(mvVideoClose(), 0);
    ASSERT_TRUE(open("-file=" + path + " -nopace -loop"));
    EXPECT_EQ(vt::readIndices(12, 5), (std::vector<int>{0, 1, 2, 3, 4, 0, 1, 2, 3, 4, 0, 1}));
    EXPECT_EQ(mvVideoInqEnded(), 0);  // a looping file never ends
}

// Every decodable frame comes out once, in order: an undecodable sample is
// dropped (not retried for ever), and a decoder that needs several samples
// for a picture (MPEG-4 with B-frames) still delivers the held ones.
TEST_F(CaptureFromFiles, EveryDecodableFrameComesOnceInOrder)
{
    struct Row {
        const char *name;
        int frames;
        clip::Codec codec;
        std::vector<int> garbage, expected;
        const char *ctype;
    } rows[] = {
        {"broken.avi", 7, clip::Codec::Mjpeg, {2, 3}, {0, 1, 4, 5, 6}, "CTYPE = MJPG\n"},
        {"bframes.mkv", 14, clip::Codec::Mpeg4, {}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13},
         "CTYPE = mp4v\n"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        std::string path = vt::writeCodedClip(row.name, row.frames, 30, row.codec, 320, 240, row.garbage);
        CaptureStdout();
        ASSERT_TRUE(open("-file=" + path + " -nopace"));
        std::vector<int> seen = vt::readIndices(30, row.frames, 3), frames;
        for (int k : seen)
            if (k >= 0) frames.push_back(k);
        EXPECT_EQ(frames, row.expected);
        EXPECT_EQ(seen.back(), -1);
        if (row.garbage.empty()) {
            EXPECT_EQ(seen.size(), frames.size() + 3) << "a null before the end";
        }
        EXPECT_EQ(GetCapturedStdout(), row.ctype);
        mvVideoClose();
    }
}

}  // namespace
