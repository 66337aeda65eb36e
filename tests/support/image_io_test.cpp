// Image files: tool support's PNG writer and encoder against its reader.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image_io.h"
#include "test_util.h"

namespace {

using mvtool::Image;

std::string tempPath(const std::string &name) {
    return testing::TempDir() + "image_io_" + std::to_string(getpid()) + "_" + name;
}

// Every byte survives the file, and the bytes in memory are the file's.
TEST(ImageFiles, PngRoundTripKeepsEveryByteForEachChannelCount) {
    for (int ch : {1, 3, 4}) {
        Image img{13, 7, ch, {}};
        for (int i = 0; i < 13 * 7 * ch; i++) img.pixels.push_back(static_cast<uint8_t>(i * 37 + 11));
        if (ch == 4)
            for (int i = 0; i < 13 * 7; i++) img.pixels[i * 4 + 3] = 255;  // opaque: no premultiplying
        std::string path = tempPath("rt" + std::to_string(ch) + ".png"), err;
        ASSERT_TRUE(mvtool::writePng(path, img, &err)) << err;
        Image back;
        ASSERT_TRUE(mvtool::readImage(path, &back, &err)) << err;
        EXPECT_TRUE(back.width == 13 && back.height == 7 && back.channels == ch);
        EXPECT_EQ(back.pixels, img.pixels);
        std::ifstream in(path, std::ios::binary);
        const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(mvtool::encodePng(img, &bytes, &err)) << err;
        EXPECT_EQ(bytes, file) << ch << " channels";
        std::remove(path.c_str());
    }
}

TEST(ImageFiles, FailuresNameTheFileAndLeaveTheImageAlone) {
    std::string junk = tempPath("junk.png"), err;
    std::ofstream(junk) << "this is not an image";
    // A PNG cut short inside its pixel data.
    const std::string cut = tempPath("cut.png"), png = morvex_test::slurp(MORVEX_SOURCE_DIR "/resources/marker.png");
    std::ofstream(cut, std::ios::binary) << png.substr(0, png.size() / 2);
    for (const std::string &path : {tempPath("missing.png"), junk, cut}) {
        Image img;
        img.width = 5;
        EXPECT_FALSE(mvtool::readImage(path, &img, &err));
        EXPECT_NE(err.find(path), std::string::npos) << err;
        EXPECT_EQ(img.width, 5);
    }
    const Image grey{4, 4, 1, std::vector<uint8_t>(16, 128)};
    EXPECT_FALSE(mvtool::writePng(tempPath("empty.png"), Image(), &err));
    EXPECT_FALSE(mvtool::writePng("/nonexistent-dir/x.png", grey, &err));
    EXPECT_NE(err.find("/nonexistent-dir/x.png"), std::string::npos);
    std::vector<uint8_t> bytes{1, 2, 3};
    EXPECT_FALSE(mvtool::encodePng(Image{4, 4, 2, std::vector<uint8_t>(32)}, &bytes, &err));
    EXPECT_EQ(bytes.size(), 3u);
    std::remove(junk.c_str());
    std::remove(cut.c_str());
}

}  // namespace
