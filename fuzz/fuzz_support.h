// What the fuzz targets share: one scratch file per process for inputs that
// the library reads by name, the bundled camera, and a frame with one
// marker on it. Header-only; each target is one translation unit.
#ifndef MORVEX_FUZZ_SUPPORT_H
#define MORVEX_FUZZ_SUPPORT_H

#include "morvex/camera.h"
#include "morvex/detect.h"
#include "morvex/error.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace mvfuzz {

// A fixed path for this process (tmpfs when there is one: an input is
// written for every execution), removed at exit.
inline const char *scratch_path(const char *tag)
{
    static std::string path;
    if (path.empty()) {
        const char *dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        path = std::string(dir) + "/morvex-fuzz-" + tag + "-" + std::to_string(getpid());
        std::atexit([] { std::remove(path.c_str()); });
    }
    return path.c_str();
}

inline void write_file(const char *path, const uint8_t *data, size_t size)
{
    FILE *fp = std::fopen(path, "wb");
    if (fp == nullptr || (size > 0 && std::fwrite(data, 1, size, fp) != size) ||
        std::fclose(fp) != 0) {
        std::fprintf(stderr, "fuzz: cannot write the scratch file %s\n", path);
        std::abort();
    }
}

// The bundled calibration rescaled to xsize x ysize.
inline MvCameraParam bundled_camera(int xsize, int ysize)
{
    static MvCameraParam base;
    static bool loaded = false;
    if (!loaded) {
        const char *file = MORVEX_SOURCE_DIR "/resources/camera_para.dat";
        if (mvParamLoad(file, 1, &base) < 0) {
            std::fprintf(stderr, "fuzz: cannot read %s\n", file);
            std::abort();
        }
        loaded = true;
    }
    MvCameraParam cam;
    mvParamChangeSize(&base, xsize, ysize, &cam);
    return cam;
}

// A frame of xsize x ysize pixels (4 bytes each) on a light ground with one
// marker: a black border around a white interior with a dark block in one
// corner, so that matching sees contrast and a single best turn.
inline std::vector<uint8_t> marker_frame(int xsize, int ysize)
{
    std::vector<uint8_t> frame((size_t)xsize * ysize * 4, 190);
    int side = (ysize * 2 / 3) & ~3, x0 = (xsize - side) / 2, y0 = (ysize - side) / 2;
    for (int y = 0; y < side; y++)
        for (int x = 0; x < side; x++) {
            bool border = x < side / 4 || y < side / 4 || x >= side * 3 / 4 || y >= side * 3 / 4;
            bool block = x < side / 2 && y < side / 2;
            uint8_t v = border ? 10 : block ? 40 : 245;
            uint8_t *p = &frame[((size_t)(y0 + y) * xsize + x0 + x) * 4];
            p[0] = p[1] = p[2] = v;
        }
    return frame;
}

// Library messages are recorded, not printed: the fuzzer's log stays readable.
inline void quiet() { mvSetErrorPrinting(0); }

}  // namespace mvfuzz

#endif
