// video.h - morvex.Video.
#ifndef MORVEX_PY_VIDEO_H
#define MORVEX_PY_VIDEO_H

#include <pybind11/pybind11.h>

namespace mvpy {

void add_video(pybind11::module_ &m);

}  // namespace mvpy

#endif
