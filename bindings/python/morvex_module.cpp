// The `morvex` Python module: cameras, patterns, detection with poses and
// the capture, with numpy arrays in and out. Built on the public C interface
// (morvex.h) alone; the tracking loop is mvtrack's, so that a Python program
// and mvtrack given the same frames report the same markers and poses.
#include "input_probe.h"
#include "tool_files.h"
#include "track_step.h"
#include "morvex.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <pthread.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace py = pybind11;

namespace {

// --- Errors --------------------------------------------------------------

PyObject *g_error = nullptr;          // morvex.Error
PyObject *g_thread_error = nullptr;   // morvex.ThreadError

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

[[noreturn]] void throw_error(PyObject *type, const std::string &message, int code)
{
    py::object exc = py::reinterpret_borrow<py::object>(type)(message);
    exc.attr("code") = code_name(code);
    PyErr_SetObject(type, exc.ptr());
    throw py::error_already_set();
}

// The library's last failure as morvex.Error; `context` goes in front
// unless the library's text already names what it is about.
[[noreturn]] void raise_last(const std::string &context, const std::string &named = "")
{
    const std::string text = mvLastErrorText();
    const int code = mvLastError();
    if (text.empty()) throw_error(g_error, context, code);
    if (!named.empty() && text.find(named) != std::string::npos) throw_error(g_error, text, code);
    throw_error(g_error, context + ": " + text, code);
}

std::string quoted(const std::string &s) { return "\"" + s + "\""; }

// A str or os.PathLike as a path.
std::string path_of(py::handle p)
{
    return py::str(py::module_::import("os").attr("fspath")(p)).cast<std::string>();
}

// --- One thread per process ------------------------------------------------
//
// The library's state (active camera, patterns, detection history, last
// error) is process-wide. The first thread that uses the module owns it;
// another thread is refused rather than silently sharing a detection
// history with it. A forked child starts unowned: its copy is its own.

bool g_owned = false;
std::thread::id g_owner;

void claim(const char *what)
{
    const std::thread::id me = std::this_thread::get_id();
    if (!g_owned) {
        g_owner = me;
        g_owned = true;
    } else if (me != g_owner) {
        throw_error(g_thread_error,
              std::string("morvex.") + what +
                  " called from a second thread: the library's camera, patterns and detection "
                  "history are process-wide and belong to the thread that used morvex first; "
                  "track each video in a process of its own (multiprocessing)",
              MV_ERROR_NONE);
    }
}

// --- Camera --------------------------------------------------------------

struct Camera {
    MvCameraParam p;
};

py::array_t<double> matrix(const double *v, std::vector<py::ssize_t> shape)
{
    py::array_t<double> a(shape);
    std::memcpy(a.mutable_data(), v, a.size() * sizeof(double));
    return a;
}

Camera load_camera(py::object file)
{
    claim("load_camera");
    const std::string path = path_of(file);
    Camera c;
    mvClearError();
    if (mvParamLoad(path.c_str(), 1, &c.p) < 0) raise_last("camera file " + quoted(path), path);
    // The same check as the tools': a record that cannot be right names its field.
    const std::string fault = mvtool::cameraFault(c.p);
    if (!fault.empty()) throw_error(g_error, "camera file " + quoted(path) + ": " + fault, MV_ERROR_FORMAT);
    return c;
}

Camera resized(const Camera &c, int width, int height)
{
    if (width < 1 || height < 1 || width > 16384 || height > 16384)
        throw py::value_error("camera size " + std::to_string(width) + " x " + std::to_string(height) +
                              " is outside 1..16384");
    Camera out;
    mvParamChangeSize(&c.p, width, height, &out.p);
    return out;
}

// --- Patterns and the stream ---------------------------------------------

struct Pattern {
    mvtrack::PatternTrack track;   // slot (-1 once freed), width, previous pose
    std::string path;
};

// In loading order: a marker takes the first pattern of its slot.
std::vector<std::shared_ptr<Pattern>> g_patterns;
MvAutoThresh g_at;
bool g_camera_set = false;

void reset_stream()
{
    mvAutoThreshInit(&g_at, 100);
    for (auto &p : g_patterns) p->track.hasPrev = false;
}

Camera set_camera(py::object camera, py::object size)
{
    claim("set_camera");
    Camera c = py::isinstance<Camera>(camera) ? camera.cast<Camera>() : load_camera(camera);
    if (!size.is_none()) {
        const auto wh = size.cast<std::pair<int, int>>();
        if (wh.first != c.p.xsize || wh.second != c.p.ysize) {
            const double a = static_cast<double>(c.p.xsize) * wh.second,
                         b = static_cast<double>(c.p.ysize) * wh.first;
            if (std::fabs(a - b) > 0.01 * b) {
                const std::string w = "camera of " + std::to_string(c.p.xsize) + " x " +
                                      std::to_string(c.p.ysize) + " used for frames of " +
                                      std::to_string(wh.first) + " x " + std::to_string(wh.second) +
                                      ": other aspect ratio, poses will be off";
                if (PyErr_WarnEx(PyExc_UserWarning, w.c_str(), 1) < 0) throw py::error_already_set();
            }
            c = resized(c, wh.first, wh.second);
        }
    }
    mvInitCparam(&c.p);
    g_camera_set = true;
    reset_stream();
    return c;
}

std::shared_ptr<Pattern> load_pattern(py::object file, double width)
{
    claim("load_pattern");
    const std::string path = path_of(file);
    if (!(width > 0.0) || !std::isfinite(width))
        throw py::value_error("marker width " + std::to_string(width) + " mm for pattern " + quoted(path) +
                              " is not a positive number");
    mvClearError();
    const int slot = mvLoadPatt(path.c_str());
    if (slot < 0) raise_last("pattern file " + quoted(path), path);
    auto p = std::make_shared<Pattern>();
    p->track.slot = slot;
    p->path = path;
    p->track.width = width;
    g_patterns.push_back(p);
    return p;
}

void free_pattern(const std::shared_ptr<Pattern> &p)
{
    claim("free_pattern");
    if (p->track.slot < 0) throw py::value_error("pattern " + quoted(p->path) + " was freed already");
    mvFreePatt(p->track.slot);
    p->track.slot = -1;
    for (size_t k = 0; k < g_patterns.size(); k++)
        if (g_patterns[k] == p) g_patterns.erase(g_patterns.begin() + k);
}

// --- Detection -----------------------------------------------------------

struct Marker {
    MvMarkerInfo info;
    std::shared_ptr<Pattern> pattern;
    bool hasPose = false;
    double trans[3][4] = {};
    double error = 0.0;
};

std::vector<unsigned char> g_frame;   // the frame as the library reads it

std::string shape_text(const py::array &a)
{
    std::string s = "(";
    for (py::ssize_t i = 0; i < a.ndim(); i++) s += (i ? ", " : "") + std::to_string(a.shape(i));
    return s + (a.ndim() == 1 ? ",)" : ")");
}

// The frame as R, G, B, unused bytes for the active camera's size.
void take_frame(py::handle obj, bool bgr)
{
    if (!py::isinstance<py::array>(obj))
        throw py::type_error(std::string("frame must be a numpy array, not ") +
                             Py_TYPE(obj.ptr())->tp_name);
    const py::array a = py::reinterpret_borrow<py::array>(obj);
    if (!a.dtype().is(py::dtype::of<uint8_t>()))
        throw py::type_error("frame must be of dtype uint8, not " + py::str(a.dtype()).cast<std::string>());
    if (a.ndim() != 3 || (a.shape(2) != 3 && a.shape(2) != 4))
        throw py::value_error("frame must have shape (H, W, 3) or (H, W, 4), not " + shape_text(a));
    if (!g_camera_set)
        throw_error(g_error, "no active camera: call morvex.set_camera first", MV_ERROR_ARGUMENT);
    const long w = a.shape(1), h = a.shape(0);
    if (w != mvImXsize || h != mvImYsize)
        throw py::value_error("frame is " + std::to_string(w) + " x " + std::to_string(h) +
                              " pixels, the active camera " + std::to_string(mvImXsize) + " x " +
                              std::to_string(mvImYsize) + " (morvex.set_camera(camera, size=(" +
                              std::to_string(w) + ", " + std::to_string(h) + ")))");
    const auto v = py::reinterpret_borrow<py::array_t<uint8_t>>(a).unchecked<3>();
    g_frame.resize(static_cast<size_t>(w) * h * 4);
    const int r = bgr ? 2 : 0, b = bgr ? 0 : 2;
    unsigned char *out = g_frame.data();
    for (long y = 0; y < h; y++)
        for (long x = 0; x < w; x++, out += 4) {
            out[0] = v(y, x, r);
            out[1] = v(y, x, 1);
            out[2] = v(y, x, b);
            out[3] = 0;
        }
}

// One frame through mvtrack's loop: detection (with or without the
// history), optionally sub-pixel corners and identities from them, the
// automatic threshold's update, and the pose of every marker of a loaded
// pattern, refined and kept continuous with the previous frame's.
std::vector<Marker> detect(py::handle frame, bool bgr, py::object thresh, bool refine, bool history,
                           bool half, bool grey)
{
    claim("detect");
    int fixed = -1;
    if (!(py::isinstance<py::str>(thresh) && thresh.cast<std::string>() == "auto")) {
        // Any integer (numpy's too), but not a bool or a float.
        if (py::isinstance<py::bool_>(thresh) || !PyIndex_Check(thresh.ptr()))
            throw py::type_error("thresh must be \"auto\" or an int 0..255, not " +
                                 py::repr(thresh).cast<std::string>());
        const long v = PyNumber_AsSsize_t(thresh.ptr(), nullptr);
        if (v < 0 || v > 255) throw py::value_error("thresh " + std::to_string(v) + " is outside 0..255");
        fixed = static_cast<int>(v);
    }
    take_frame(frame, bgr);
    const long work = half ? static_cast<long>(mvImXsize / 2) * (mvImYsize / 2)
                           : static_cast<long>(mvImXsize) * mvImYsize;
    if (work > MV_WORK_PIXELS_MAX)
        throw py::value_error("frames of " + std::to_string(mvImXsize) + " x " + std::to_string(mvImYsize) +
                              " are too large to detect in (at most " + std::to_string(MV_WORK_PIXELS_MAX) +
                              " pixels): use half=True");

    std::vector<Marker> found;
    int r;
    {
        py::gil_scoped_release unlocked;
        mvImageProcMode = half ? 1 : 0;
        mvTemplateMatchingMode = grey ? 1 : 0;
        mvtrack::TrackSettings settings;
        settings.thresh = fixed;
        settings.refine = refine;
        settings.lite = !history;
        std::vector<mvtrack::PatternTrack *> tracks;
        for (auto &p : g_patterns) tracks.push_back(&p->track);
        std::vector<mvtrack::TrackedMarker> tracked;
        mvClearError();
        r = mvtrack::trackStep(g_frame.data(), settings, &g_at, tracks, &tracked);
        for (const mvtrack::TrackedMarker &t : tracked) {
            Marker m;
            m.info = t.info;
            if (t.patternIndex >= 0) m.pattern = g_patterns[t.patternIndex];
            m.hasPose = t.hasPose;
            m.error = t.error;
            std::memcpy(m.trans, t.trans, sizeof m.trans);
            found.push_back(m);
        }
    }
    if (r < 0) raise_last("detection failed");
    return found;
}

py::object marker_pose(const Marker &m)
{
    if (!m.hasPose) return py::none();
    double t[16] = {};
    std::memcpy(t, m.trans, sizeof m.trans);
    t[15] = 1.0;
    return matrix(t, {4, 4});
}

std::string marker_repr(const Marker &m)
{
    std::ostringstream s;
    s << "Marker(id=" << m.info.id << ", confidence=" << m.info.confidence
      << ", direction=" << m.info.direction << ", center=(" << m.info.center[0] << ", "
      << m.info.center[1] << ")";
    if (m.hasPose)
        s << ", position_mm=(" << m.trans[0][3] << ", " << m.trans[1][3] << ", " << m.trans[2][3] << ")";
    return s.str() + ")";
}

// --- Capture -------------------------------------------------------------

// A source from capture words, frames as numpy arrays. Tracked at the
// source's own size unless the words scale it (as mvtrack does).
class Video {
public:
    Video(py::object words, bool bgr) : bgr_(bgr)
    {
        claim("Video");
        if (py::isinstance<py::str>(words)) {
            config_ = words.cast<std::string>();
        } else {
            for (py::handle w : words) config_ += (config_.empty() ? "" : " ") + py::str(w).cast<std::string>();
        }
        // Words the capture refuses are left for it to name when opened.
        MvVideoConfig video;
        std::string words_used = config_;
        if (mvvideo::parse_config(config_.c_str(), &video, nullptr)) {
            const bool camera = video.file[0] == '\0';
            source_ = camera ? video.dev : video.file;
            const mvtrack::InputInfo info = mvtrack::probeInput(source_, camera);
            frames_ = camera || video.loop ? -1 : info.frames;
            fps_ = info.fps;
            words_used = mvtrack::wordsAtSourceSize(config_, video, info);
        }
        mvClearError();
        handle_ = mv2VideoOpen(words_used.c_str());
        if (handle_ == nullptr) raise_last("cannot open the capture " + quoted(config_), source_);
        mv2VideoInqSize(handle_, &w_, &h_);
        mv2VideoCapStart(handle_);
    }
    ~Video() { close(); }

    void close()
    {
        if (handle_ == nullptr) return;
        mv2VideoCapStop(handle_);
        mv2VideoClose(handle_);
        handle_ = nullptr;
    }

    // The next frame, or None once a file has run dry.
    py::object read()
    {
        claim("Video.read");
        if (handle_ == nullptr) throw_error(g_error, "capture " + quoted(config_) + " is closed", MV_ERROR_ARGUMENT);
        const unsigned char *image = nullptr;
        bool ended = false;
        if (first_) {
            // The capture names the source's codec on standard output at its
            // first frame; standard output is the program's, so it goes to
            // standard error instead.
            fflush(stdout);
            const int saved = dup(1);
            if (saved >= 0) dup2(2, 1);
            image = next(&ended);
            fflush(stdout);
            if (saved >= 0) dup2(saved, 1), ::close(saved);
            first_ = false;
        } else {
            py::gil_scoped_release unlocked;
            image = next(&ended);
        }
        if (image == nullptr) {
            if (!ended) raise_last("capture " + quoted(config_) + " stopped delivering");
            return py::none();
        }
        py::array_t<uint8_t> frame({static_cast<py::ssize_t>(h_), static_cast<py::ssize_t>(w_),
                                    static_cast<py::ssize_t>(3)});
        uint8_t *out = frame.mutable_data();
        const int r = bgr_ ? 2 : 0, b = bgr_ ? 0 : 2;
        for (long i = 0, n = static_cast<long>(w_) * h_; i < n; i++, out += 3, image += 4) {
            out[0] = image[r];
            out[1] = image[1];
            out[2] = image[b];
        }
        mv2VideoCapNext(handle_);
        count_++;
        return std::move(frame);
    }

    int width() const { return w_; }
    int height() const { return h_; }
    long frames() const { return frames_; }
    double fps() const { return fps_; }
    long count() const { return count_; }
    const std::string &config() const { return config_; }

private:
    // Waits out undecodable samples; NULL when the source ran dry
    // (*ended) or failed.
    const unsigned char *next(bool *ended)
    {
        for (int nulls = 0;; nulls++) {
            const unsigned char *image = mv2VideoGetImage(handle_);
            if (image != nullptr) return image;
            const int e = mv2VideoInqEnded(handle_);
            if (e != 0) {
                *ended = e > 0;
                return nullptr;
            }
            if (nulls > 1000000) return nullptr;   // a camera that never delivers
            if (nulls > 0) usleep(1000);
        }
    }

    MvVideoHandle *handle_ = nullptr;
    std::string config_, source_;
    bool bgr_, first_ = true;
    int w_ = 0, h_ = 0;
    long frames_ = -1, count_ = 0;
    double fps_ = 0.0;
};

py::str data_dir()
{
    py::module_ os = py::module_::import("os");
    const py::object here = os.attr("path").attr("dirname")(
        os.attr("path").attr("abspath")(py::module_::import("morvex").attr("__file__")));
    // The build tree (build/python beside build/bin/resources), then an
    // installed prefix (<prefix>/lib/python3.X/dist-packages).
    for (const char *rel : {"../bin/resources", "../../../share/morvex"}) {
        const py::object d = os.attr("path").attr("normpath")(os.attr("path").attr("join")(here, rel));
        if (os.attr("path").attr("isfile")(os.attr("path").attr("join")(d, "camera_para.dat")).cast<bool>())
            return d;
    }
    throw_error(g_error, "the bundled camera_para.dat is neither in ../bin/resources nor in ../../../share/morvex "
                   "beside " + py::str(here).cast<std::string>(), MV_ERROR_NOT_FOUND);
}

}  // namespace

PYBIND11_MODULE(morvex, m)
{
    m.doc() = "Square marker tracking: cameras, patterns, detection with 3-D poses, video capture.\n\n"
              "The library's state (active camera, patterns, detection history) is process-wide: the\n"
              "first thread to use morvex owns it and others get ThreadError. Track several videos in\n"
              "several processes.";
    // Failures print nothing; their text goes into the exceptions.
    mvSetErrorPrinting(0);
    pthread_atfork(nullptr, nullptr, [] { g_owned = false; });

    g_error = PyErr_NewExceptionWithDoc("morvex.Error",
                                        "A failure of the library; .code names its kind "
                                        "(not_found, format, capacity, memory, device, argument, write).",
                                        nullptr, nullptr);
    g_thread_error = PyErr_NewExceptionWithDoc("morvex.ThreadError",
                                               "morvex used from a thread other than its first.",
                                               PyExc_RuntimeError, nullptr);
    m.attr("Error") = py::reinterpret_borrow<py::object>(g_error);
    m.attr("ThreadError") = py::reinterpret_borrow<py::object>(g_thread_error);

    py::class_<Camera>(m, "Camera", "A calibrated camera: frame size, projection, lens distortion.")
        .def_property_readonly("width", [](const Camera &c) { return c.p.xsize; })
        .def_property_readonly("height", [](const Camera &c) { return c.p.ysize; })
        .def_property_readonly("size", [](const Camera &c) { return std::make_pair(c.p.xsize, c.p.ysize); })
        .def_property_readonly("projection", [](const Camera &c) { return matrix(&c.p.projection[0][0], {3, 4}); },
                               "3 x 4: camera coordinates (mm) to homogeneous ideal pixels")
        .def_property_readonly("distortion", [](const Camera &c) { return matrix(c.p.distortion, {4}); },
                               "centre x, centre y, radial factor x 1e8, scale")
        .def("resized", &resized, py::arg("width"), py::arg("height"),
             "The camera for frames of another size (scaled by width / self.width).")
        .def("__repr__", [](const Camera &c) {
            return "Camera(" + std::to_string(c.p.xsize) + " x " + std::to_string(c.p.ysize) + ")";
        });
    m.def("load_camera", &load_camera, py::arg("path"), "Reads a camera file (136 bytes, big-endian).");
    m.def("set_camera", &set_camera, py::arg("camera"), py::arg("size") = py::none(),
          "Makes a Camera (or a camera file's) the active one, rescaled to size=(width, height)\n"
          "when given; starts a new stream (threshold, previous poses). Returns the active Camera.");
    m.def("camera", []() -> py::object {
              claim("camera");
              if (!g_camera_set) return py::none();
              Camera c;
              c.p = mvParam;
              return py::cast(c);
          },
          "The active Camera, or None.");

    py::class_<Pattern, std::shared_ptr<Pattern>>(m, "Pattern", "A loaded pattern and its marker's side.")
        .def_property_readonly("slot", [](const Pattern &p) { return p.track.slot; },
                               "the library's slot: markers of this pattern carry it as id")
        .def_readonly("path", &Pattern::path)
        .def_property_readonly("width", [](const Pattern &p) { return p.track.width; }, "the marker's side in mm")
        .def("__repr__", [](const Pattern &p) {
            std::ostringstream s;
            s << "Pattern(" << quoted(p.path) << ", width=" << p.track.width << ", slot=" << p.track.slot << ")";
            return s.str();
        });
    m.def("load_pattern", &load_pattern, py::arg("path"), py::arg("width") = 45.0,
          "Loads a pattern file for markers of side `width` mm.");
    m.def("free_pattern", &free_pattern, py::arg("pattern"));
    m.def("patterns", [] { claim("patterns"); return g_patterns; }, "The loaded patterns, in loading order.");
    m.def("reset", [] { claim("reset"); reset_stream(); },
          "Starts a new stream: the automatic threshold from 100 and no previous poses.\n"
          "(The detection history forgets a marker after two frames without it.)");

    py::class_<Marker>(m, "Marker", "A detected marker. Coordinates in ideal (undistorted) pixels.")
        .def_property_readonly("id", [](const Marker &k) { return k.info.id; }, "pattern slot, or -1")
        .def_property_readonly("pattern", [](const Marker &k) { return k.pattern; }, "its Pattern, or None")
        .def_property_readonly("confidence", [](const Marker &k) { return k.info.confidence; })
        .def_property_readonly("direction", [](const Marker &k) { return k.info.direction; },
                               "which rotation of the pattern matched, 0..3")
        .def_property_readonly("area", [](const Marker &k) { return k.info.area; }, "border pixels")
        .def_property_readonly("center", [](const Marker &k) { return matrix(k.info.center, {2}); },
                               "centroid in observed frame pixels")
        .def_property_readonly("corners", [](const Marker &k) { return matrix(&k.info.vertices[0][0], {4, 2}); },
                               "(4, 2): corner i is where side i begins")
        .def_property_readonly("lines", [](const Marker &k) { return matrix(&k.info.edgeLines[0][0], {4, 3}); },
                               "(4, 3): side i as a x + b y + c = 0")
        .def_property_readonly("pose", &marker_pose,
                               "4 x 4 marker -> camera transform (mm), or None (unknown marker, no fit)")
        .def_property_readonly("error", [](const Marker &k) -> py::object {
                                   return k.hasPose ? py::object(py::float_(k.error)) : py::none();
                               }, "the pose fit's mean squared reprojection error (px^2), or None")
        .def("__repr__", &marker_repr);
    m.def("detect", &detect, py::arg("frame"), py::kw_only(), py::arg("bgr") = false,
          py::arg("thresh") = "auto", py::arg("refine") = true, py::arg("history") = true,
          py::arg("half") = false, py::arg("grey") = false,
          "Detects the markers of one frame of the active camera's size: a uint8 array (H, W, 3)\n"
          "or (H, W, 4), RGB(A), or BGR(A) with bgr=True. thresh: 'auto' (follows the scene) or\n"
          "0..255; refine: sub-pixel corners, identities from them and refined poses; history:\n"
          "the detector's frame-to-frame history; half: half resolution; grey: grey matching.\n"
          "Returns a list of Marker; those of a loaded pattern carry a pose.");

    py::class_<Video>(m, "Video", "A capture source from capture words; iterates over its frames.")
        .def(py::init<py::object, bool>(), py::arg("words"), py::kw_only(), py::arg("bgr") = false,
             "words: a string or list such as '-file=clip.avi -nopace'. Frames are (H, W, 3) uint8,\n"
             "RGB (BGR with bgr=True), at the source's own size unless -width=N / -height=N.")
        .def_property_readonly("width", &Video::width)
        .def_property_readonly("height", &Video::height)
        .def_property_readonly("size", [](const Video &v) { return std::make_pair(v.width(), v.height()); })
        .def_property_readonly("frame_count", &Video::frames, "frames a file announces, or -1 (camera, -loop)")
        .def_property_readonly("fps", &Video::fps, "a file's frame rate, 0 when unknown")
        .def_property_readonly("frames_read", &Video::count)
        .def("read", &Video::read, "The next frame, or None at the end of a file.")
        .def("close", &Video::close)
        .def("__iter__", [](py::object self) { return self; })
        .def("__next__", [](Video &v) {
            py::object f = v.read();
            if (f.is_none()) throw py::stop_iteration();
            return f;
        })
        .def("__enter__", [](py::object self) { return self; })
        .def("__exit__", [](Video &v, py::args) { v.close(); })
        .def("__repr__", [](const Video &v) {
            return "Video(" + quoted(v.config()) + ", " + std::to_string(v.width()) + " x " +
                   std::to_string(v.height()) + ")";
        });

    m.def("data_dir", &data_dir, "The folder of the bundled camera_para.dat, patt.lumo and demo clip.");
}
