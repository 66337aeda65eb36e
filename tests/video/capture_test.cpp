// Frames written to files with known content and captured again through the
// front end, as the viewer does.
#include "video_support.h"

#include "morvex/video.h"
#include "image_io.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

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

// A paced file never delivers faster than its own frame rate, also across
// the jump back to the start with -loop, which begins again at frame 0 and
// never ends. Only a lower bound on the time is checked: a busy machine may
// always be slower.
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
        std::vector<int> expected;
        for (int i = 0; i < row.requests; i++) expected.push_back(i % row.fileFrames);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(vt::readIndices(row.requests, row.fileFrames), expected);
        double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_GE(elapsed, (row.requests - 1) / static_cast<double>(row.fps) - 0.002);  // clock rounding
        EXPECT_EQ(mvVideoInqEnded(), 0);
        mvVideoClose();
    }
}

// Every decodable frame comes out once, in order, then the file runs dry: an
// undecodable sample is dropped (not retried for ever), and a decoder that
// needs several samples for a picture (MPEG-4 with B-frames) still delivers
// the held ones.
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
        EXPECT_EQ(mvVideoInqEnded(), 1);  // a null from now on is for good
        if (row.garbage.empty()) {
            EXPECT_EQ(seen.size(), frames.size() + 3) << "a null before the end";
        }
        EXPECT_EQ(GetCapturedStdout(), row.ctype);
        mvVideoClose();
    }
}

}  // namespace
