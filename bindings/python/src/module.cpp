// The `morvex` Python module: cameras, patterns and trackers with numpy
// frames, and the capture. Built on the public C interface (morvex.h), so
// that a Python program and mvtrack given the same frames report the same
// markers and poses.
#include "common.h"
#include "objects.h"
#include "video.h"

#include <pybind11/stl.h>

#include <cmath>
#include <cstdlib>
#include <memory>

namespace mvpy {

PyObject *g_error = nullptr;

namespace {

const char *code_name(int code)
{
    switch (code) {
    case MV_ERROR_NOT_FOUND: return "not_found";
    case MV_ERROR_FORMAT: return "format";
    case MV_ERROR_CAPACITY: return "capacity";
    case MV_ERROR_MEMORY: return "memory";
    case MV_ERROR_DEVICE: return "device";
    case MV_ERROR_ARGUMENT: return "argument";
    case MV_ERROR_WRITE: return "write";
    default: return "none";
    }
}

// --- morvex.detect: one tracker per calling thread -------------------------
//
// The camera and patterns set with set_camera and load_pattern belong to
// the module (changed with the GIL held); each thread that calls detect
// tracks with a tracker of its own made from them, remade when they change.

bool g_has_camera = false;                  // else each frame's default camera
Camera g_camera;
std::vector<PatternPtr> g_patterns;         // in loading order
long g_next_slot = 0;
long g_version = 0;                         // bumped by every change of the above

struct ThreadTracker {
    std::unique_ptr<Tracker> tracker;
    long version = -1;
};
thread_local ThreadTracker t_tracker;

void changed() { g_version++; }

Tracker &thread_tracker(const Settings &settings)
{
    ThreadTracker &tt = t_tracker;
    if (!tt.tracker || tt.version != g_version) {
        tt.tracker.reset(new Tracker(g_has_camera ? py::cast(g_camera) : py::none(), py::none(), py::none(), settings));
        tt.tracker->use_slots = true;
        for (const PatternPtr &p : g_patterns) tt.tracker->add(py::cast(p), 0.0);
        tt.version = g_version;
    } else {
        tt.tracker->set(settings);
    }
    return *tt.tracker;
}

py::object set_camera(py::object camera, py::object size)
{
    Camera c = py::isinstance<Camera>(camera) ? camera.cast<Camera>()
                                              : py::module_::import("morvex").attr("load_camera")(camera).cast<Camera>();
    if (!size.is_none()) {
        const auto wh = size.cast<std::pair<int, int>>();
        if (wh.first < 1 || wh.second < 1 || wh.first > 16384 || wh.second > 16384)
            throw py::value_error("size " + std::to_string(wh.first) + " x " + std::to_string(wh.second) +
                                  " is outside 1..16384");
        if (wh.first != c.p.xsize || wh.second != c.p.ysize) {
            const double a = static_cast<double>(c.p.xsize) * wh.second,
                         b = static_cast<double>(c.p.ysize) * wh.first;
            if (std::fabs(a - b) > 0.01 * b) {
                const std::string w = "camera of " + std::to_string(c.p.xsize) + " x " + std::to_string(c.p.ysize) +
                                      " used for frames of " + std::to_string(wh.first) + " x " +
                                      std::to_string(wh.second) + ": other aspect ratio, poses will be off";
                if (PyErr_WarnEx(PyExc_UserWarning, w.c_str(), 1) < 0) throw py::error_already_set();
            }
            Camera r;
            mvParamChangeSize(&c.p, wh.first, wh.second, &r.p);
            c = r;
        }
    }
    g_camera = c;
    g_has_camera = true;
    changed();
    return py::cast(c);
}

PatternPtr load_pattern(py::object file, double width)
{
    const std::string path = path_of(file);
    // Loading the same file again (a notebook cell run twice) gives the
    // same pattern, now with this width.
    char *real = realpath(path.c_str(), nullptr);
    const std::string key = real ? real : path;
    std::free(real);
    for (const PatternPtr &p : g_patterns) {
        char *other = realpath(p->path.c_str(), nullptr);
        const bool same = key == (other ? std::string(other) : p->path);
        std::free(other);
        if (!same) continue;
        if (!(width > 0.0) || !std::isfinite(width))
            throw py::value_error("marker width " + std::to_string(width) + " mm is not a positive number");
        if (p->width != width) {
            p->width = width;
            changed();
        }
        return p;
    }
    PatternPtr p = make_pattern(path, width);
    p->slot = g_next_slot++;
    g_patterns.push_back(p);
    changed();
    return p;
}

void free_pattern(const PatternPtr &p)
{
    for (size_t k = 0; k < g_patterns.size(); k++)
        if (g_patterns[k] == p) {
            g_patterns.erase(g_patterns.begin() + k);
            p->slot = -1;
            changed();
            return;
        }
    throw py::value_error("pattern " + quoted(p->path) + " is not loaded");
}

std::vector<Marker> detect(py::handle frame, bool bgr, py::object thresh, bool refine, bool history, bool half,
                           bool grey)
{
    return thread_tracker(Settings{thresh, refine, history, half, grey, 0}).track(frame, bgr);
}

}  // namespace

[[noreturn]] void raise(const std::string &message, int code)
{
    py::object exc = py::reinterpret_borrow<py::object>(g_error)(message);
    exc.attr("code") = code_name(code);
    PyErr_SetObject(g_error, exc.ptr());
    throw py::error_already_set();
}

[[noreturn]] void raise_last(const std::string &context, const std::string &named)
{
    const std::string text = mvLastErrorText();
    const int code = mvLastError();
    if (text.empty()) raise(context, code);
    if (!named.empty() && text.find(named) != std::string::npos) raise(text, code);
    raise(context + ": " + text, code);
}

std::string path_of(py::handle p)
{
    return py::str(py::module_::import("os").attr("fspath")(p)).cast<std::string>();
}

}  // namespace mvpy

PYBIND11_MODULE(_morvex, m)
{
    using namespace mvpy;
    m.doc() = "Square marker tracking: cameras, patterns, trackers with 3-D poses, video capture.\n\n"
              "A Tracker holds one stream's camera, patterns and history; trackers in different threads\n"
              "run at the same time. morvex.detect is a shortcut over one tracker per calling thread,\n"
              "made from set_camera and load_pattern.";
    // Frames are numpy arrays: without numpy this interpreter cannot use the
    // module at all, and says so at once rather than mid-loop.
    try {
        py::module_::import("numpy");
    } catch (py::error_already_set &) {
        PyErr_Clear();
        throw py::import_error("morvex needs numpy, which " + py::module_::import("sys").attr("executable").cast<std::string>() +
                               " does not have: use the Python the module was built for (Debian's /usr/bin/python3 "
                               "with python3-numpy), or install numpy for this one");
    }
    // The libraries' messages would mix into the program's output; their
    // text goes into the exceptions instead.
    mvSetErrorPrinting(0);

    g_error = PyErr_NewExceptionWithDoc("morvex.Error",
                                        "A failure of the library; .code names its kind "
                                        "(not_found, format, capacity, memory, device, argument, write).",
                                        nullptr, nullptr);
    m.attr("Error") = py::reinterpret_borrow<py::object>(g_error);
    add_objects(m);
    add_video(m);

    m.def("set_camera", &set_camera, py::arg("camera"), py::arg("size") = py::none(),
          "Makes a Camera (or a camera file's) the one morvex.detect uses, rescaled to\n"
          "size=(width, height) when given; starts a new stream. Returns that Camera.");
    m.def("camera", []() -> py::object { return g_has_camera ? py::cast(g_camera) : py::none(); },
          "The Camera morvex.detect uses, or None (a default camera).");
    m.def("load_pattern", &load_pattern, py::arg("path"), py::arg("width") = 45.0,
          "Loads a pattern file for morvex.detect, for markers of side `width` mm (the black\n"
          "square). The same file again gives the same Pattern.");
    m.def("free_pattern", &free_pattern, py::arg("pattern"));
    m.def("patterns", [] { return g_patterns; }, "The patterns morvex.detect knows, in loading order.");
    m.def("reset", [] { changed(); },
          "Starts a new stream for morvex.detect: history, previous poses and threshold forgotten.");
    m.def("detect", &detect, py::arg("frame"), py::kw_only(), py::arg("bgr") = false, py::arg("thresh") = "auto",
          py::arg("refine") = true, py::arg("history") = true, py::arg("half") = false, py::arg("grey") = false,
          "Tracks one frame with the calling thread's tracker (camera from set_camera, or a default\n"
          "camera of the frame's size; patterns from load_pattern): Tracker.track's frames and results,\n"
          "markers of a pattern carrying its Pattern.slot as id. thresh, refine, history, half, grey\n"
          "as for Tracker.");
}
