#include "video_support.h"

#include "morvex/video.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace vt {

namespace {
struct Scratch {
    fs::path dir;
    Scratch()
    {
        dir = fs::temp_directory_path() / ("morvex_video_test_" + std::to_string(getpid()));
        fs::create_directories(dir);
    }
    ~Scratch()
    {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};
}  // namespace

std::string scratch(const std::string &name)
{
    static Scratch s;
    return (s.dir / name).string();
}

Rgb code(int k)
{
    // Steps of 40 or more between codes: far beyond MJPEG's error on a flat
    // field (a level or two) and the BT.601 round trip.
    return Rgb{40 + 45 * (k % 5), 200 - 40 * ((k / 5) % 5), 60 + 60 * ((k / 25) % 3)};
}

int decodeIndex(const unsigned char *px, int count)
{
    int best = -1, bestD = 1 << 30;
    for (int k = 0; k < count; k++) {
        Rgb c = code(k);
        int d = abs(px[0] - c.r) + abs(px[1] - c.g) + abs(px[2] - c.b);
        if (d < bestD) {
            bestD = d;
            best = k;
        }
    }
    return best;
}

std::string writeCodedClip(const std::string &name, int frames, int fps, clip::Codec codec,
                           int w, int h, const std::vector<int> &garbage)
{
    std::string path = scratch(name), err;
    clip::Writer *wr = clip::open(path, w, h, fps, codec, 3, &err);
    EXPECT_NE(wr, nullptr) << err;
    if (wr == nullptr) return path;
    std::vector<uint8_t> px(static_cast<size_t>(w) * h * 3);
    for (int k = 0; k < frames; k++) {
        bool bad = false;
        for (int g : garbage) bad = bad || g == k;
        if (bad) {
            // Starts like a JPEG (start-of-image marker), then nothing usable.
            std::vector<uint8_t> junk(600, 0x00);
            junk[0] = 0xFF;
            junk[1] = 0xD8;
            EXPECT_TRUE(clip::writeRaw(wr, junk.data(), static_cast<int>(junk.size()), &err)) << err;
            continue;
        }
        Rgb c = code(k);
        for (size_t i = 0; i < px.size(); i += 3) {
            px[i] = static_cast<uint8_t>(c.r);
            px[i + 1] = static_cast<uint8_t>(c.g);
            px[i + 2] = static_cast<uint8_t>(c.b);
        }
        EXPECT_TRUE(clip::write(wr, px.data(), 3, &err)) << err;
    }
    EXPECT_TRUE(clip::close(wr, &err)) << err;
    return path;
}

std::vector<uint8_t> redSquare(int w, int h, int x0, int y0, int x1, int y1)
{
    std::vector<uint8_t> px(static_cast<size_t>(w) * h * 3, 128);
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++) {
            uint8_t *p = &px[(static_cast<size_t>(y) * w + x) * 3];
            p[0] = 255;
            p[1] = 0;
            p[2] = 0;
        }
    return px;
}

std::vector<int> readIndices(int count, int codes, int dryStop)
{
    int w = 0, h = 0;
    mvVideoInqSize(&w, &h);
    std::vector<int> seen;
    int nulls = 0;
    for (int i = 0; i < count; i++) {
        unsigned char *f = mvVideoGetImage();
        if (f == nullptr) {
            seen.push_back(-1);
            if (dryStop > 0 && ++nulls >= dryStop) break;
            continue;
        }
        nulls = 0;
        // The frame's centre pixel: away from any edge the codec could blur.
        seen.push_back(decodeIndex(f + (static_cast<size_t>(h / 2) * w + w / 2) * 4, codes));
        mvVideoCapNext();
    }
    return seen;
}

}  // namespace vt
