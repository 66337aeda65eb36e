// golden_corpus.cpp - the frame recipes and the recorder behind the golden
// detection and pose outputs.
#include "golden_corpus.h"

#include <unistd.h>

#include <cinttypes>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "morvex/camera.h"
#include "morvex/detect.h"
#include "morvex/pattern.h"
#include "morvex/pose.h"
#include "render.h"

namespace golden {
namespace {

const int kThresh = 100;
const double kSide = 80.0;          // rendered marker side, mm
const uint8_t kBright = 200;        // generated frames' background

struct Frame {
    std::string name;
    int w, h;
    std::vector<uint8_t> px;        // 4 bytes per pixel
    Frame(std::string n, int width, int height)
        : name(std::move(n)), w(width), h(height), px((size_t)width * height * 4, kBright) {}
    void set(int x, int y, uint8_t r, uint8_t g, uint8_t b)
    {
        if (x < 0 || y < 0 || x >= w || y >= h) return;
        uint8_t *p = &px[((size_t)y * w + x) * 4];
        p[0] = r; p[1] = g; p[2] = b;
    }
    void rect(int x0, int y0, int x1, int y1, uint8_t v)   // inclusive corners
    {
        for (int y = y0; y <= y1; y++)
            for (int x = x0; x <= x1; x++) set(x, y, v, v, v);
    }
};

// Deterministic noise: xorshift32 from a fixed seed.
struct Rng {
    uint32_t s;
    explicit Rng(uint32_t seed) : s(seed) {}
    uint32_t next() { s ^= s << 13; s ^= s >> 17; s ^= s << 5; return s; }
};

struct Scene {
    const render::Image *picture;
    double u, v, dist, tilt, roll;
};

MvCameraParam cameraFor(int w) { return render::bundledCamera(w, w * 3 / 4); }

// The scenes rendered into one frame over the same background.
Frame rendered(const std::string &name, int w, const std::vector<Scene> &scenes,
               render::Options opt = {})
{
    const MvCameraParam cam = cameraFor(w);
    std::vector<render::Placement> placed(scenes.size());
    for (size_t k = 0; k < scenes.size(); k++) {
        const Scene &s = scenes[k];
        placed[k].picture = s.picture;
        placed[k].side_mm = kSide;
        render::poseAt(cam, s.u, s.v, s.dist, s.tilt, s.roll, placed[k].trans);
    }
    Frame f(name, cam.xsize, cam.ysize);
    render::Image img;
    render::renderScene(placed, cam, opt, &img);
    f.px = img.pixels;
    return f;
}

render::Options opts(render::Background bg, double blur, double noise, unsigned seed = 1)
{
    render::Options o;
    o.background = bg;
    o.blur_sigma = blur;
    o.noise_sigma = noise;
    o.seed = seed;
    return o;
}

// Pastes `img` scaled to side x side (nearest pixel), turned by `quarter`
// quarter turns, with its top-left corner at (x0, y0).
void paste(Frame *f, const render::Image &img, int x0, int y0, int side, int quarter)
{
    for (int j = 0; j < side; j++)
        for (int i = 0; i < side; i++) {
            int u = i, v = j;
            for (int q = 0; q < quarter; q++) {
                int t = u;
                u = side - 1 - v;
                v = t;
            }
            const uint8_t *p = &img.pixels[((size_t)(v * img.height / side) * img.width +
                                            (size_t)(u * img.width / side)) * img.channels];
            f->set(x0 + i, y0 + j, p[0], p[1], p[2]);
        }
}

Frame smallMarkers(const std::string &name, int w, int h, int cols, int rows, int side,
                   const render::Image &marker)
{
    Frame f(name, w, h);
    const int gx = w / cols, gy = h / rows;
    for (int r = 0; r < rows; r++)
        for (int c = 0; c < cols; c++)
            paste(&f, marker, c * gx + (gx - side) / 2 + r, r * gy + (gy - side) / 2 + c,
                  side - (r + c) % 3 * 4, (r + c) % 4);
    return f;
}

// The marker's dark pixels set to exactly the threshold grey (dark by the
// rule sum <= 3 * thresh) on the left, and one grey level above it (bright)
// on the right.
Frame atThreshold(const render::Image &marker)
{
    Frame f("at-threshold", 320, 240);
    paste(&f, marker, 30, 60, 110, 0);
    paste(&f, marker, 180, 60, 110, 0);
    for (int y = 0; y < f.h; y++)
        for (int x = 0; x < f.w; x++) {
            uint8_t *p = &f.px[((size_t)y * f.w + x) * 4];
            if (p[0] + p[1] + p[2] > 3 * kThresh) continue;
            const uint8_t v = x < 160 ? kThresh : kThresh + 1;
            p[0] = p[1] = p[2] = v;
        }
    return f;
}

Frame squareGrid(const std::string &name, int cols, int rows, int side)
{
    Frame f(name, 320, 240);
    for (int r = 0; r < rows; r++)
        for (int c = 0; c < cols; c++) {
            const int x = 6 + c * (300 / cols), y = 6 + r * (228 / rows);
            f.rect(x, y, x + side - 1, y + side - 1, 0);
        }
    return f;
}

Frame borderSquares()
{
    Frame f("border-squares", 320, 240);
    f.rect(0, 0, 29, 29, 0);          // in the corner
    f.rect(140, 0, 179, 35, 0);       // on the top edge
    f.rect(290, 100, 319, 139, 0);    // on the right edge
    f.rect(1, 200, 40, 238, 0);       // one pixel in from the left and bottom
    f.rect(150, 100, 189, 139, 0);    // free, for comparison
    return f;
}

Frame nestedAndTouching()
{
    Frame f("nested-touching", 320, 240);
    f.rect(10, 10, 109, 109, 0);      // a ring ...
    f.rect(25, 25, 94, 94, kBright);
    f.rect(40, 40, 79, 79, 0);        // ... around a square
    f.rect(130, 20, 169, 59, 0);      // two squares sharing an edge
    f.rect(170, 20, 209, 59, 0);
    f.rect(230, 20, 264, 54, 0);      // two squares touching at a corner
    f.rect(265, 55, 299, 89, 0);
    f.rect(130, 130, 229, 229, 0);    // a square with a bright square inside
    f.rect(160, 160, 199, 199, kBright);
    f.rect(250, 150, 255, 155, 0);    // too small to keep: 6, 8, 9 pixels wide
    f.rect(265, 150, 272, 157, 0);
    f.rect(285, 150, 293, 158, 0);
    return f;
}

Frame noise(const std::string &name, int kind, uint32_t seed)
{
    Frame f(name, 320, 240);
    Rng rng(seed);
    for (size_t i = 0; i < f.px.size(); i += 4) {
        const uint32_t r = rng.next();
        if (kind == 0) {                              // binary, per pixel
            f.px[i] = f.px[i + 1] = f.px[i + 2] = (r & 1) ? 255 : 0;
        } else if (kind == 1) {                       // uniform, per channel
            f.px[i] = r & 255; f.px[i + 1] = (r >> 8) & 255; f.px[i + 2] = (r >> 16) & 255;
        } else {                                      // 97..103, around the threshold
            f.px[i] = 97 + r % 7; f.px[i + 1] = 97 + (r >> 8) % 7; f.px[i + 2] = 97 + (r >> 16) % 7;
        }
    }
    return f;
}

// Isolated dark pixels on every second column and row: 76800 components at
// full resolution, more than labelling can number.
Frame dots()
{
    Frame f("dots-over-capacity", 640, 480);
    for (int y = 0; y < f.h; y += 2)
        for (int x = 0; x < f.w; x += 2) f.set(x, y, 0, 0, 0);
    return f;
}

// A square spiral of a two-pixel line: segments of length first, first,
// first - gap, first - gap, ... turning clockwise.
Frame spiral(const std::string &name, int first, int gap, int segments)
{
    Frame f(name, 640, 480);
    int x = 320 - first / 2, y = 240 - first / 2;
    const int dx[4] = {1, 0, -1, 0}, dy[4] = {0, 1, 0, -1};
    for (int s = 0; s < segments; s++) {
        const int len = first - (s / 2) * gap;
        if (len <= 0) break;
        for (int k = 0; k < len; k++) {
            f.rect(x, y, x + 1, y + 1, 0);
            x += dx[s % 4];
            y += dy[s % 4];
        }
    }
    return f;
}

std::vector<Frame> corpus(const render::Image &ours, const render::Image &alt0,
                          const render::Image &alt1)
{
    using B = render::Background;
    const render::Image &m = ours;
    std::vector<Frame> c;
    // A marker seen, seen again weaker (the history lends its identity),
    // then gone for three frames (re-added twice, then forgotten).
    c.push_back(rendered("near-facing", 320, {{&m, 159.5, 120.5, 300, 0, 0}}));
    c.push_back(rendered("near-tilted", 320, {{&m, 140, 110, 300, 30, 20}}));
    c.push_back(rendered("near-tilted-noisy", 320, {{&m, 141, 111, 300, 30, 20}},
                         opts(B::Plain, 0.8, 12, 2)));
    c.push_back(Frame("blank-1", 320, 240));
    c.push_back(Frame("blank-2", 320, 240));
    c.push_back(Frame("blank-3", 320, 240));
    c.push_back(rendered("gradient-far-rolled", 320, {{&m, 200, 150, 500, 45, -60}},
                         opts(B::Gradient, 0, 0)));
    c.push_back(rendered("clutter-near", 320, {{&m, 160, 120, 250, 20, 135}},
                         opts(B::Clutter, 0, 0, 3)));
    c.push_back(rendered("clutter-far-blurred", 320, {{&m, 170, 125, 900, 10, 10}},
                         opts(B::Clutter, 0.5, 2, 4)));
    c.push_back(rendered("very-far", 320, {{&m, 160, 120, 1400, 0, 5}}));
    c.push_back(rendered("steep-tilt", 320, {{&m, 160, 120, 250, 75, 10}}));
    c.push_back(rendered("two-other-pictures", 320,
                         {{&alt0, 80, 120, 450, 10, 0}, {&alt1, 240, 120, 450, -10, 90}}));
    c.push_back(rendered("three-patterns", 320,
                         {{&m, 60, 80, 600, 0, 0}, {&alt0, 250, 70, 600, 0, 180},
                          {&alt1, 160, 180, 600, 25, -30}}));
    c.push_back(atThreshold(m));
    c.push_back(smallMarkers("small-markers", 320, 240, 4, 3, 44, m));
    c.push_back(squareGrid("forty-squares", 8, 5, 14));
    c.push_back(borderSquares());
    c.push_back(nestedAndTouching());
    c.push_back(noise("binary-noise", 0, 7));
    c.push_back(noise("uniform-noise", 1, 8));
    c.push_back(noise("threshold-noise", 2, 9));
    c.push_back(rendered("hd-facing", 640, {{&m, 330, 230, 400, 0, 0}}));
    c.push_back(rendered("hd-clutter", 640, {{&m, 300, 260, 600, 40, 70}},
                         opts(B::Clutter, 0.6, 3, 5)));
    c.push_back(rendered("hd-gradient-steep", 640, {{&m, 420, 300, 250, 55, -20}},
                         opts(B::Gradient, 0, 0)));
    c.push_back(dots());
    c.push_back(spiral("spiral-short", 300, 8, 14));
    c.push_back(spiral("spiral-long", 420, 6, 40));
    c.push_back(smallMarkers("hd-small-markers", 640, 480, 6, 4, 60, m));
    c.push_back(Frame("hd-blank", 640, 480));
    return c;
}

// FNV-1a over raw bytes.
struct Hash {
    uint64_t h = 1469598103934665603ull;
    void add(const void *data, size_t n)
    {
        const uint8_t *p = (const uint8_t *)data;
        for (size_t i = 0; i < n; i++) h = (h ^ p[i]) * 1099511628211ull;
    }
};

void put(std::string *out, const char *fmt, ...)
{
    char buf[1024];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    *out += buf;
}

// Doubles as %a: exact, and the same text on every run.
void putDoubles(std::string *out, const double *v, int n)
{
    for (int i = 0; i < n; i++) put(out, " %a", v[i]);
}

void recordLabels(const Frame &f, std::string *out)
{
    int n = 0, *area = nullptr, *clip = nullptr, *table = nullptr;
    double *pos = nullptr;
    const MvLabel *labels = mvLabeling(f.px.data(), kThresh, &n, &area, &pos, &clip, &table);
    if (labels == nullptr) {
        *out += " labels: fail\n";
        return;
    }
    const int lw = mvImageProcMode == 1 ? f.w / 2 : f.w;
    const int lh = mvImageProcMode == 1 ? f.h / 2 : f.h;
    Hash image, tables;
    // Each entry as 16 bits, plus its high half where it has one, so that the
    // hash does not depend on the entry's width.
    MvLabel top = 0;
    for (int i = 0; i < lw * lh; i++) {
        top = labels[i] > top ? labels[i] : top;
        const uint16_t lo = (uint16_t)labels[i], hi = (uint16_t)(labels[i] >> 16);
        image.add(&lo, 2);
        if (hi != 0) image.add(&hi, 2);
    }
    if (n > 0) {
        tables.add(area, sizeof(int) * n);
        tables.add(pos, sizeof(double) * 2 * n);
        tables.add(clip, sizeof(int) * 4 * n);
        tables.add(table, sizeof(int) * top);
    }
    put(out, " labels: %d provisional %u image %016" PRIx64 " tables %016" PRIx64 "\n", n, top,
        image.h, tables.h);

    int count = 0;
    const MvMarkerCandidate *c =
        mvDetectMarker2(labels, n, table, area, pos, clip, 100000, 70, 1.0, &count);
    put(out, " candidates: %d\n", count);
    for (int k = 0; k < count; k++) {
        Hash outline;
        outline.add(c[k].contourX, sizeof(int) * c[k].contourCount);
        outline.add(c[k].contourY, sizeof(int) * c[k].contourCount);
        put(out, "  c%d area %d points %d corners %d %d %d %d %d outline %016" PRIx64 " centre",
            k, c[k].area, c[k].contourCount, c[k].cornerIndices[0], c[k].cornerIndices[1],
            c[k].cornerIndices[2], c[k].cornerIndices[3], c[k].cornerIndices[4], outline.h);
        putDoubles(out, c[k].center, 2);
        *out += "\n";
    }
}

void recordMarkers(const MvMarkerInfo *m, int n, std::string *out)
{
    for (int k = 0; k < n; k++) {
        put(out, "  m%d area %d id %d dir %d conf %a centre", k, m[k].area, m[k].id,
            m[k].direction, m[k].confidence);
        putDoubles(out, m[k].center, 2);
        *out += " lines";
        putDoubles(out, &m[k].edgeLines[0][0], 12);
        *out += " vertices";
        putDoubles(out, &m[k].vertices[0][0], 8);
        const double centre[2] = {0.0, 0.0};
        double trans[3][4];
        const double err = mvGetTransMat(&m[k], centre, kSide, trans);
        put(out, "\n  m%d pose err %a trans", k, err);
        putDoubles(out, &trans[0][0], 12);
        *out += "\n";
    }
}

void recordFrame(const Frame &f, std::string *out)
{
    const MvCameraParam cam = cameraFor(f.w);
    mvInitCparam(&cam);
    put(out, "frame %s %dx%d\n", f.name.c_str(), f.w, f.h);
    recordLabels(f, out);

    MvMarkerInfo *m = nullptr;
    int n = 0;
    int r = mvDetectMarkerLite(f.px.data(), kThresh, &m, &n);
    // Field by field: the record has padding bytes.
    Hash lite;
    for (int k = 0; r == 0 && k < n; k++) {
        lite.add(&m[k].area, sizeof(int) * 3);
        lite.add(&m[k].confidence, sizeof(double) * 23);
    }
    put(out, " lite: %d markers %d table %016" PRIx64 "\n", r, n, lite.h);

    r = mvDetectMarker(f.px.data(), kThresh, &m, &n);
    put(out, " detect: %d markers %d\n", r, r == 0 ? n : 0);
    if (r == 0) recordMarkers(m, n, out);
}

// Teaches a pattern from a frontal view of `picture` into a temporary file
// and loads it. Returns the slot or -1.
int teach(const render::Image &picture, const char *tag)
{
    const MvCameraParam cam = cameraFor(320);
    mvInitCparam(&cam);
    Frame f = rendered("teach", 320, {{&picture, 159.5, 119.5, 300, 0, 0}});
    MvMarkerInfo *m = nullptr;
    int n = 0;
    if (mvDetectMarkerLite(f.px.data(), kThresh, &m, &n) != 0 || n != 1) return -1;
    const std::string path =
        "/tmp/morvex_golden_" + std::to_string(getpid()) + "_" + tag + ".lumo";
    int slot = -1;
    if (mvSavePatt(f.px.data(), &m[0], path.c_str()) == 0) slot = mvLoadPatt(path.c_str());
    std::remove(path.c_str());
    return slot;
}

}  // namespace

bool recordGolden(const std::string &resourceDir, std::string *out, std::string *error)
{
    const render::Image ours = render::makeProjectMarker(256);
    const render::Image alt0 = render::makeMarker(render::makeAlternatePicture(0), 256);
    const render::Image alt1 = render::makeMarker(render::makeAlternatePicture(1), 256);
    mvImageProcMode = 0;
    mvTemplateMatchingMode = 0;
    const int slots[3] = {mvLoadPatt((resourceDir + "/patt.lumo").c_str()), teach(alt0, "a"),
                          teach(alt1, "b")};
    if (slots[0] != 0 || slots[1] != 1 || slots[2] != 2) {
        *error = "could not set up the three patterns (slots " + std::to_string(slots[0]) + ", " +
                 std::to_string(slots[1]) + ", " + std::to_string(slots[2]) + ")";
        return false;
    }
    const std::vector<Frame> frames = corpus(ours, alt0, alt1);
    out->clear();
    for (int mode = 0; mode < 4; mode++) {
        mvImageProcMode = mode / 2;
        mvTemplateMatchingMode = mode % 2;
        put(out, "mode proc %d match %d\n", mvImageProcMode, mvTemplateMatchingMode);
        for (const Frame &f : frames) recordFrame(f, out);
    }
    mvImageProcMode = 0;
    mvTemplateMatchingMode = 0;
    return true;
}

}  // namespace golden
