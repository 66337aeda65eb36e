// render.cpp - the geometry: pose helpers, corner truth and the frame.
//
// Every output pixel is split into supersample x supersample sub-samples at
// pixel-centred offsets. Each sub-sample goes from observed to ideal
// coordinates through the core's lens model and then through the inverse of
// the marker plane's homography H = projection x [r1 r2 t] to marker
// millimetres; inside the square it takes the marker picture's colour
// (bilinear, from a pre-shrunk copy when the picture is much finer than the
// sub-sample grid), outside the background's.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "projection.h"
#include "render_internal.h"

namespace render {

namespace {

struct Vec3 {
    double x, y, z;
};

Vec3 mul3(const double m[3][3], Vec3 v) {
    return {m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z,
            m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z,
            m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z};
}

// Inverse by the adjugate; false when the matrix is (nearly) singular.
bool invert3(const double m[3][3], double out[3][3]) {
    double c00 = m[1][1] * m[2][2] - m[1][2] * m[2][1];
    double c01 = m[1][2] * m[2][0] - m[1][0] * m[2][2];
    double c02 = m[1][0] * m[2][1] - m[1][1] * m[2][0];
    double det = m[0][0] * c00 + m[0][1] * c01 + m[0][2] * c02;
    double scale = 0.0;
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) scale = std::max(scale, std::fabs(m[i][j]));
    if (!(std::fabs(det) > 1e-12 * scale * scale * scale)) return false;
    out[0][0] = c00 / det;
    out[1][0] = c01 / det;
    out[2][0] = c02 / det;
    out[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) / det;
    out[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) / det;
    out[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) / det;
    out[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) / det;
    out[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) / det;
    out[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) / det;
    return true;
}

// The core's conversions take the four factors as a plain array; a local
// copy keeps the caller's record untouched whatever the declared constness.
struct Lens {
    double d[4];
    explicit Lens(const MvCameraParam &cam) { std::memcpy(d, cam.distortion, sizeof d); }
    void toIdeal(double ox, double oy, double *ix, double *iy) {
        mvParamObserv2Ideal(d, ox, oy, ix, iy);
    }
    void toObserved(double ix, double iy, double *ox, double *oy) {
        mvParamIdeal2Observ(d, ix, iy, ox, oy);
    }
};

// One level of the marker picture as float RGB.
struct Texture {
    int w = 0, h = 0;
    std::vector<float> rgb;
};

Texture toTexture(const Image &img) {
    Texture t;
    t.w = img.width;
    t.h = img.height;
    t.rgb.resize(static_cast<size_t>(t.w) * t.h * 3);
    for (size_t i = 0; i < static_cast<size_t>(t.w) * t.h; i++) {
        const uint8_t *p = &img.pixels[i * img.channels];
        for (int c = 0; c < 3; c++) t.rgb[i * 3 + c] = img.channels >= 3 ? p[c] : p[0];
    }
    return t;
}

// 2 x 2 box average; only called on even sizes, so the border keeps its
// exact place in picture coordinates.
Texture halve(const Texture &s) {
    Texture t;
    t.w = s.w / 2;
    t.h = s.h / 2;
    t.rgb.resize(static_cast<size_t>(t.w) * t.h * 3);
    for (int y = 0; y < t.h; y++)
        for (int x = 0; x < t.w; x++)
            for (int c = 0; c < 3; c++) {
                auto at = [&](int xx, int yy) { return s.rgb[(static_cast<size_t>(yy) * s.w + xx) * 3 + c]; };
                t.rgb[(static_cast<size_t>(y) * t.w + x) * 3 + c] =
                    0.25f * (at(2 * x, 2 * y) + at(2 * x + 1, 2 * y) + at(2 * x, 2 * y + 1) +
                             at(2 * x + 1, 2 * y + 1));
            }
    return t;
}

// (fx, fy) in [0, 1] across the picture; pixel centres at (i + 0.5) / w.
void sampleBilinear(const Texture &t, double fx, double fy, float out[3]) {
    double u = fx * t.w - 0.5, v = fy * t.h - 0.5;
    u = std::clamp(u, 0.0, static_cast<double>(t.w - 1));
    v = std::clamp(v, 0.0, static_cast<double>(t.h - 1));
    int x0 = std::min(static_cast<int>(u), t.w - 1), y0 = std::min(static_cast<int>(v), t.h - 1);
    int x1 = std::min(x0 + 1, t.w - 1), y1 = std::min(y0 + 1, t.h - 1);
    float ax = static_cast<float>(u - x0), ay = static_cast<float>(v - y0);
    const float *p00 = &t.rgb[(static_cast<size_t>(y0) * t.w + x0) * 3];
    const float *p10 = &t.rgb[(static_cast<size_t>(y0) * t.w + x1) * 3];
    const float *p01 = &t.rgb[(static_cast<size_t>(y1) * t.w + x0) * 3];
    const float *p11 = &t.rgb[(static_cast<size_t>(y1) * t.w + x1) * 3];
    for (int c = 0; c < 3; c++) {
        float top = p00[c] + ax * (p10[c] - p00[c]);
        float bot = p01[c] + ax * (p11[c] - p01[c]);
        out[c] = top + ay * (bot - top);
    }
}

// Pixels that can show the marker, as [x0, x1] x [y0, y1]. While the whole
// square is in front of the camera and inside the lens model's fold radius
// the forward model is one-to-one there, so the square's image is bounded by
// the image of its outline: sample the outline densely, take the bounds and
// a 2 px margin (covers pixel size and the bulge between samples). Anything
// else falls back to the whole frame.
void markerRegion(double side_mm, const double trans[3][4], const MvCameraParam &cam, int W, int H,
                  int *x0, int *y0, int *x1, int *y1) {
    *x0 = 0;
    *y0 = 0;
    *x1 = W - 1;
    *y1 = H - 1;
    const double p = cam.distortion[2] / 100000000.0, s = cam.distortion[3];
    const double half = side_mm / 2.0;
    const double cx[4] = {-half, half, half, -half}, cy[4] = {half, half, -half, -half};
    double lo_x = 1e300, lo_y = 1e300, hi_x = -1e300, hi_y = -1e300;
    const int per_edge = 64;
    for (int e = 0; e < 4; e++) {
        for (int i = 0; i < per_edge; i++) {
            double f = static_cast<double>(i) / per_edge;
            const double point[3] = {cx[e] + f * (cx[(e + 1) % 4] - cx[e]),
                                     cy[e] + f * (cy[(e + 1) % 4] - cy[e]), 0.0};
            double ideal[2], obs[2];
            const double w = mvtool::projectPoint(trans, cam, point, ideal, obs);
            double depth = trans[2][0] * point[0] + trans[2][1] * point[1] + trans[2][3];
            if (!(depth > 0.0) || !(w > 0.0)) return;
            // The square's farthest point from the centre is a corner, and
            // corners are among the samples (f = 0).
            double dx = (ideal[0] - cam.distortion[0]) * s, dy = (ideal[1] - cam.distortion[1]) * s;
            if (!(p * (dx * dx + dy * dy) < 1.0 / 3.0)) return;
            lo_x = std::min(lo_x, obs[0]);
            lo_y = std::min(lo_y, obs[1]);
            hi_x = std::max(hi_x, obs[0]);
            hi_y = std::max(hi_y, obs[1]);
        }
    }
    *x0 = static_cast<int>(std::max(0.0, std::floor(lo_x) - 2));
    *y0 = static_cast<int>(std::max(0.0, std::floor(lo_y) - 2));
    *x1 = static_cast<int>(std::min(W - 1.0, std::ceil(hi_x) + 2));
    *y1 = static_cast<int>(std::min(H - 1.0, std::ceil(hi_y) + 2));
}

}  // namespace

Truth projectCorners(double side_mm, const double trans[3][4], const MvCameraParam &cam) {
    Truth t;
    std::memcpy(t.trans, trans, sizeof t.trans);
    const double h = side_mm / 2.0;
    const double corners[4][3] = {{-h, h, 0}, {h, h, 0}, {h, -h, 0}, {-h, -h, 0}};
    for (int k = 0; k < 4; k++) mvtool::projectPoint(trans, cam, corners[k], t.ideal[k], t.observed[k]);
    return t;
}

void poseAt(const MvCameraParam &cam, double u, double v, double distance_mm, double tilt_deg,
            double roll_deg, double trans[3][4]) {
    double m[3][3], minv[3][3];
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) m[i][j] = cam.projection[i][j];
    if (!invert3(m, minv)) {
        // No usable projection: keep a finite, plainly face-on answer.
        std::memset(minv, 0, sizeof minv);
        minv[0][0] = minv[1][1] = minv[2][2] = 1.0;
    }
    Vec3 p4 = {cam.projection[0][3], cam.projection[1][3], cam.projection[2][3]};
    Vec3 c = mul3(minv, p4);
    c = {-c.x, -c.y, -c.z};  // camera centre
    Vec3 d = mul3(minv, {u, v, 1.0});
    double n = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    d = {d.x / n, d.y / n, d.z / n};
    if (d.z < 0) d = {-d.x, -d.y, -d.z};

    const double deg = M_PI / 180.0;
    double ct = std::cos(tilt_deg * deg), st = std::sin(tilt_deg * deg);
    double cr = std::cos(roll_deg * deg), sr = std::sin(roll_deg * deg);
    // diag(1, -1, -1) x Rx(tilt): face-on, then tilted about marker x.
    double r1[3][3] = {{1, 0, 0}, {0, -ct, st}, {0, -st, -ct}};
    // Rz(roll) about the camera's z axis (clockwise in the image, y down).
    double rz[3][3] = {{cr, -sr, 0}, {sr, cr, 0}, {0, 0, 1}};
    double r2[3][3];
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            r2[i][j] = rz[i][0] * r1[0][j] + rz[i][1] * r1[1][j] + rz[i][2] * r1[2][j];
    // The smallest rotation taking the optical axis (0, 0, 1) onto d
    // (Rodrigues with axis z x d), so the marker faces the camera along d.
    double ra[3][3];
    double ax = -d.y, ay = d.x;  // z x d, length sin(angle)
    double s = std::sqrt(ax * ax + ay * ay), cang = d.z;
    if (s < 1e-15) {
        std::memset(ra, 0, sizeof ra);
        ra[0][0] = ra[1][1] = ra[2][2] = 1.0;
    } else {
        double kx = ax / s, ky = ay / s, vv = 1.0 - cang;
        ra[0][0] = cang + kx * kx * vv;
        ra[0][1] = kx * ky * vv;
        ra[0][2] = ky * s;
        ra[1][0] = kx * ky * vv;
        ra[1][1] = cang + ky * ky * vv;
        ra[1][2] = -kx * s;
        ra[2][0] = -ky * s;
        ra[2][1] = kx * s;
        ra[2][2] = cang;
    }
    for (int i = 0; i < 3; i++) {
        for (int j = 0; j < 3; j++)
            trans[i][j] = ra[i][0] * r2[0][j] + ra[i][1] * r2[1][j] + ra[i][2] * r2[2][j];
    }
    trans[0][3] = c.x + distance_mm * d.x;
    trans[1][3] = c.y + distance_mm * d.y;
    trans[2][3] = c.z + distance_mm * d.z;
}

MvCameraParam bundledCamera(int xsize, int ysize) {
    MvCameraParam full{};
    full.xsize = 640;
    full.ysize = 480;
    const double proj[3][4] = {{700, 0, 318.5, 0}, {0, 700, 241, 0}, {0, 0, 1, 0}};
    std::memcpy(full.projection, proj, sizeof proj);
    full.distortion[0] = 321.0;
    full.distortion[1] = 238.5;
    full.distortion[2] = 40.0;
    full.distortion[3] = 1.0;
    if (xsize == full.xsize && ysize == full.ysize) return full;
    MvCameraParam out{};
    mvParamChangeSize(&full, xsize, ysize, &out);
    return out;
}

MvCameraParam pinholeCamera(int xsize, int ysize, double focal_px) {
    MvCameraParam cam{};
    cam.xsize = xsize;
    cam.ysize = ysize;
    double cx = (xsize - 1) / 2.0, cy = (ysize - 1) / 2.0;
    const double proj[3][4] = {{focal_px, 0, cx, 0}, {0, focal_px, cy, 0}, {0, 0, 1, 0}};
    std::memcpy(cam.projection, proj, sizeof proj);
    cam.distortion[0] = cx;
    cam.distortion[1] = cy;
    cam.distortion[2] = 0.0;
    cam.distortion[3] = 1.0;
    return cam;
}

Truth renderFrame(const Image &marker, double side_mm, const double trans[3][4],
                  const MvCameraParam &cam, const Options &opt, Image *frame) {
    Truth truth = projectCorners(side_mm, trans, cam);
    const int W = std::max(cam.xsize, 0), Hh = std::max(cam.ysize, 0);
    const int n = std::clamp(opt.supersample, 1, 16);
    const int nn = n * n;

    // Marker plane (X, Y, 1) -> homogeneous ideal pixels, and back.
    double hm[3][3], hinv[3][3];
    for (int i = 0; i < 3; i++) {
        for (int j = 0; j < 2; j++) {
            hm[i][j] = 0.0;
            for (int k = 0; k < 3; k++) hm[i][j] += cam.projection[i][k] * trans[k][j];
        }
        hm[i][2] = cam.projection[i][3];
        for (int k = 0; k < 3; k++) hm[i][2] += cam.projection[i][k] * trans[k][3];
    }
    bool drawable = marker.width > 0 && marker.height > 0 &&
                    (marker.channels == 1 || marker.channels == 3 || marker.channels == 4) &&
                    marker.pixels.size() >= static_cast<size_t>(marker.width) * marker.height * marker.channels &&
                    side_mm > 0 && invert3(hm, hinv);

    // Mip chain: use the coarsest level whose texels are still no larger
    // than a sub-sample, so fine picture detail averages instead of aliasing.
    std::vector<Texture> levels;
    if (drawable) {
        levels.push_back(toTexture(marker));
        while (levels.back().w % 2 == 0 && levels.back().h % 2 == 0 && levels.back().w >= 16 &&
               levels.back().h >= 16)
            levels.push_back(halve(levels.back()));
    }
    const Texture *tex = drawable ? &levels[0] : nullptr;
    if (drawable) {
        double side_px = 0.0;
        for (int k = 0; k < 4; k++)
            side_px += std::hypot(truth.ideal[(k + 1) % 4][0] - truth.ideal[k][0],
                                  truth.ideal[(k + 1) % 4][1] - truth.ideal[k][1]) / 4.0;
        if (std::isfinite(side_px) && side_px > 0) {
            double texels_per_sample = marker.width / (side_px * n);
            for (const Texture &t : levels)
                if (texels_per_sample * t.w / marker.width >= 1.0) tex = &t;
        }
    }

    // Marker coverage and colour per pixel.
    std::vector<uint16_t> count(static_cast<size_t>(W) * Hh, 0);
    std::vector<float> acc(static_cast<size_t>(W) * Hh * 3, 0.0f);
    KeepOut keep;
    keep.x0 = W;
    keep.y0 = Hh;
    keep.x1 = -1;
    keep.y1 = -1;
    if (drawable) {
        Lens lens(cam);
        const double half = side_mm / 2.0;
        int rx0, ry0, rx1, ry1;
        markerRegion(side_mm, trans, cam, W, Hh, &rx0, &ry0, &rx1, &ry1);
        for (int y = ry0; y <= ry1; y++) {
            for (int x = rx0; x <= rx1; x++) {
                size_t idx = static_cast<size_t>(y) * W + x;
                for (int sy = 0; sy < n; sy++) {
                    double oy = y + (sy + 0.5) / n - 0.5;
                    for (int sx = 0; sx < n; sx++) {
                        double ox = x + (sx + 0.5) / n - 0.5;
                        double ix, iy;
                        lens.toIdeal(ox, oy, &ix, &iy);
                        Vec3 m = mul3(hinv, {ix, iy, 1.0});
                        if (m.z == 0.0) continue;
                        double X = m.x / m.z, Y = m.y / m.z;
                        if (!(std::fabs(X) <= half && std::fabs(Y) <= half)) continue;
                        double depth = trans[2][0] * X + trans[2][1] * Y + trans[2][3];
                        if (!(depth > 0.0)) continue;  // behind the camera
                        // Beyond the lens model's fold an observed point has no
                        // ideal preimage; the inverse then returns a point that
                        // does not map back, and nothing real is seen there.
                        double bx, by;
                        lens.toObserved(ix, iy, &bx, &by);
                        if (std::fabs(bx - ox) > 0.01 || std::fabs(by - oy) > 0.01) continue;
                        float rgb[3];
                        sampleBilinear(*tex, (X + half) / side_mm, (half - Y) / side_mm, rgb);
                        acc[idx * 3] += rgb[0];
                        acc[idx * 3 + 1] += rgb[1];
                        acc[idx * 3 + 2] += rgb[2];
                        count[idx]++;
                    }
                }
                if (count[idx]) {
                    keep.x0 = std::min(keep.x0, x);
                    keep.y0 = std::min(keep.y0, y);
                    keep.x1 = std::max(keep.x1, x);
                    keep.y1 = std::max(keep.y1, y);
                }
            }
        }
    }
    // Clutter that reads as dark must not touch the border even after blur.
    int margin = 4 + static_cast<int>(std::ceil(3.0 * std::max(opt.blur_sigma, 0.0)));
    if (keep.x0 <= keep.x1) {
        keep.x0 -= margin;
        keep.y0 -= margin;
        keep.x1 += margin;
        keep.y1 += margin;
    }

    FloatImage img;
    img.width = W;
    img.height = Hh;
    img.rgb.assign(static_cast<size_t>(W) * Hh * 3, 0.0f);
    fillBackground(opt, keep, &img);
    for (size_t i = 0; i < count.size(); i++) {
        if (!count[i]) continue;
        float out = static_cast<float>(nn - count[i]);
        for (int c = 0; c < 3; c++) img.rgb[i * 3 + c] = (acc[i * 3 + c] + out * img.rgb[i * 3 + c]) / nn;
    }
    if (opt.blur_sigma > 0.0) gaussianBlur(&img, opt.blur_sigma);
    if (opt.noise_sigma > 0.0) addNoise(&img, opt.noise_sigma, opt.seed);

    frame->width = W;
    frame->height = Hh;
    frame->channels = 4;
    frame->pixels.resize(static_cast<size_t>(W) * Hh * 4);
    for (size_t i = 0; i < static_cast<size_t>(W) * Hh; i++) {
        for (int c = 0; c < 3; c++) {
            float v = std::round(img.rgb[i * 3 + c]);
            frame->pixels[i * 4 + c] = static_cast<uint8_t>(std::clamp(v, 0.0f, 255.0f));
        }
        frame->pixels[i * 4 + 3] = 255;
    }
    return truth;
}

void renderScene(const std::vector<Placement> &markers, const MvCameraParam &cam,
                 const Options &opt, Image *frame) {
    // Any finite pose will do for a frame without a marker.
    const double away[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 1000}};
    if (markers.empty()) {
        renderFrame(Image(), 1.0, away, cam, opt, frame);
        return;
    }
    const Placement &first = markers[0];
    renderFrame(*first.picture, first.side_mm, first.trans, cam, opt, frame);
    if (markers.size() == 1) return;
    Image background, layer;
    renderFrame(Image(), 1.0, away, cam, opt, &background);
    for (size_t k = 1; k < markers.size(); k++) {
        const Placement &m = markers[k];
        renderFrame(*m.picture, m.side_mm, m.trans, cam, opt, &layer);
        for (size_t i = 0; i < layer.pixels.size(); i += 4)
            if (std::memcmp(&layer.pixels[i], &background.pixels[i], 3) != 0)
                std::memcpy(&frame->pixels[i], &layer.pixels[i], 3);
    }
}

}  // namespace render
