// One frame through a tracker: detection, then per marker its coded family
// or its picture at sub-pixel corners, then the history, the automatic
// threshold and each identified marker's pose, continuous with its pose in
// the previous frame.
#include "tracker_state.h"

#include "../detect/refine.h"
#include "../detect/sample.h"
#include "../pose/pose_internal.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <new>

namespace {

using namespace mvcore;
using Clock = std::chrono::steady_clock;

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

// Names candidates against the tracker's patterns (unguarded). With the
// guard on, each marker is named again once its corners are settled, so a
// quarter sample does for this first look.
class Naming : public Identifier {
public:
    Naming(const PatternList &list, bool sparse) : list_(list), sparse_(sparse) {}
    void identify(const FrameView &frame, bool half, const int *x, const int *y, const int corners[4],
                  int *id, int *direction, double *confidence) override
    {
        identify_outline(frame, half, x, y, corners, list_, id, direction, confidence, sparse_);
    }

private:
    const PatternList &list_;
    bool sparse_;
};

// The first of the tracker's families whose code the square of `vertices`
// shows: true with *family (index in t.families) and *match.
bool decode(const MvTracker &t, std::vector<float> &samples, const FrameView &frame, const double vertices[4][2],
            int *family, CodeMatch *match)
{
    double perimeter = 0.0;
    for (int i = 0; i < 4; i++)
        perimeter += std::hypot(vertices[(i + 1) % 4][0] - vertices[i][0], vertices[(i + 1) % 4][1] - vertices[i][1]);
    int sampled = 0;   // samples across the square now in `samples`
    for (size_t f = 0; f < t.families.size(); f++) {
        const HeldFamily &h = t.families[f];
        const int grid = h.family->grid;
        // Several samples per cell when cells are large enough to show
        // that they are uniform (a picture's interior is not).
        const int k = perimeter / 4 / grid >= 4.0 ? 3 : 1;
        DecodeOptions options = h.options;
        if (k > 1) {
            // The cell centres first: most squares are no code of this
            // family, and 64 samples tell that as well as 576.
            if (grid != sampled) {
                if ((int)samples.size() < grid * grid) samples.resize((size_t)grid * grid);
                if (!sample_grid(frame, t.frame_camera.distortion, vertices, grid, samples.data())) return false;
                sampled = grid;
            }
            options.samples_per_cell = 1;
            if (!decodeCells(*h.family, samples.data(), options, match)) continue;
        }
        const int n = k * grid;
        if (n != sampled) {
            if ((int)samples.size() < n * n) samples.resize((size_t)n * n);
            if (!sample_grid(frame, t.frame_camera.distortion, vertices, n, samples.data())) return false;
            sampled = n;
        }
        options.samples_per_cell = k;
        if (decodeCells(*h.family, samples.data(), options, match)) {
            *family = (int)f;
            return true;
        }
    }
    return false;
}

// Squares whose outline matched no pattern even loosely, that carry no code
// and that the history does not remember are left as detected: refined
// corners would not make them markers, and in clutter most squares are of
// this kind. Coded squares with cells smaller than kSmallCellPx may read
// only at refined corners, so they are settled when families are looked
// for and their cells, sampled at the detector's corners, show an inside
// clearly lighter than the frame ring (solid blobs and dark squares of the
// scene do not).
constexpr double kPromisingMin = 0.3;
constexpr double kSmallCellPx = 4.0;
constexpr float kCodeContrastMin = 20.0f;
constexpr int kCodeGridMax = 9;   // cells across the largest family (7 x 7 bits and the frame)

bool may_hold_code(const MvTracker &t, std::vector<float> &samples, const FrameView &frame,
                   const double vertices[4][2], int grid)
{
    if ((int)samples.size() < grid * grid) samples.resize((size_t)grid * grid);
    if (!sample_grid(frame, t.frame_camera.distortion, vertices, grid, samples.data())) return false;
    float ring[4 * kCodeGridMax], lightest = 0.0f;
    int n = 0;
    for (int r = 0; r < grid; r++)
        for (int c = 0; c < grid; c++) {
            const float v = samples[r * grid + c];
            if (r == 0 || c == 0 || r == grid - 1 || c == grid - 1) ring[n++] = v;
            else lightest = std::max(lightest, v);
        }
    std::nth_element(ring, ring + n / 2, ring + n);
    return lightest - ring[n / 2] >= kCodeContrastMin;
}

bool worth_settling(const MvTracker &t, std::vector<float> &samples, const FrameView &frame, const MvMarkerInfo &m)
{
    if (m.id >= 0 || m.confidence >= kPromisingMin || t.history.remembers(m)) return true;
    double perimeter = 0.0;
    for (int i = 0; i < 4; i++)
        perimeter += std::hypot(m.vertices[(i + 1) % 4][0] - m.vertices[i][0], m.vertices[(i + 1) % 4][1] - m.vertices[i][1]);
    for (const HeldFamily &h : t.families)
        if (perimeter / 4 / h.family->grid < kSmallCellPx &&
            may_hold_code(t, samples, frame, m.vertices, h.family->grid))
            return true;
    return false;
}

// What the frame's marker k is, settled after detection: the family of
// its code or its picture, from sub-pixel corners when refinement is on.
// Sets the marker's id (a pattern id, a coded key, or -1), direction and
// confidence, and its border share. `samples` is scratch of its own. Any
// thread.
void settle(const MvTracker &t, std::vector<float> &samples, const FrameView &frame, const PatternList &list,
            MvMarkerInfo *found, double *border)
{
    int family = -1;
    CodeMatch code;
    const bool families = !t.families.empty();
    bool coded = families && decode(t, samples, frame, found->vertices, &family, &code);
    *border = coded ? 1.0 / t.families[family].family->grid : kPictureBorder;
    if (!coded && !worth_settling(t, samples, frame, *found)) return;
    MvMarkerInfo m = *found;
    if (t.settings.refine && refine_marker(frame, t.frame_camera.distortion, *border, &m)) {
        if (coded) {
            // The code read again at the finer corners, where it may differ
            // by a cell the coarse ones misplaced.
            int again_family;
            CodeMatch again;
            if (decode(t, samples, frame, m.vertices, &again_family, &again)) family = again_family, code = again;
        } else if (t.settings.guard) {
            guard_identify(frame, t.frame_camera.distortion, t.guard_list(), &m);
            if (families && m.id < 0 && decode(t, samples, frame, m.vertices, &family, &code)) coded = true;
        } else {
            // An identity that the history lent, or a stronger one of the
            // detector's own, is kept; the refined one wins where it is surer.
            identify_corners(frame, t.frame_camera.distortion, list, &m);
            if (m.id < 0 || (found->id >= 0 && m.confidence < found->confidence)) {
                m.id = found->id;
                m.direction = found->direction;
                m.confidence = found->confidence;
            }
            // A small code the detector's corners did not read well enough.
            if (families && m.id < 0 && decode(t, samples, frame, m.vertices, &family, &code)) coded = true;
        }
        *found = m;
    } else if (t.settings.guard && !coded) {
        // Without refined corners, the guard at the detector's.
        guard_identify(frame, t.frame_camera.distortion, t.guard_list(), found);
    }
    // The detector's own name of a coded square is unguarded.
    if (coded && t.settings.guard) found->id = -1;
    // A picture identified beats a code read on the same square.
    if (coded && found->id < 0) {
        const CodeFamily &f = *t.families[family].family;
        *border = 1.0 / f.grid;
        found->id = coded_key(codeFamilyIndex(f), code.id);
        found->direction = code.turn;
        found->confidence = 1.0 - (double)code.corrected / f.bits;
    }
}

// Settles the frame's markers, shared out like detection's candidates:
// share k takes markers k, k + shares, ...
struct Settling {
    MvTracker *t;
    const FrameView *frame;
    const PatternList *list;
    int shares;
    std::atomic<bool> failed;   // some share could not grow its scratch
};

void settle_share(void *context, int share)
{
    Settling &job = *static_cast<Settling *>(context);
    MvTracker &t = *job.t;
    std::vector<MvMarkerInfo> &found = t.detector.markers();
    try {
        for (size_t k = share; k < found.size(); k += job.shares)
            settle(t, t.samples[share], *job.frame, *job.list, &found[k], &t.borders[k]);
    } catch (const std::bad_alloc &) {
        job.failed = true;
    }
}

void settle_all(MvTracker &t, const FrameView &frame, const PatternList &list)
{
    const int n = (int)t.detector.markers().size();
    const int shares = std::max(1, std::min(t.pool.size(), n));
    t.borders.resize(n);
    if ((int)t.samples.size() < shares) t.samples.resize(shares);
    Settling job = {&t, &frame, &list, shares, {false}};
    t.pool.run(shares, settle_share, &job);
    if (job.failed) throw std::bad_alloc();
}

// The pose of one identified marker, continuous with its own pose of the
// previous frame. False when no finite pose comes out.
bool posed(const MvTracker &t, const MvMarkerInfo &m, double side, double prev[3][4], bool *has_prev,
           double trans[3][4], double *error)
{
    static const double center[2] = {0.0, 0.0};
    const double(*camera)[4] = t.frame_camera.projection;
    *error = -1.0;
    // Refined, the pose starts from the closed-form estimate; the classic
    // estimate (whose angle search costs as much as the refinement) only
    // when that start fails.
    if (t.settings.refine && marker_pose_start(m, center, side, camera, trans) == 0)
        *error = refine_marker_pose(m, center, side, *has_prev ? prev : nullptr, camera, trans);
    if (*error < 0) {
        *error = marker_pose(m, center, side, t.frame_camera, false, trans);
        if (t.settings.refine && *error >= 0) {
            const double e = refine_marker_pose(m, center, side, *has_prev ? prev : nullptr, camera, trans);
            if (e >= 0) *error = e;
        }
    }
    bool finite = *error >= 0 && std::isfinite(*error);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 4; j++) finite = finite && std::isfinite(trans[i][j]);
    *has_prev = finite && t.settings.refine;
    if (*has_prev) std::memcpy(prev, trans, sizeof(double) * 12);
    return finite;
}

// The result record of a picture marker, or of a coded one in its family's
// corner order and axes.
void describe(MvTracker &t, const MvMarkerInfo &m, MvTrackerMarker *out)
{
    std::memset(out, 0, sizeof *out);
    out->id = m.id;
    out->direction = m.direction;
    out->confidence = m.confidence;
    out->area = m.area;
    out->center[0] = m.center[0];
    out->center[1] = m.center[1];
    int order[4] = {0, 1, 2, 3};   // result corner i is the detector's corner order[i]
    const CodeFamily *family = is_coded(m.id) ? &codeFamilyAt(coded_family(m.id)) : nullptr;
    if (family != nullptr) {
        out->id = coded_id(m.id);
        out->family = family->name;
        for (int f = 0; f < 4; f++) order[f] = observedCorner(*family, m.direction, f);
    }
    for (int i = 0; i < 4; i++) {
        const double *v = m.vertices[order[i]];
        out->cornersIdeal[i][0] = v[0];
        out->cornersIdeal[i][1] = v[1];
        mvParamIdeal2Observ(t.frame_camera.distortion, v[0], v[1], &out->corners[i][0], &out->corners[i][1]);
        // Side i runs from result corner i to i + 1: the detector's side
        // between those two corners, whichever way the order runs.
        const int a = order[i], b = order[(i + 1) % 4];
        std::memcpy(out->edgeLines[i], m.edgeLines[(a + 1) % 4 == b ? a : b], sizeof out->edgeLines[i]);
    }
    if (m.id < 0) return;

    double trans[3][4], error;
    if (family == nullptr) {
        for (size_t p = 0; p < t.patterns.size(); p++) {
            Held &h = t.patterns[p];
            if (h.id != m.id) continue;
            t.seen[p] = 1;
            if (posed(t, m, h.width, h.prev, &h.has_prev, trans, &error)) {
                std::memcpy(out->pose, trans, sizeof trans);
                out->poseError = error;
                out->widthMm = h.width;
                out->hasPose = 1;
            }
            return;
        }
        return;
    }
    double side = 0.0;
    for (const HeldFamily &h : t.families)
        if (h.family == family) side = h.side_of(out->id);
    if (side <= 0.0) return;   // its family was removed since
    CodePose *cp = nullptr;
    for (CodePose &c : t.code_poses)
        if (c.key == m.id) cp = &c;
    if (cp == nullptr) {
        t.code_poses.push_back({m.id, false, false, {}});   // room was reserved
        cp = &t.code_poses.back();
    }
    cp->seen = true;
    if (posed(t, m, side, cp->prev, &cp->has_prev, trans, &error)) {
        toFamilyAxes(*family, trans, out->pose);
        out->poseError = error;
        out->widthMm = side;
        out->hasPose = 1;
    }
}

// With a limit, the identified markers first (most confident first), then
// the others; the frame's order is kept among those reported. Without room
// to sort, every marker is reported.
void keep_best(MvTracker &t)
{
    std::vector<MvTrackerMarker> &results = t.results;
    std::vector<int> &order = t.order;
    const int limit = t.settings.maxMarkers;
    if (limit <= 0 || (int)results.size() <= limit) return;
    try {
        order.resize(results.size());
    } catch (const std::bad_alloc &) {
        return;
    }
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

extern "C" int mvTrackerProcess(MvTracker *t, const unsigned char *pixels, int width, int height, int stride,
                                MvPixelFormat format, const MvTrackerMarker **markers, int *count)
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
        return t->fail(MV_ERROR_ARGUMENT, "row stride %d bytes is less than %d pixels of %d bytes", stride, width,
                       bpp);
    const bool half = t->settings.halfResolution != 0;
    const long working = half ? (long)(width / 2) * (height / 2) : (long)width * height;
    if (working > MV_WORK_PIXELS_MAX)
        return t->fail(MV_ERROR_ARGUMENT,
                       "frames of %d x %d are too large to detect in (at most %ld working pixels): "
                       "use half resolution or smaller frames",
                       width, height, MV_WORK_PIXELS_MAX);

    const auto t0 = Clock::now();
    t->pool.wake();
    const FrameView frame = frame_view(pixels, width, height, stride, format);
    camera_for(*t, width, height);
    const PatternList list = {t->entries.data(), (int)t->entries.size(), t->settings.greyMatching != 0};
    Naming naming(list, t->settings.guard != 0);
    const int thresh = t->settings.threshold >= 0 ? t->settings.threshold : t->at.thresh;
    // The history comes after each marker is settled, so that it carries
    // the identities of sub-pixel corners and of codes.
    MvError r = t->detector.detect(frame, thresh, half, t->frame_camera.distortion, false, naming);
    std::vector<MvMarkerInfo> &found = t->detector.markers();
    try {
        if (r == MV_ERROR_NONE) {
            settle_all(*t, frame, list);
            if (t->settings.history) {
                const size_t detected = found.size();
                t->history.apply(found, 0);
                // Markers the history re-added keep a picture's border,
                // unless they carry a code.
                t->borders.resize(found.size());
                for (size_t k = detected; k < found.size(); k++)
                    t->borders[k] = is_coded(found[k].id)
                                        ? 1.0 / codeFamilyAt(coded_family(found[k].id)).grid
                                        : kPictureBorder;
            }
        }
    } catch (const std::bad_alloc &) {
        r = MV_ERROR_MEMORY;
        found.clear();
    }
    if (t->settings.threshold < 0)
        autothresh_update(&t->at, frame, t->frame_camera.distortion, found.data(), (int)found.size(),
                          r == MV_ERROR_NONE ? t->borders.data() : nullptr);
    const auto t1 = Clock::now();
    if (r != MV_ERROR_NONE) {
        for (Held &h : t->patterns) h.has_prev = false;
        t->code_poses.clear();
        t->stats.frames++;
        t->stats.detectSeconds += seconds(t0, t1);
        return t->fail(r, r == MV_ERROR_MEMORY ? "no memory to detect in a %d x %d frame"
                                               : "cannot detect in a %d x %d frame",
                       width, height);
    }

    // Storage first: once it is there, nothing below allocates but a coded
    // marker's first pose record.
    try {
        t->results.resize(found.size());
        t->seen.resize(t->patterns.size());
        t->code_poses.reserve(t->code_poses.size() + found.size());
    } catch (const std::bad_alloc &) {
        t->results.clear();
        return t->fail(MV_ERROR_MEMORY, "no memory for %zu markers", found.size());
    }
    std::fill(t->seen.begin(), t->seen.end(), 0);
    for (CodePose &c : t->code_poses) c.seen = false;
    for (size_t k = 0; k < found.size(); k++) describe(*t, found[k], &t->results[k]);
    // Markers not met in this frame lose their previous pose.
    for (size_t p = 0; p < t->patterns.size(); p++)
        if (!t->seen[p]) t->patterns[p].has_prev = false;
    t->code_poses.erase(std::remove_if(t->code_poses.begin(), t->code_poses.end(),
                                       [](const CodePose &c) { return !c.seen; }),
                        t->code_poses.end());
    keep_best(*t);

    t->stats.frames++;
    t->stats.detectSeconds += seconds(t0, t1);
    t->stats.poseSeconds += seconds(t1, Clock::now());
    *markers = t->results.data();
    *count = (int)t->results.size();
    return t->succeed();
}
