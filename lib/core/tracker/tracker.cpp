// The tracker: one stream's camera, patterns, families, storage, history
// and settings. This file holds its making and its configuration; a
// frame's pipeline is in frame.cpp.
#include "tracker_state.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {

using namespace mvcore;

// False, with the reason in why[MV_MESSAGE_MAX], for settings out of range.
bool settings_valid(const MvTrackerSettings &s, char *why)
{
    if (s.threshold < MV_THRESHOLD_AUTO || s.threshold > 255)
        std::snprintf(why, MV_MESSAGE_MAX,
                      "threshold %d: 0..255, or MV_THRESHOLD_AUTO (-1) to follow the scene", s.threshold);
    else if (s.maxMarkers < 0)
        std::snprintf(why, MV_MESSAGE_MAX, "maxMarkers %d: 0 (no limit) or more", s.maxMarkers);
    else if (s.threads < 0 || s.threads > MV_TRACKER_THREADS_MAX)
        std::snprintf(why, MV_MESSAGE_MAX, "threads %d: 1..%d, or 0 for one per processor", s.threads,
                      MV_TRACKER_THREADS_MAX);
    else
        return true;
    return false;
}

}  // namespace

namespace mvcore {

void camera_for(MvTracker &t, int width, int height)
{
    if (width == t.frame_w && height == t.frame_h) return;
    if (!t.has_camera) {
        mvTrackerDefaultCamera(width, height, &t.frame_camera);
    } else if (t.camera.xsize == width && t.camera.ysize == height) {
        t.frame_camera = t.camera;
    } else {
        mvParamChangeSize(&t.camera, width, height, &t.frame_camera);
        const double a = (double)t.camera.xsize * height, b = (double)t.camera.ysize * width;
        if (std::fabs(a - b) > 0.01 * b)
            t.note("camera of %d x %d used for frames of %d x %d: other aspect ratio, poses will be off",
                   t.camera.xsize, t.camera.ysize, width, height);
    }
    t.frame_w = width;
    t.frame_h = height;
}

}  // namespace mvcore

using namespace mvcore;

extern "C" void mvTrackerSettingsInit(MvTrackerSettings *s)
{
    s->threshold = MV_THRESHOLD_AUTO;
    s->refine = 1;
    s->history = 1;
    s->halfResolution = 0;
    s->greyMatching = 0;
    s->maxMarkers = 0;
    s->threads = 1;
    s->guard = 1;
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
    t->start_threads();
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
    t->start_threads();
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
        t->guarded.reserve(t->patterns.size() + 1);
        t->seen.reserve(t->patterns.size() + 1);
        t->turned.reserve(t->turned.size() + t->patterns.size());
    } catch (const std::bad_alloc &) {
        return t->fail(MV_ERROR_MEMORY, "no memory for another pattern");
    }
    Held h;
    h.id = t->next_id++;
    h.pattern = hold(pattern);
    h.width = widthMm;
    // Pictures that are turns of each other: the guard never reports one
    // for the other, and the user hears of it.
    for (const Held &o : t->patterns) {
        double turned, same;
        profile_similarity(pattern->profile, o.pattern->profile, kTurnedPairLevel, &turned, &same);
        if (turned < kTurnedPair || turned <= same) continue;
        t->turned.push_back({o.id, h.id});
        t->note("patterns \"%s\" (id %d) and \"%s\" (id %d) are turns of each other (correlation %.2f): "
                "the guard reports neither where the other matches as well",
                o.pattern->name.c_str(), o.id, pattern->name.c_str(), h.id, turned);
    }
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
        t->turned.erase(std::remove_if(t->turned.begin(), t->turned.end(),
                                       [id](const std::pair<int, int> &p) { return p.first == id || p.second == id; }),
                        t->turned.end());
        t->relist();
        t->results.clear();
        // The history would lend the removed id to the next frames' markers.
        t->history.forget(id);
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

extern "C" int mvTrackerSetPatternMinConfidence(MvTracker *t, int id, double minConfidence)
{
    if (!(minConfidence <= 1.0) || (minConfidence >= 0.0 && minConfidence < kIdentityMin))
        return t->fail(MV_ERROR_ARGUMENT,
                       "minimum confidence %g for pattern %d: 0.5..1, or negative for its chance level",
                       minConfidence, id);
    for (Held &h : t->patterns) {
        if (h.id != id) continue;
        h.min_confidence = minConfidence < 0.0 ? -1.0 : minConfidence;
        t->relist();
        return t->succeed();
    }
    return t->fail(MV_ERROR_ARGUMENT, "no pattern %d in this tracker", id);
}

extern "C" double mvTrackerPatternMinConfidence(const MvTracker *t, int id)
{
    for (const Held &h : t->patterns)
        if (h.id == id)
            return h.min_confidence >= 0.0 ? h.min_confidence
                                           : h.pattern->profile.chance[t->settings.greyMatching ? kGuardGrey : kGuardColour][0];
    return -1.0;
}

extern "C" double mvTrackerPatternWidth(const MvTracker *t, int id)
{
    for (const Held &h : t->patterns)
        if (h.id == id) return h.width;
    return 0.0;
}

extern "C" int mvTrackerLastError(const MvTracker *t) { return t->error; }
extern "C" const char *mvTrackerErrorText(const MvTracker *t) { return t->text; }

extern "C" void mvTrackerSetMessageCallback(MvTracker *t, MvTrackerMessageFn fn, void *user)
{
    t->note_fn = fn;
    t->note_user = user;
}

extern "C" void mvTrackerGetStats(const MvTracker *t, MvTrackerStats *stats) { *stats = t->stats; }

extern "C" int mvCodeFamilyCount(void) { return kCodeFamilyCount; }

extern "C" const char *mvCodeFamilyName(int index)
{
    return index >= 0 && index < kCodeFamilyCount ? codeFamilyAt(index).name : nullptr;
}

extern "C" int mvTrackerAddFamily(MvTracker *t, const char *name, double sideMm, int maxCorrection)
{
    const CodeFamily *family = name ? findCodeFamily(name) : nullptr;
    if (family == nullptr)
        return t->fail(MV_ERROR_ARGUMENT, "no coded family \"%s\" (tag36h11, tag25h9, tag16h5, aruco4x4_50 .. "
                       "aruco7x7_1000, aruco_original)", name ? name : "");
    if (!(sideMm > 0.0) || !std::isfinite(sideMm))
        return t->fail(MV_ERROR_ARGUMENT, "marker side %g mm for family %s: a positive number", sideMm, name);
    if (maxCorrection < -1)
        return t->fail(MV_ERROR_ARGUMENT, "correction bound %d for family %s: -1 (the family's) or 0 and up",
                       maxCorrection, name);
    HeldFamily *held = nullptr;
    for (HeldFamily &f : t->families)
        if (f.family == family) held = &f;
    if (held == nullptr) {
        try {
            t->families.push_back({family, sideMm, {}, DecodeOptions()});
        } catch (const std::bad_alloc &) {
            return t->fail(MV_ERROR_MEMORY, "no memory for another family");
        }
        held = &t->families.back();
    }
    held->side = sideMm;
    held->options.max_correction = maxCorrection;
    t->results.clear();
    return t->succeed();
}

extern "C" int mvTrackerRemoveFamily(MvTracker *t, const char *name)
{
    for (size_t k = 0; k < t->families.size(); k++) {
        if (name == nullptr || std::strcmp(t->families[k].family->name, name) != 0) continue;
        t->families.erase(t->families.begin() + k);
        t->results.clear();
        return t->succeed();
    }
    return t->fail(MV_ERROR_ARGUMENT, "family \"%s\" is not decoded by this tracker", name ? name : "");
}

extern "C" int mvTrackerSetCodeSide(MvTracker *t, const char *name, int id, double sideMm)
{
    for (HeldFamily &f : t->families) {
        if (name == nullptr || std::strcmp(f.family->name, name) != 0) continue;
        if (id < 0 || id >= f.family->code_count)
            return t->fail(MV_ERROR_ARGUMENT, "%s has ids 0..%d, not %d", name, f.family->code_count - 1, id);
        if (!(sideMm > 0.0) || !std::isfinite(sideMm))
            return t->fail(MV_ERROR_ARGUMENT, "marker side %g mm for %s id %d: a positive number", sideMm, name, id);
        try {
            for (auto &s : f.sides)
                if (s.first == id) {
                    s.second = sideMm;
                    return t->succeed();
                }
            f.sides.push_back({id, sideMm});
        } catch (const std::bad_alloc &) {
            return t->fail(MV_ERROR_MEMORY, "no memory for another marker side");
        }
        return t->succeed();
    }
    return t->fail(MV_ERROR_ARGUMENT, "family \"%s\" is not decoded by this tracker", name ? name : "");
}
