// tracker_state.h - what an MvTracker holds, shared by the files of the
// tracker. Internal to the core.
#ifndef MORVEX_TRACKER_STATE_H
#define MORVEX_TRACKER_STATE_H

#include "morvex/tracker.h"

#include "../codes/code_family.h"
#include "../codes/decode.h"
#include "../detect/autothresh.h"
#include "../detect/driver.h"
#include "../detect/history.h"
#include "../identify/guard.h"
#include "../identify/identify.h"
#include "pattern_object.h"
#include "worker_pool.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <thread>
#include <vector>

namespace mvcore {

// A picture pattern the tracker holds, with what it keeps between frames.
struct Held {
    int id;
    MvPattern *pattern;
    double width;           // marker side, mm
    double min_confidence = -1.0;   // the user's minimum for the guard, < 0 none
    bool has_prev = false;  // prev holds the refined pose of the previous frame
    double prev[3][4] = {};
};

// A coded family the tracker decodes.
struct HeldFamily {
    const CodeFamily *family;
    double side;                              // mm, for ids without their own
    std::vector<std::pair<int, double>> sides;   // (id, side mm) of their own
    DecodeOptions options;

    double side_of(int id) const
    {
        for (const auto &s : sides)
            if (s.first == id) return s.second;
        return side;
    }
};

// The previous refined pose of one coded marker.
struct CodePose {
    int key;                // coded_key(family, id)
    bool has_prev;          // prev holds its refined pose of the previous frame
    bool seen;              // met in this frame
    double prev[3][4];
};

// Inside the tracker a coded marker's id is a key above every pattern id,
// so that the history tells it from pictures and other families.
constexpr int kCodeKeyBase = 1 << 24;
inline int coded_key(int family_index, int id) { return kCodeKeyBase + (family_index << 16) + id; }
inline bool is_coded(int key) { return key >= kCodeKeyBase; }
inline int coded_family(int key) { return (key - kCodeKeyBase) >> 16; }
inline int coded_id(int key) { return (key - kCodeKeyBase) & 0xffff; }

}  // namespace mvcore

struct MvTracker {
    MvTrackerSettings settings;
    bool has_camera = false;
    MvCameraParam camera;        // as given
    MvCameraParam frame_camera;  // for the last frame's size
    int frame_w = 0, frame_h = 0;

    std::vector<mvcore::Held> patterns;
    int next_id = 0;
    std::vector<mvcore::MatchEntry> entries;   // the patterns as matching takes them
    std::vector<mvcore::GuardEntry> guarded;   // ... and as the guard takes them
    std::vector<std::pair<int, int>> turned;   // ids of patterns that are turns of each other
    std::vector<mvcore::HeldFamily> families;
    std::vector<mvcore::CodePose> code_poses;

    mvcore::Detector detector{mvcore::DetectorLimits{}};
    mvcore::History history;
    MvAutoThresh at;
    std::vector<double> borders;       // each marker's border share, for the threshold
    mvcore::WorkerPool pool;
    std::vector<std::vector<float>> samples;   // a marker's cells for decoding, per share of the markers
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

    // The pool for settings.threads (fewer when the system will not start
    // that many), which detection shares too.
    void start_threads()
    {
        int n = settings.threads;
        if (n == 0) n = std::max(1, std::min((int)std::thread::hardware_concurrency(), MV_TRACKER_THREADS_MAX));
        const int started = pool.resize(n);
        detector.set_workers({started, started > 1 ? mvcore::WorkerPool::run_on : nullptr, &pool});
    }

    void reset_stream()
    {
        history.reset();
        for (mvcore::Held &h : patterns) h.has_prev = false;
        code_poses.clear();
        mvcore::autothresh_init(&at, 100);
    }

    // The match list follows the pattern list; called after every change.
    void relist()
    {
        entries.clear();
        guarded.clear();
        for (const mvcore::Held &h : patterns) {
            entries.push_back({&h.pattern->templates, h.id});
            guarded.push_back({&h.pattern->profile, h.id, h.min_confidence});
        }
    }
    mvcore::GuardList guard_list() const
    {
        return {guarded.data(), (int)guarded.size(), turned.data(), (int)turned.size(), settings.greyMatching != 0};
    }
};

namespace mvcore {

// The camera for frames of width x height (tracker.cpp).
void camera_for(MvTracker &t, int width, int height);

}  // namespace mvcore

#endif
