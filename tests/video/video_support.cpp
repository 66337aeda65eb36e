#include "video_support.h"

#include "morvex/video.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace vt {

namespace {

struct Scratch {
    fs::path dir = fs::temp_directory_path() / ("morvex_video_test_" + std::to_string(getpid()));
    Scratch() { fs::create_directories(dir); }
    ~Scratch()
    {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

// Steps of 40 or more between codes: far beyond MJPEG's error on a flat
// field (a level or two) and the BT.601 round trip.
void code(int k, uint8_t rgb[3])
{
    rgb[0] = static_cast<uint8_t>(40 + 45 * (k % 5));
    rgb[1] = static_cast<uint8_t>(200 - 40 * ((k / 5) % 5));
    rgb[2] = static_cast<uint8_t>(60 + 60 * ((k / 25) % 3));
}

}  // namespace

std::string scratch(const std::string &name)
{
    static Scratch s;
    return (s.dir / name).string();
}

std::string writeCodedClip(const std::string &name, int frames, int fps, clip::Codec codec,
                           int w, int h, const std::vector<int> &garbage)
{
    std::string path = scratch(name), err;
    clip::Writer *wr = clip::open(path, w, h, fps, codec, 3, &err);
    EXPECT_NE(wr, nullptr) << err;
    if (wr == nullptr) return path;
    std::vector<uint8_t> px(static_cast<size_t>(w) * h * 3);
    // Starts like a JPEG (start-of-image marker), then nothing usable.
    std::vector<uint8_t> junk(600, 0x00);
    junk[0] = 0xFF;
    junk[1] = 0xD8;
    for (int k = 0; k < frames; k++) {
        if (std::find(garbage.begin(), garbage.end(), k) != garbage.end()) {
            EXPECT_TRUE(clip::writeRaw(wr, junk.data(), static_cast<int>(junk.size()), &err)) << err;
            continue;
        }
        for (size_t i = 0; i < px.size(); i += 3) code(k, &px[i]);
        EXPECT_TRUE(clip::write(wr, px.data(), 3, &err)) << err;
    }
    EXPECT_TRUE(clip::close(wr, &err)) << err;
    return path;
}

std::vector<int> readIndices(int count, int codes, int dryStop)
{
    int w = 0, h = 0;
    mvVideoInqSize(&w, &h);
    std::vector<int> seen;
    for (int i = 0, nulls = 0; i < count; i++) {
        unsigned char *f = mvVideoGetImage();
        if (f == nullptr) {
            seen.push_back(-1);
            if (dryStop > 0 && ++nulls >= dryStop) break;
            continue;
        }
        nulls = 0;
        // The nearest code to the centre pixel, away from any edge.
        const unsigned char *px = f + (static_cast<size_t>(h / 2) * w + w / 2) * 4;
        int best = -1, bestD = 1 << 30;
        for (int k = 0; k < codes; k++) {
            uint8_t c[3];
            code(k, c);
            const int d = abs(px[0] - c[0]) + abs(px[1] - c[1]) + abs(px[2] - c[2]);
            if (d < bestD) bestD = d, best = k;
        }
        seen.push_back(best);
        mvVideoCapNext();
    }
    return seen;
}

}  // namespace vt
