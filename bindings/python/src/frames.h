// frames.h - numpy arrays as the tracker reads frames: the caller's pixels
// where their layout allows, a contiguous copy otherwise.
#ifndef MORVEX_PY_FRAMES_H
#define MORVEX_PY_FRAMES_H

#include "morvex/tracker.h"

#include <pybind11/pybind11.h>

#include <vector>

namespace mvpy {

struct FrameRef {
    const unsigned char *pixels = nullptr;
    int width = 0, height = 0, stride = 0;
    MvPixelFormat format = MV_PIXEL_RGB;
    pybind11::object keep;             // the array, alive while the frame is read
    std::vector<unsigned char> copy;   // when its layout needed one
};

// A uint8 array of shape (H, W) (grey), (H, W, 3) (RGB, or BGR with `bgr`)
// or (H, W, 4) (RGBA / BGRA). TypeError / ValueError naming what is wrong.
// Needs the GIL.
FrameRef frame_from(pybind11::handle obj, bool bgr);

}  // namespace mvpy

#endif
