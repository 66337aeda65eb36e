// bench.cpp - views of the confusion set rendered with known truth and
// tracked: the grid of views, the trackers and what each one reported.
#include "confusion.h"
#include "pattern_cells.h"
#include "tool_support.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

namespace confusion {

namespace {

const double kSideMm = 80.0;
const int kW = 320, kH = 240;

const double kWidths[] = {24, 32, 40, 48, 64, 88, 120, 160};
const double kTilts[] = {0, 25, 45, 60};
const double kBlurs[] = {0, 0.8, 1.5};
const double kNoises[] = {0, 4, 10};
constexpr int kPerPicture = 8 * 4 * 4 * 3 * 3;

// A well-mixed 32-bit hash of two numbers (for the per-view jitter).
uint32_t mix(uint32_t a, uint32_t b)
{
    uint64_t h = (uint64_t)a * 0x9e3779b97f4a7c15ull ^ ((uint64_t)b + 0x632be59bd9b4e019ull);
    h ^= h >> 31;
    h *= 0xbf58476d1ce4e5b9ull;
    h ^= h >> 29;
    return (uint32_t)(h >> 16);
}

double unit(uint32_t h) { return h / 4294967296.0; }   // [0, 1)

// The reported marker lying on the truth's square (any turn), or -1.
int on_truth(const MvTrackerMarker *m, int n, const render::Truth &t, double tol)
{
    for (int i = 0; i < n; i++)
        for (int k = 0; k < 4; k++) {
            bool all = true;
            for (int c = 0; c < 4 && all; c++) {
                const double *p = m[i].cornersIdeal[c], *q = t.ideal[(c + k) % 4];
                all = std::hypot(p[0] - q[0], p[1] - q[1]) <= tol;
            }
            if (all) return i;
        }
    return -1;
}

void on_note(void *user, const char *message)
{
    static_cast<std::vector<std::string> *>(user)->push_back(message);
}

}  // namespace

int projectIndex(const std::vector<Picture> &set)
{
    for (size_t i = 0; i < set.size(); i++)
        if (set[i].name == "project marker") return (int)i;
    return -1;
}

MvPattern *makePattern(const Picture &p)
{
    if (!p.pattern_file.empty()) {
        const std::string dir = mvtool::resourceFolder();
        const std::string path = (dir.empty() ? std::string("resources") : dir) + "/" + p.pattern_file;
        char why[MV_MESSAGE_MAX];
        MvPattern *pattern = mvPatternLoad(path.c_str(), why, nullptr);
        if (pattern == nullptr) std::fprintf(stderr, "%s\n", why);
        return pattern;
    }
    unsigned char values[3072];
    mvtool::patternValues(p.picture, values);
    return mvPatternFromValues(values, p.name.c_str());
}

std::vector<View> viewGrid(size_t pictures, int step)
{
    std::vector<View> out;
    if (step < 1) step = 1;
    for (size_t p = 0; p < pictures; p++) {
        // Each picture's views in an order of its own, so that a slice
        // (every step-th) covers all conditions across the pictures.
        std::vector<int> order(kPerPicture);
        for (int j = 0; j < kPerPicture; j++) order[j] = j;
        std::mt19937 rng(1000 + (unsigned)p);
        for (int j = kPerPicture - 1; j > 0; j--) std::swap(order[j], order[rng() % (j + 1)]);
        for (int s = 0; s < kPerPicture; s += step) {
            int j = order[s];
            View v;
            v.picture = (int)p;
            v.width_px = kWidths[j % 8];
            j /= 8;
            v.tilt = kTilts[j % 4];
            j /= 4;
            const int turn = j % 4;
            j /= 4;
            v.blur = kBlurs[j % 3];
            v.noise = kNoises[j / 3];
            const uint32_t h = mix((uint32_t)p, (uint32_t)order[s]);
            v.roll = 90.0 * turn + 40.0 * (unit(mix(h, 1)) - 0.5);
            v.background = (render::Background)(mix(h, 2) % 3);
            v.du = 2 * unit(mix(h, 3)) - 1;
            v.dv = 2 * unit(mix(h, 4)) - 1;
            v.seed = mix(h, 5);
            out.push_back(v);
        }
    }
    return out;
}

Bench::Bench(const std::vector<Picture> &set, const std::vector<MvPattern *> &patterns, const Options &opt)
    : set_(set), cam_(render::bundledCamera(kW, kH)), project_(projectIndex(set))
{
    for (const Picture &p : set) markers_.push_back(render::makeMarker(p.picture, 256));
    auto make = [&](bool notes, int skip, int only) {
        MvTracker *t = nullptr;
        if (mvTrackerCreate(&cam_, &opt.settings, &t, nullptr) != MV_ERROR_NONE) return t;
        if (notes) mvTrackerSetMessageCallback(t, on_note, &notes_);
        for (size_t k = 0; k < patterns.size(); k++)
            if ((int)k != skip && (only < 0 || (int)k == only)) mvTrackerAddPattern(t, patterns[k], kSideMm, nullptr);
        return t;
    };
    all_ = make(true, -1, -1);
    if (opt.leave_one_out)
        for (size_t k = 0; k < patterns.size(); k++) without_.push_back(make(false, (int)k, -1));
    if (opt.bundled_alone && project_ >= 0) alone_ = make(false, -1, project_);
}

Bench::~Bench()
{
    mvTrackerDestroy(all_);
    mvTrackerDestroy(alone_);
    for (MvTracker *t : without_) mvTrackerDestroy(t);
}

void Bench::look(const View &v, Outcome *all, Outcome *without, Outcome *alone)
{
    const double f = cam_.projection[0][0];
    const double a = v.roll * M_PI / 180;
    const double extent = v.width_px * (std::fabs(std::cos(a)) + std::fabs(std::sin(a)));
    const double room_x = std::max(0.0, (kW - extent) / 2 - 6), room_y = std::max(0.0, (kH - extent) / 2 - 6);
    double trans[3][4];
    render::poseAt(cam_, (kW - 1) / 2.0 + v.du * room_x, (kH - 1) / 2.0 + v.dv * room_y, f * kSideMm / v.width_px,
                   v.tilt, v.roll, trans);
    // Only a tile of the frame around the marker is rendered and tracked:
    // the full frame's camera cropped (same focal length, principal point
    // and distortion centre moved), so the views cost a fraction.
    const render::Truth whole = render::projectCorners(kSideMm, trans, cam_);
    double lo_x = 1e300, lo_y = 1e300, hi_x = -1e300, hi_y = -1e300;
    for (int k = 0; k < 4; k++) {
        lo_x = std::min(lo_x, whole.observed[k][0]);
        hi_x = std::max(hi_x, whole.observed[k][0]);
        lo_y = std::min(lo_y, whole.observed[k][1]);
        hi_y = std::max(hi_y, whole.observed[k][1]);
    }
    const double margin = std::max(24.0, 0.4 * v.width_px);
    const int x0 = std::max(0, (int)std::floor(lo_x - margin)), y0 = std::max(0, (int)std::floor(lo_y - margin));
    const int x1 = std::min(kW, (int)std::ceil(hi_x + margin)), y1 = std::min(kH, (int)std::ceil(hi_y + margin));
    MvCameraParam &tile = tile_;
    tile = cam_;
    tile.xsize = x1 - x0;
    tile.ysize = y1 - y0;
    tile.projection[0][2] -= x0;
    tile.projection[1][2] -= y0;
    tile.distortion[0] -= x0;
    tile.distortion[1] -= y0;

    render::Options opt;
    opt.background = v.background;
    opt.blur_sigma = v.blur;
    opt.noise_sigma = v.noise;
    opt.seed = v.seed;
    opt.supersample = 2;
    render::Image &frame = frame_;
    const render::Truth truth = render::renderFrame(markers_[v.picture], kSideMm, trans, tile, opt, &frame);
    double side = 1e300;
    for (int k = 0; k < 4; k++)
        side = std::min(side, std::hypot(truth.ideal[(k + 1) % 4][0] - truth.ideal[k][0],
                                         truth.ideal[(k + 1) % 4][1] - truth.ideal[k][1]));
    const double tol = std::max(3.0, 0.12 * side);

    // `map` turns the tracker's pattern id into the picture's index.
    auto track = [&](MvTracker *t, Outcome *out, int skipped, bool single) {
        if (t == nullptr || out == nullptr) return;
        *out = Outcome();
        out->side_px = side;
        mvTrackerSetCamera(t, &tile);   // a new stream as well
        const MvTrackerMarker *m;
        int n;
        if (mvTrackerProcess(t, frame.pixels.data(), frame.width, frame.height, frame.width * 4, MV_PIXEL_RGBA, &m,
                             &n) != MV_ERROR_NONE)
            return;
        auto map = [&](int id) { return id < 0 ? -1 : single ? project_ : skipped >= 0 && id >= skipped ? id + 1 : id; };
        const int hit = on_truth(m, n, truth, tol);
        if (hit >= 0) {
            out->found = true;
            out->id = map(m[hit].id);
            out->confidence = m[hit].confidence;
            std::memcpy(out->corners, m[hit].cornersIdeal, sizeof out->corners);
        }
        for (int i = 0; i < n; i++)
            if (i != hit && m[i].id >= 0) {
                out->stray++;
                out->stray_id = map(m[i].id);
                out->stray_confidence = m[i].confidence;
            }
    };
    track(all_, all, -1, false);
    if (!without_.empty()) track(without_[v.picture], without, v.picture, false);
    track(alone_, alone, -1, true);
}

}  // namespace confusion
