// The tracker: one stream's camera, patterns, storage, history and
// settings, and the whole pipeline per frame.
#include "morvex/tracker.h"

#include "../detect/autothresh.h"
#include "../detect/driver.h"
#include "../detect/refine.h"
#include "../identify/identify.h"
#include "../pose/pose_internal.h"
#include "pattern_object.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

namespace {

using namespace mvcore;
using Clock = std::chrono::steady_clock;

// A pattern the tracker holds, with what it keeps of it between frames.
struct Held {
    int id;
    MvPattern *pattern;
    double width;           // marker side, mm
    bool has_prev = false;  // prev holds the refined pose of the previous frame
    double prev[3][4] = {};
};

// Names candidates against the tracker's patterns.
class Naming : public Identifier {
public:
    explicit Naming(const PatternList &list) : list_(list) {}
    void identify(const FrameView &frame, bool half, const int *x, const int *y, const int corners[4],
                  int *id, int *direction, double *confidence) override
    {
        identify_outline(frame, half, x, y, corners, list_, id, direction, confidence);
    }

private:
    const PatternList &list_;
};

// False, with the reason in why[MV_MESSAGE_MAX], for settings out of range.
bool settings_valid(const MvTrackerSettings &s, char *why)
{
    if (s.threshold < MV_THRESHOLD_AUTO || s.threshold > 255)
        std::snprintf(why, MV_MESSAGE_MAX,
                      "threshold %d: 0..255, or MV_THRESHOLD_AUTO (-1) to follow the scene", s.threshold);
    else if (s.maxMarkers < 0)
        std::snprintf(why, MV_MESSAGE_MAX, "maxMarkers %d: 0 (no limit) or more", s.maxMarkers);
    else
        return true;
    return false;
}

int bytes_per_pixel(MvPixelFormat f)
{
    switch (f) {
    case MV_PIXEL_RGBA:
    case MV_PIXEL_BGRA: return 4;
    case MV_PIXEL_RGB:
    case MV_PIXEL_BGR: return 3;
    case MV_PIXEL_GREY: return 1;
    }
    return 0;
}

FrameView frame_view(const unsigned char *pixels, int width, int height, int stride, MvPixelFormat f)
{
    FrameView v;
    v.data = pixels;
    v.width = width;
    v.height = height;
    v.stride = stride;
    v.bpp = bytes_per_pixel(f);
    const bool bgr = f == MV_PIXEL_BGRA || f == MV_PIXEL_BGR;
    v.red = f == MV_PIXEL_GREY ? 0 : bgr ? 2 : 0;
    v.green = f == MV_PIXEL_GREY ? 0 : 1;
    v.blue = f == MV_PIXEL_GREY ? 0 : bgr ? 0 : 2;
    return v;
}

double seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

}  // namespace

struct MvTracker {
    MvTrackerSettings settings;
    bool has_camera = false;
    MvCameraParam camera;        // as given
    MvCameraParam frame_camera;  // for the last frame's size
    int frame_w = 0, frame_h = 0;

    std::vector<Held> patterns;
    int next_id = 0;
    std::vector<MatchEntry> entries;   // the patterns as matching takes them

    Detector detector{DetectorLimits{}};
    MvAutoThresh at;
    std::vector<MvTrackerMarker> results;
    std::vector<char> seen;
    std::vector<int> order;

    int error = MV_ERROR_NONE;
    char text[MV_MESSAGE_MAX] = "";
    MvTrackerMessageFn note_fn = nullptr;
    void *note_user = nullptr;
    MvTrackerStats stats = {0, 0.0, 0.0};

    int fail(int code, const char *format, ...) __attribute__((format(printf, 3, 4)))
    {
        error = code;
        va_list ap;
        va_start(ap, format);
        std::vsnprintf(text, sizeof text, format, ap);
        va_end(ap);
        return code;
    }
    int succeed()
    {
        error = MV_ERROR_NONE;
        text[0] = '\0';
        return MV_ERROR_NONE;
    }
    void note(const char *format, ...) __attribute__((format(printf, 2, 3)))
    {
        if (note_fn == nullptr) return;
        char line[MV_MESSAGE_MAX];
        va_list ap;
        va_start(ap, format);
        std::vsnprintf(line, sizeof line, format, ap);
        va_end(ap);
        note_fn(note_user, line);
    }

    void reset_stream()
    {
        detector.reset_history();
        for (Held &h : patterns) h.has_prev = false;
        autothresh_init(&at, 100);
    }

    // The match list follows the pattern list; called after every change.
    void relist()
    {
        entries.clear();
        for (const Held &h : patterns) entries.push_back({&h.pattern->templates, h.id});
    }

    Held *find(int id)
    {
        for (Held &h : patterns)
            if (h.id == id) return &h;
        return nullptr;
    }

    // The camera for frames of width x height.
    void camera_for(int width, int height)
    {
        if (width == frame_w && height == frame_h) return;
        if (!has_camera) {
            mvTrackerDefaultCamera(width, height, &frame_camera);
        } else if (camera.xsize == width && camera.ysize == height) {
            frame_camera = camera;
        } else {
            mvParamChangeSize(&camera, width, height, &frame_camera);
            const double a = (double)camera.xsize * height, b = (double)camera.ysize * width;
            if (std::fabs(a - b) > 0.01 * b)
                note("camera of %d x %d used for frames of %d x %d: other aspect ratio, poses will be off",
                     camera.xsize, camera.ysize, width, height);
        }
        frame_w = width;
        frame_h = height;
    }

};

namespace {

void refine(MvTracker &t, const FrameView &frame, const PatternList &list)
{
    const double *distortion = t.frame_camera.distortion;
    for (MvMarkerInfo &found : t.detector.markers()) {
        // An identity that the history lent, or a stronger one of the
        // detector's own, is kept; the refined one wins where it is surer.
        MvMarkerInfo m = found;
        if (!refine_marker(frame, distortion, &m)) continue;
        identify_corners(frame, distortion, list, &m);
        if (m.id < 0 || (found.id >= 0 && m.confidence < found.confidence)) {
            m.id = found.id;
            m.direction = found.direction;
            m.confidence = found.confidence;
        }
        found = m;
    }
}

// The pose of one marker of a held pattern, kept continuous with that
// pattern's pose in the previous frame.
void pose(MvTracker &t, const MvMarkerInfo &m, MvTrackerMarker *out)
{
    static const double center[2] = {0.0, 0.0};
    for (size_t p = 0; p < t.patterns.size(); p++) {
        Held &h = t.patterns[p];
        if (h.id != m.id) continue;
        t.seen[p] = 1;
        double trans[3][4];
        double error = marker_pose(m, center, h.width, t.frame_camera, false, trans);
        if (t.settings.refine && error >= 0) {
            const double e = refine_marker_pose(m, center, h.width, h.has_prev ? h.prev : nullptr,
                                                t.frame_camera.projection, trans);
            if (e >= 0) error = e;
        }
        bool finite = error >= 0 && std::isfinite(error);
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 4; j++) finite = finite && std::isfinite(trans[i][j]);
        if (finite) {
            std::memcpy(out->pose, trans, sizeof trans);
            out->poseError = error;
            out->widthMm = h.width;
            out->hasPose = 1;
        }
        h.has_prev = finite && t.settings.refine;
        if (h.has_prev) std::memcpy(h.prev, trans, sizeof h.prev);
        return;
    }
}

// With a limit, the identified markers first (most confident first), then
// the others; the frame's order is kept among those reported.
void keep_best(MvTracker &t)
{
    std::vector<MvTrackerMarker> &results = t.results;
    std::vector<int> &order = t.order;
    const int limit = t.settings.maxMarkers;
    if (limit <= 0 || (int)results.size() <= limit) return;
    order.resize(results.size());
    for (size_t i = 0; i < order.size(); i++) order[i] = (int)i;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const MvTrackerMarker &x = results[a], &y = results[b];
        if ((x.id >= 0) != (y.id >= 0)) return x.id >= 0;
        return x.confidence > y.confidence;
    });
    order.resize(limit);
    std::sort(order.begin(), order.end());
    for (int k = 0; k < limit; k++) results[k] = results[order[k]];
    results.resize(limit);
}

}  // namespace

extern "C" void mvTrackerSettingsInit(MvTrackerSettings *s)
{
    s->threshold = MV_THRESHOLD_AUTO;
    s->refine = 1;
    s->history = 1;
    s->halfResolution = 0;
    s->greyMatching = 0;
    s->maxMarkers = 0;
}

extern "C" void mvTrackerDefaultCamera(int width, int height, MvCameraParam *c)
{
    std::memset(c, 0, sizeof *c);
    c->xsize = width;
    c->ysize = height;
    // The bundled camera's field of view: 700 px of focal length at 640 px.
    const double f = 1.09375 * width;
    const double cx = (width - 1) * 0.5, cy = (height - 1) * 0.5;
    c->projection[0][0] = f;
    c->projection[0][2] = cx;
    c->projection[1][1] = f;
    c->projection[1][2] = cy;
    c->projection[2][2] = 1.0;
    c->distortion[0] = cx;
    c->distortion[1] = cy;
    c->distortion[2] = 0.0;
    c->distortion[3] = 1.0;
}

extern "C" int mvTrackerCreate(const MvCameraParam *camera, const MvTrackerSettings *settings,
                               MvTracker **tracker, char *why)
{
    if (tracker == nullptr) return MV_ERROR_ARGUMENT;
    *tracker = nullptr;
    char reason[MV_MESSAGE_MAX] = "";
    if (camera != nullptr && mvParamCheck(camera, reason, sizeof reason) < 0) {
        if (why) std::snprintf(why, MV_MESSAGE_MAX, "camera: %s", reason);
        return MV_ERROR_ARGUMENT;
    }
    MvTrackerSettings s;
    mvTrackerSettingsInit(&s);
    if (settings != nullptr) s = *settings;
    if (!settings_valid(s, reason)) {
        if (why) std::snprintf(why, MV_MESSAGE_MAX, "%s", reason);
        return MV_ERROR_ARGUMENT;
    }
    MvTracker *t = new (std::nothrow) MvTracker;
    if (t == nullptr) {
        if (why) std::snprintf(why, MV_MESSAGE_MAX, "no memory for a tracker");
        return MV_ERROR_MEMORY;
    }
    t->settings = s;
    t->has_camera = camera != nullptr;
    if (camera) t->camera = *camera;
    autothresh_init(&t->at, 100);
    *tracker = t;
    return MV_ERROR_NONE;
}

extern "C" void mvTrackerDestroy(MvTracker *t)
{
    if (t == nullptr) return;
    for (Held &h : t->patterns) mvPatternRelease(h.pattern);
    delete t;
}

extern "C" int mvTrackerSetSettings(MvTracker *t, const MvTrackerSettings *s)
{
    if (s == nullptr) return t->fail(MV_ERROR_ARGUMENT, "no settings given");
    char reason[MV_MESSAGE_MAX];
    if (!settings_valid(*s, reason)) return t->fail(MV_ERROR_ARGUMENT, "%s", reason);
    t->settings = *s;
    return t->succeed();
}

extern "C" void mvTrackerGetSettings(const MvTracker *t, MvTrackerSettings *s) { *s = t->settings; }

extern "C" int mvTrackerSetCamera(MvTracker *t, const MvCameraParam *camera)
{
    char reason[MV_MESSAGE_MAX];
    if (camera != nullptr && mvParamCheck(camera, reason, sizeof reason) < 0)
        return t->fail(MV_ERROR_ARGUMENT, "camera: %s", reason);
    t->has_camera = camera != nullptr;
    if (camera) t->camera = *camera;
    t->frame_w = t->frame_h = 0;
    t->reset_stream();
    return t->succeed();
}

extern "C" int mvTrackerGetCamera(const MvTracker *t, MvCameraParam *camera)
{
    if (t->frame_w > 0) {
        *camera = t->frame_camera;
        return 0;
    }
    if (!t->has_camera) return -1;
    *camera = t->camera;
    return 0;
}

extern "C" void mvTrackerReset(MvTracker *t) { t->reset_stream(); }

extern "C" int mvTrackerAddPattern(MvTracker *t, const MvPattern *pattern, double widthMm, int *id)
{
    if (pattern == nullptr) return t->fail(MV_ERROR_ARGUMENT, "no pattern given");
    if (!(widthMm > 0.0) || !std::isfinite(widthMm))
        return t->fail(MV_ERROR_ARGUMENT, "marker width %g mm for pattern \"%s\": a positive number",
                       widthMm, pattern->name.c_str());
    try {
        t->patterns.reserve(t->patterns.size() + 1);
        t->entries.reserve(t->patterns.size() + 1);
        t->seen.reserve(t->patterns.size() + 1);
    } catch (const std::bad_alloc &) {
        return t->fail(MV_ERROR_MEMORY, "no memory for another pattern");
    }
    Held h;
    h.id = t->next_id++;
    h.pattern = hold(pattern);
    h.width = widthMm;
    t->patterns.push_back(h);
    t->relist();
    t->results.clear();
    if (id) *id = h.id;
    return t->succeed();
}

extern "C" int mvTrackerAddPatternFile(MvTracker *t, const char *path, double widthMm, int *id)
{
    int code;
    MvPattern *p = mvPatternLoad(path, t->text, &code);
    if (p == nullptr) {
        t->error = code;
        return code;
    }
    const int r = mvTrackerAddPattern(t, p, widthMm, id);
    mvPatternRelease(p);
    return r;
}

extern "C" int mvTrackerRemovePattern(MvTracker *t, int id)
{
    for (size_t k = 0; k < t->patterns.size(); k++) {
        if (t->patterns[k].id != id) continue;
        mvPatternRelease(t->patterns[k].pattern);
        t->patterns.erase(t->patterns.begin() + k);
        t->relist();
        t->results.clear();
        // The history would lend the removed id to the next frames' markers.
        t->detector.reset_history();
        return t->succeed();
    }
    return t->fail(MV_ERROR_ARGUMENT, "no pattern %d in this tracker", id);
}

extern "C" const char *mvTrackerPatternName(const MvTracker *t, int id)
{
    for (const Held &h : t->patterns)
        if (h.id == id) return h.pattern->name.c_str();
    return nullptr;
}

extern "C" double mvTrackerPatternWidth(const MvTracker *t, int id)
{
    for (const Held &h : t->patterns)
        if (h.id == id) return h.width;
    return 0.0;
}

extern "C" int mvTrackerProcess(MvTracker *t, const unsigned char *pixels, int width, int height,
                                int stride, MvPixelFormat format, const MvTrackerMarker **markers,
                                int *count)
{
    *count = 0;
    *markers = nullptr;
    t->results.clear();
    const int bpp = bytes_per_pixel(format);
    if (bpp == 0) return t->fail(MV_ERROR_ARGUMENT, "pixel format %d is none of MvPixelFormat's", (int)format);
    if (pixels == nullptr) return t->fail(MV_ERROR_ARGUMENT, "no pixels given");
    if (width < 3 || height < 3)
        return t->fail(MV_ERROR_ARGUMENT, "frame of %d x %d pixels: at least 3 x 3", width, height);
    if (stride < (long)width * bpp)
        return t->fail(MV_ERROR_ARGUMENT, "row stride %d bytes is less than %d pixels of %d bytes",
                       stride, width, bpp);
    const bool half = t->settings.halfResolution != 0;
    const long working = half ? (long)(width / 2) * (height / 2) : (long)width * height;
    if (working > MV_WORK_PIXELS_MAX)
        return t->fail(MV_ERROR_ARGUMENT,
                       "frames of %d x %d are too large to detect in (at most %ld working pixels): "
                       "use half resolution or smaller frames",
                       width, height, MV_WORK_PIXELS_MAX);

    const auto t0 = Clock::now();
    const FrameView frame = frame_view(pixels, width, height, stride, format);
    t->camera_for(width, height);
    const PatternList list = {t->entries.data(), (int)t->entries.size(), t->settings.greyMatching != 0};
    Naming naming(list);
    const int thresh = t->settings.threshold >= 0 ? t->settings.threshold : t->at.thresh;
    const MvError r = t->detector.detect(frame, thresh, half, t->frame_camera.distortion,
                                         t->settings.history != 0, naming);
    std::vector<MvMarkerInfo> &found = t->detector.markers();
    if (r == MV_ERROR_NONE && t->settings.refine) refine(*t, frame, list);
    if (t->settings.threshold < 0)
        autothresh_update(&t->at, frame, t->frame_camera.distortion, found.data(), (int)found.size());
    const auto t1 = Clock::now();
    if (r != MV_ERROR_NONE) {
        for (Held &h : t->patterns) h.has_prev = false;
        t->stats.frames++;
        t->stats.detectSeconds += seconds(t0, t1);
        return t->fail(r, r == MV_ERROR_MEMORY ? "no memory to detect in a %d x %d frame"
                                               : "cannot detect in a %d x %d frame",
                       width, height);
    }

    try {
        t->results.resize(found.size());
    } catch (const std::bad_alloc &) {
        return t->fail(MV_ERROR_MEMORY, "no memory for %zu markers", found.size());
    }
    t->seen.assign(t->patterns.size(), 0);
    for (size_t k = 0; k < found.size(); k++) {
        const MvMarkerInfo &m = found[k];
        MvTrackerMarker &out = t->results[k];
        std::memset(&out, 0, sizeof out);
        out.id = m.id;
        out.family = nullptr;
        out.direction = m.direction;
        out.confidence = m.confidence;
        out.area = m.area;
        out.center[0] = m.center[0];
        out.center[1] = m.center[1];
        std::memcpy(out.cornersIdeal, m.vertices, sizeof out.cornersIdeal);
        std::memcpy(out.edgeLines, m.edgeLines, sizeof out.edgeLines);
        for (int i = 0; i < 4; i++)
            mvParamIdeal2Observ(t->frame_camera.distortion, m.vertices[i][0], m.vertices[i][1],
                                &out.corners[i][0], &out.corners[i][1]);
        if (m.id >= 0) pose(*t, m, &out);
    }
    for (size_t p = 0; p < t->patterns.size(); p++)
        if (!t->seen[p]) t->patterns[p].has_prev = false;
    keep_best(*t);

    t->stats.frames++;
    t->stats.detectSeconds += seconds(t0, t1);
    t->stats.poseSeconds += seconds(t1, Clock::now());
    *markers = t->results.data();
    *count = (int)t->results.size();
    return t->succeed();
}

extern "C" int mvTrackerLastError(const MvTracker *t) { return t->error; }
extern "C" const char *mvTrackerErrorText(const MvTracker *t) { return t->text; }

extern "C" void mvTrackerSetMessageCallback(MvTracker *t, MvTrackerMessageFn fn, void *user)
{
    t->note_fn = fn;
    t->note_user = user;
}

extern "C" void mvTrackerGetStats(const MvTracker *t, MvTrackerStats *stats) { *stats = t->stats; }
