// objects.h - the module's classes: Camera, Pattern, Marker and Tracker.
#ifndef MORVEX_PY_OBJECTS_H
#define MORVEX_PY_OBJECTS_H

#include "common.h"
#include "frames.h"

#include <pybind11/pybind11.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace mvpy {

struct Camera {
    MvCameraParam p;
};

// A pattern file loaded once, with the side of its marker; shared by any
// number of trackers (MvPattern is read-only and counts its holders).
struct Pattern {
    std::shared_ptr<MvPattern> pattern;
    std::string path;
    double width = 45.0;
    long slot = -1;   // the id morvex.detect's markers carry; -1 once freed
};
using PatternPtr = std::shared_ptr<Pattern>;

// Loads a pattern file for markers of side `width` mm (morvex.Error on a
// bad file, ValueError on a bad width).
PatternPtr make_pattern(const std::string &path, double width);

struct Marker {
    MvTrackerMarker m;
    int id = -1;                 // as the caller numbers patterns
    PatternPtr pattern;          // None for unknown squares
};

// The tracker's settings as Python keywords give them.
struct Settings {
    py::object thresh;   // "auto" or 0..255
    bool refine = true, history = true, half = false, grey = false;
    int max_markers = 0;
    int threads = 1;
    bool guard = true;
    MvTrackerSettings resolve() const;   // TypeError / ValueError when wrong
};

// One MvTracker with its patterns; one Python thread in it at a time.
class Tracker {
public:
    Tracker(py::object camera, py::object patterns, py::object families, const Settings &settings);
    ~Tracker();
    Tracker(const Tracker &) = delete;
    Tracker &operator=(const Tracker &) = delete;

    // Tracks one frame with the GIL released. Notes become Python warnings.
    std::vector<Marker> track(py::handle frame, bool bgr);
    // Adds a pattern (a path or a Pattern) and returns its id here; the
    // same file again gives the id it has.
    int add(py::handle pattern, double width);
    void remove(int id);
    // Decodes a coded family ("tag36h11", ...) with markers of side mm.
    void add_family(const std::string &name, double side, int max_correction);
    void reset();
    void set(const Settings &settings);
    py::object camera() const;
    std::vector<std::pair<int, PatternPtr>> patterns() const { return held_; }

    // The ids markers carry: the tracker's own, or each pattern's slot
    // (morvex.detect's per-thread trackers).
    bool use_slots = false;

private:
    MvTracker *t_ = nullptr;
    std::vector<std::pair<int, PatternPtr>> held_;   // tracker id -> pattern
    std::vector<std::string> notes_;
    std::mutex busy_;
    static void on_note(void *self, const char *text);
};

py::object pose_of(const Marker &k);

// Registers the classes on the module.
void add_objects(py::module_ &m);

}  // namespace mvpy

#endif
