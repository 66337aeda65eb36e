// Camera, Pattern, Marker and Tracker.
#include "objects.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace mvpy {

namespace {

py::array_t<double> matrix(const double *v, std::vector<py::ssize_t> shape)
{
    py::array_t<double> a(shape);
    std::memcpy(a.mutable_data(), v, a.size() * sizeof(double));
    return a;
}

Camera load_camera(py::object file)
{
    const std::string path = path_of(file);
    Camera c;
    mvClearError();
    if (mvParamLoad(path.c_str(), 1, &c.p) < 0) raise_last("camera file " + quoted(path), path);
    char why[MV_MESSAGE_MAX];
    if (mvParamCheck(&c.p, why, sizeof why) < 0) raise("camera file " + quoted(path) + ": " + why, MV_ERROR_FORMAT);
    return c;
}

void check_size(int width, int height)
{
    if (width < 1 || height < 1 || width > 16384 || height > 16384)
        throw py::value_error("camera size " + std::to_string(width) + " x " + std::to_string(height) +
                              " is outside 1..16384");
}

Camera resized(const Camera &c, int width, int height)
{
    check_size(width, height);
    Camera out;
    mvParamChangeSize(&c.p, width, height, &out.p);
    return out;
}

Camera default_camera(int width, int height)
{
    check_size(width, height);
    Camera c;
    mvTrackerDefaultCamera(width, height, &c.p);
    return c;
}

// A Camera, or a camera file's path.
Camera camera_from(py::handle obj)
{
    if (py::isinstance<Camera>(obj)) return obj.cast<Camera>();
    return load_camera(py::reinterpret_borrow<py::object>(obj));
}

std::string marker_repr(const Marker &k)
{
    std::ostringstream s;
    s << "Marker(id=" << k.id << ", confidence=" << k.m.confidence << ", direction=" << k.m.direction
      << ", center=(" << k.m.center[0] << ", " << k.m.center[1] << ")";
    if (k.m.hasPose)
        s << ", position_mm=(" << k.m.pose[0][3] << ", " << k.m.pose[1][3] << ", " << k.m.pose[2][3] << ")";
    return s.str() + ")";
}

// The file a path names, for recognising the same pattern file again.
std::string canonical(const std::string &path)
{
    char *real = realpath(path.c_str(), nullptr);
    if (real == nullptr) return path;
    std::string out = real;
    std::free(real);
    return out;
}

}  // namespace

PatternPtr make_pattern(const std::string &path, double width)
{
    if (!(width > 0.0) || !std::isfinite(width))
        throw py::value_error("marker width " + std::to_string(width) + " mm for pattern " + quoted(path) +
                              " is not a positive number");
    char why[MV_MESSAGE_MAX];
    int code = 0;
    MvPattern *p = mvPatternLoad(path.c_str(), why, &code);
    if (p == nullptr) raise(why, code);
    auto out = std::make_shared<Pattern>();
    out->pattern.reset(p, mvPatternRelease);
    out->path = path;
    out->width = width;
    return out;
}

MvTrackerSettings Settings::resolve() const
{
    MvTrackerSettings s;
    mvTrackerSettingsInit(&s);
    if (!(py::isinstance<py::str>(thresh) && thresh.cast<std::string>() == "auto")) {
        // Any integer (numpy's too), but not a bool or a float.
        if (py::isinstance<py::bool_>(thresh) || !PyIndex_Check(thresh.ptr()))
            throw py::type_error("thresh must be \"auto\" or an int 0..255, not " +
                                 py::repr(thresh).cast<std::string>());
        const long v = PyNumber_AsSsize_t(thresh.ptr(), nullptr);
        if (v < 0 || v > 255) throw py::value_error("thresh " + std::to_string(v) + " is outside 0..255");
        s.threshold = (int)v;
    }
    if (max_markers < 0) throw py::value_error("max_markers " + std::to_string(max_markers) + " is negative");
    if (threads < 0 || threads > MV_TRACKER_THREADS_MAX)
        throw py::value_error("threads " + std::to_string(threads) + " is outside 0.." +
                              std::to_string(MV_TRACKER_THREADS_MAX) + " (0: one per processor)");
    s.refine = refine;
    s.history = history;
    s.halfResolution = half;
    s.greyMatching = grey;
    s.maxMarkers = max_markers;
    s.threads = threads;
    s.guard = guard;
    return s;
}

void Tracker::on_note(void *self, const char *text)
{
    static_cast<Tracker *>(self)->notes_.push_back(text);
}

Tracker::Tracker(py::object camera, py::object patterns, py::object families, const Settings &settings)
{
    const MvTrackerSettings s = settings.resolve();
    Camera cam;
    const bool given = !camera.is_none();
    if (given) cam = camera_from(camera);
    char why[MV_MESSAGE_MAX];
    const int r = mvTrackerCreate(given ? &cam.p : nullptr, &s, &t_, why);
    if (r != MV_ERROR_NONE) raise(why, r);
    mvTrackerSetMessageCallback(t_, on_note, this);
    if (!families.is_none()) {
        for (py::handle item : families) {
            if (py::isinstance<py::str>(item)) {
                add_family(item.cast<std::string>(), 45.0, -1);
                continue;
            }
            const py::sequence pair = py::reinterpret_borrow<py::sequence>(item);
            if (pair.size() != 2) throw py::value_error("a family is a name or (name, side_mm), not " + py::repr(item).cast<std::string>());
            add_family(pair[0].cast<std::string>(), pair[1].cast<double>(), -1);
        }
    }
    if (patterns.is_none()) return;
    for (py::handle item : patterns) {
        if (py::isinstance<py::tuple>(item) || py::isinstance<py::list>(item)) {
            const py::sequence pair = py::reinterpret_borrow<py::sequence>(item);
            if (pair.size() != 2) throw py::value_error("a pattern is (path, width_mm), not " + py::repr(item).cast<std::string>());
            add(pair[0], pair[1].cast<double>());
        } else {
            add(item, 0.0);
        }
    }
}

Tracker::~Tracker() { mvTrackerDestroy(t_); }

int Tracker::add(py::handle pattern, double width)
{
    PatternPtr p;
    if (py::isinstance<Pattern>(pattern)) {
        p = pattern.cast<PatternPtr>();
        if (width > 0) {
            p = std::make_shared<Pattern>(*p);
            p->width = width;
        }
    } else {
        const std::string path = path_of(pattern);
        // A notebook cell run again loads the same file again: same pattern.
        for (const auto &h : held_)
            if (canonical(h.second->path) == canonical(path)) return h.first;
        p = make_pattern(path, width > 0 ? width : 45.0);
    }
    std::lock_guard<std::mutex> lock(busy_);
    int id;
    const int r = mvTrackerAddPattern(t_, p->pattern.get(), p->width, &id);
    if (r != MV_ERROR_NONE) raise(mvTrackerErrorText(t_), r);
    held_.push_back({id, p});
    return id;
}

void Tracker::remove(int id)
{
    std::lock_guard<std::mutex> lock(busy_);
    if (mvTrackerRemovePattern(t_, id) != MV_ERROR_NONE) throw py::value_error(mvTrackerErrorText(t_));
    for (size_t k = 0; k < held_.size(); k++)
        if (held_[k].first == id) held_.erase(held_.begin() + k);
}

void Tracker::add_family(const std::string &name, double side, int max_correction)
{
    std::lock_guard<std::mutex> lock(busy_);
    const int r = mvTrackerAddFamily(t_, name.c_str(), side, max_correction);
    if (r != MV_ERROR_NONE) raise(mvTrackerErrorText(t_), r);
}

void Tracker::reset()
{
    std::lock_guard<std::mutex> lock(busy_);
    mvTrackerReset(t_);
}

void Tracker::set(const Settings &settings)
{
    const MvTrackerSettings s = settings.resolve();
    std::lock_guard<std::mutex> lock(busy_);
    mvTrackerSetSettings(t_, &s);
}

py::object Tracker::camera() const
{
    Camera c;
    if (mvTrackerGetCamera(t_, &c.p) < 0) return py::none();
    return py::cast(c);
}

std::vector<Marker> Tracker::track(py::handle frame, bool bgr)
{
    FrameRef f = frame_from(frame, bgr);
    std::vector<Marker> out;
    int r;
    std::string error;
    std::vector<std::string> notes;
    {
        py::gil_scoped_release unlocked;
        std::lock_guard<std::mutex> lock(busy_);
        notes_.clear();
        const MvTrackerMarker *markers = nullptr;
        int n = 0;
        r = mvTrackerProcess(t_, f.pixels, f.width, f.height, f.stride, f.format, &markers, &n);
        if (r != MV_ERROR_NONE) error = mvTrackerErrorText(t_);
        out.resize(n);
        for (int k = 0; k < n; k++) {
            out[k].m = markers[k];
            out[k].id = markers[k].id;
            for (const auto &h : held_)
                if (h.first == markers[k].id) {
                    out[k].pattern = h.second;
                    if (use_slots) out[k].id = (int)h.second->slot;
                }
        }
        notes.swap(notes_);
    }
    if (r != MV_ERROR_NONE) raise(error, r);
    for (const std::string &note : notes)
        if (PyErr_WarnEx(PyExc_UserWarning, note.c_str(), 1) < 0) throw py::error_already_set();
    return out;
}

py::object pose_of(const Marker &k)
{
    if (!k.m.hasPose) return py::none();
    double t[16] = {};
    std::memcpy(t, k.m.pose, sizeof k.m.pose);
    t[15] = 1.0;
    return matrix(t, {4, 4});
}

void add_objects(py::module_ &m)
{
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
    m.def("default_camera", &default_camera, py::arg("width"), py::arg("height"),
          "A camera of unknown calibration for frames of width x height: a typical field of view,\n"
          "principal point at the centre, no lens distortion.");

    py::class_<Pattern, PatternPtr>(m, "Pattern", "A loaded pattern file and its marker's side.")
        .def(py::init([](py::object path, double width) { return make_pattern(path_of(path), width); }),
             py::arg("path"), py::arg("width") = 45.0,
             "Loads a pattern file for markers whose black square is `width` mm across.")
        .def_readonly("path", &Pattern::path)
        .def_readonly("width", &Pattern::width, "the marker's side in mm")
        .def_readonly("slot", &Pattern::slot, "the id morvex.detect's markers of this pattern carry")
        .def("__repr__", [](const Pattern &p) {
            std::ostringstream s;
            s << "Pattern(" << quoted(p.path) << ", width=" << p.width << ")";
            return s.str();
        });

    py::class_<Marker>(m, "Marker",
                       "A detected marker. corners are observed pixels (where the image shows them),\n"
                       "corners_ideal and lines the undistorted ones.")
        .def_property_readonly("id", [](const Marker &k) { return k.id; }, "its pattern's id, or -1")
        .def_property_readonly("pattern", [](const Marker &k) { return k.pattern; }, "its Pattern, or None")
        .def_property_readonly("family", [](const Marker &k) -> py::object {
                                   return k.m.family ? py::object(py::str(k.m.family)) : py::none();
                               }, "a coded marker's family (its id is the code's), or None")
        .def_property_readonly("confidence", [](const Marker &k) { return k.m.confidence; })
        .def_property_readonly("direction", [](const Marker &k) { return k.m.direction; },
                               "which rotation of the pattern matched, 0..3")
        .def_property_readonly("area", [](const Marker &k) { return k.m.area; }, "border pixels")
        .def_property_readonly("center", [](const Marker &k) { return matrix(k.m.center, {2}); },
                               "centroid of the border, observed pixels")
        .def_property_readonly("corners", [](const Marker &k) { return matrix(&k.m.corners[0][0], {4, 2}); },
                               "(4, 2) observed pixels: corner i is where side i begins")
        .def_property_readonly("corners_ideal",
                               [](const Marker &k) { return matrix(&k.m.cornersIdeal[0][0], {4, 2}); },
                               "(4, 2) the corners in ideal (undistorted) pixels")
        .def_property_readonly("lines", [](const Marker &k) { return matrix(&k.m.edgeLines[0][0], {4, 3}); },
                               "(4, 3): side i as a x + b y + c = 0, ideal pixels")
        .def_property_readonly("pose", &pose_of,
                               "4 x 4 marker -> camera transform (mm), or None (unknown marker, no fit)")
        .def_property_readonly("error", [](const Marker &k) -> py::object {
                                   return k.m.hasPose ? py::object(py::float_(k.m.poseError)) : py::none();
                               }, "the pose fit's mean squared reprojection error (px^2), or None")
        .def("__repr__", &marker_repr);

    py::class_<Tracker>(m, "Tracker",
                        "One video stream's tracking: camera, patterns, history and settings. Trackers\n"
                        "in different threads run at the same time; track() releases the GIL.")
        .def(py::init([](py::object camera, py::object patterns, py::object families, py::object thresh, bool refine,
                         bool history, bool half, bool grey, int max_markers, int threads, bool guard) {
                 return new Tracker(camera, patterns, families,
                                    Settings{thresh, refine, history, half, grey, max_markers, threads, guard});
             }),
             py::arg("camera") = py::none(), py::arg("patterns") = py::none(), py::arg("families") = py::none(),
             py::kw_only(),
             py::arg("thresh") = "auto", py::arg("refine") = true, py::arg("history") = true,
             py::arg("half") = false, py::arg("grey") = false, py::arg("max_markers") = 0, py::arg("threads") = 1,
             py::arg("guard") = true,
             "camera: a Camera, a camera file, or None for a default camera of each frame's size\n"
             "(rescaled to the frames' size either way). patterns: paths, Patterns or\n"
             "(path or Pattern, side_mm) pairs; ids 0, 1, ... in that order. families: coded marker\n"
             "families to decode, names ('tag36h11', 'aruco4x4_50', ...) or (name, side_mm) pairs; their\n"
             "markers carry .family and the code's id. thresh: 'auto' (follows\n"
             "the scene) or 0..255; refine: sub-pixel corners, identities from them and refined\n"
             "poses; history: identities steadied over frames; half: half resolution; grey: grey\n"
             "matching; max_markers: most markers per frame (0: no limit); threads: threads sharing\n"
             "each frame's work (0: one per processor), the same results for any number; guard: a\n"
             "picture's id only when its match is very unlikely to be chance (False: the best\n"
             "correlation of at least 0.5 is enough).")
        .def("track", &Tracker::track, py::arg("frame"), py::kw_only(), py::arg("bgr") = false,
             "Tracks one frame: a uint8 array (H, W) grey, (H, W, 3) RGB or (H, W, 4) RGBA (BGR(A)\n"
             "with bgr=True). Returns a list of Marker; those of a known pattern carry a pose.")
        .def("add_pattern", &Tracker::add, py::arg("pattern"), py::arg("width") = 0.0,
             "Adds a pattern (a path or a Pattern) with its marker side in mm (default: the\n"
             "Pattern's, or 45); returns its id. The same file again returns the id it has.")
        .def("remove_pattern", &Tracker::remove, py::arg("id"))
        .def("add_family", &Tracker::add_family, py::arg("family"), py::arg("side") = 45.0,
             py::arg("max_correction") = -1,
             "Decodes a coded family from the next frame on, markers `side` mm across (the black\n"
             "square), correcting at most max_correction bits (-1: the family's bound).")
        .def_property_readonly("patterns", &Tracker::patterns, "(id, Pattern) pairs")
        .def_property_readonly("camera", &Tracker::camera,
                               "the camera used for the last frame (rescaled to its size), or None")
        .def("reset", &Tracker::reset, "Forgets the stream: history, previous poses, threshold.")
        .def("configure",
             [](Tracker &t, py::object thresh, bool refine, bool history, bool half, bool grey, int max_markers,
                int threads, bool guard) {
                 t.set(Settings{thresh, refine, history, half, grey, max_markers, threads, guard});
             },
             py::kw_only(), py::arg("thresh") = "auto", py::arg("refine") = true, py::arg("history") = true,
             py::arg("half") = false, py::arg("grey") = false, py::arg("max_markers") = 0, py::arg("threads") = 1,
             py::arg("guard") = true, "Replaces the settings (the keywords of Tracker()).");
}

}  // namespace mvpy
