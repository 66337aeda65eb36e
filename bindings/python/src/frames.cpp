// numpy arrays as frames.
#include "frames.h"

#include <pybind11/numpy.h>

#include <cstring>
#include <string>

namespace mvpy {

namespace py = pybind11;

namespace {

std::string shape_text(const py::array &a)
{
    std::string s = "(";
    for (py::ssize_t i = 0; i < a.ndim(); i++) s += (i ? ", " : "") + std::to_string(a.shape(i));
    return s + (a.ndim() == 1 ? ",)" : ")");
}

}  // namespace

FrameRef frame_from(py::handle obj, bool bgr)
{
    if (!py::isinstance<py::array>(obj))
        throw py::type_error(std::string("frame must be a numpy array, not ") + Py_TYPE(obj.ptr())->tp_name);
    const py::array a = py::reinterpret_borrow<py::array>(obj);
    if (!a.dtype().is(py::dtype::of<uint8_t>()))
        throw py::type_error("frame must be of dtype uint8, not " + py::str(a.dtype()).cast<std::string>());
    const int channels = a.ndim() == 2 ? 1 : a.ndim() == 3 ? (int)a.shape(2) : 0;
    if (channels != 1 && channels != 3 && channels != 4)
        throw py::value_error("frame must have shape (H, W), (H, W, 3) or (H, W, 4), not " + shape_text(a));
    if (a.shape(0) < 3 || a.shape(1) < 3 || a.shape(0) > 65536 || a.shape(1) > 65536)
        throw py::value_error("frame of shape " + shape_text(a) + " is not 3 to 65536 pixels each way");
    FrameRef f;
    f.width = (int)a.shape(1);
    f.height = (int)a.shape(0);
    f.format = channels == 1 ? MV_PIXEL_GREY
               : channels == 3 ? (bgr ? MV_PIXEL_BGR : MV_PIXEL_RGB)
                               : (bgr ? MV_PIXEL_BGRA : MV_PIXEL_RGBA);
    // Pixels side by side, channels side by side, rows apart: read in place.
    const bool packed = a.strides(1) == channels && (channels == 1 || a.strides(2) == 1) &&
                        a.strides(0) >= (py::ssize_t)f.width * channels && a.strides(0) <= 0x7fffffff;
    if (packed) {
        f.pixels = static_cast<const unsigned char *>(a.data());
        f.stride = (int)a.strides(0);
        f.keep = py::reinterpret_borrow<py::object>(obj);
        return f;
    }
    f.copy.resize((size_t)f.width * f.height * channels);
    const auto *base = static_cast<const unsigned char *>(a.data());
    unsigned char *out = f.copy.data();
    for (int y = 0; y < f.height; y++)
        for (int x = 0; x < f.width; x++)
            for (int c = 0; c < channels; c++)
                *out++ = base[y * a.strides(0) + x * a.strides(1) + (channels > 1 ? c * a.strides(2) : 0)];
    f.pixels = f.copy.data();
    f.stride = f.width * channels;
    return f;
}

}  // namespace mvpy
