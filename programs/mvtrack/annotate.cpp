// Annotated frames: software line drawing, a small digit font and the two
// kinds of output.
#include "annotate.h"

#include "clip_writer.h"
#include "image_io.h"
#include "projection.h"
#include "tool_files.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace mvtrack {

namespace {

struct Rgb { uint8_t r, g, b; };
const Rgb kFound = {40, 230, 40};
const Rgb kUnknown = {250, 140, 0};
const Rgb kAxis[3] = {{240, 30, 30}, {30, 220, 30}, {40, 90, 255}};
const Rgb kWhite = {255, 255, 255};
const Rgb kBlack = {0, 0, 0};

void plot(Canvas *c, int x, int y, Rgb col)
{
    if (x < 0 || y < 0 || x >= c->width || y >= c->height) return;
    uint8_t *p = &c->rgb[(static_cast<size_t>(y) * c->width + x) * 3];
    p[0] = col.r;
    p[1] = col.g;
    p[2] = col.b;
}

// Clips the segment to the canvas (Liang-Barsky), so that far-off or huge
// coordinates cost nothing. False when nothing of it is inside.
bool clip_segment(const Canvas &c, double &x0, double &y0, double &x1, double &y1)
{
    if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1))
        return false;
    const double dx = x1 - x0, dy = y1 - y0;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x0 + 0.5, c.width - 0.5 - x0, y0 + 0.5, c.height - 0.5 - y0};
    double t0 = 0.0, t1 = 1.0;
    for (int i = 0; i < 4; i++) {
        if (p[i] == 0.0) {
            if (q[i] < 0.0) return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0.0) t0 = std::max(t0, t);
        else t1 = std::min(t1, t);
        if (t0 > t1) return false;
    }
    const double ax = x0 + t0 * dx, ay = y0 + t0 * dy;
    x1 = x0 + t1 * dx;
    y1 = y0 + t1 * dy;
    x0 = ax;
    y0 = ay;
    return true;
}

void line(Canvas *c, double x0, double y0, double x1, double y1, Rgb col)
{
    if (!clip_segment(*c, x0, y0, x1, y1)) return;
    const int steps = static_cast<int>(std::ceil(std::max(std::fabs(x1 - x0), std::fabs(y1 - y0))));
    for (int i = 0; i <= steps; i++) {
        const double t = steps > 0 ? static_cast<double>(i) / steps : 0.0;
        plot(c, static_cast<int>(std::lround(x0 + t * (x1 - x0))),
             static_cast<int>(std::lround(y0 + t * (y1 - y0))), col);
    }
}

// 5 x 7 glyphs, one byte per row, bit 4 leftmost.
const uint8_t kDigits[10][7] = {
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}};
const uint8_t kMinus[7] = {0, 0, 0, 0x1F, 0, 0, 0};

// White text on a black box centred at (cx, cy), `scale` pixels per dot.
void text(Canvas *c, const std::string &s, double cx, double cy, int scale)
{
    const int w = static_cast<int>(s.size()) * 6 * scale + scale, h = 9 * scale;
    const int left = static_cast<int>(std::lround(cx)) - w / 2;
    const int top = static_cast<int>(std::lround(cy)) - h / 2;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) plot(c, left + x, top + y, kBlack);
    for (size_t k = 0; k < s.size(); k++) {
        const uint8_t *g = s[k] == '-' ? kMinus
                           : (s[k] >= '0' && s[k] <= '9') ? kDigits[s[k] - '0'] : nullptr;
        if (g == nullptr) continue;
        for (int row = 0; row < 7; row++)
            for (int col = 0; col < 5; col++)
                if (g[row] & (0x10 >> col))
                    for (int dy = 0; dy < scale; dy++)
                        for (int dx = 0; dx < scale; dx++)
                            plot(c, left + scale + (static_cast<int>(k) * 6 + col) * scale + dx,
                                 top + scale + row * scale + dy, kWhite);
    }
}

// The observed pixel of an ideal one, through the camera's lens.
void observed(const MvCameraParam &cam, double ix, double iy, double *ox, double *oy)
{
    mvParamIdeal2Observ(cam.distortion, ix, iy, ox, oy);
}

// Observed pixel of marker point p (mm) under the transform, through the
// camera; false behind it.
bool project(const MvCameraParam &cam, const double trans[3][4], const double p[3], double *ox, double *oy)
{
    double ideal[2], obs[2];
    if (!(mvtool::projectPoint(trans, cam, p, ideal, obs) > 1e-9)) return false;
    *ox = obs[0];
    *oy = obs[1];
    return true;
}

class PngSink : public FrameSink {
public:
    PngSink(std::string head, int width, std::string tail) : head_(head), width_(width), tail_(tail) {}
    bool write(const Canvas &canvas, long index, std::string *error) override
    {
        char num[32];
        snprintf(num, sizeof num, "%0*ld", width_, index);
        mvtool::Image img;
        img.width = canvas.width;
        img.height = canvas.height;
        img.channels = 3;
        img.pixels = canvas.rgb;
        return mvtool::writePng(head_ + num + tail_, img, error);
    }
    bool finish(std::string *) override { return true; }

private:
    std::string head_;
    int width_;
    std::string tail_;
};

// FFmpeg writes under a temporary name, renamed over the target when
// finished: a failed or interrupted run leaves an older video as it was.
class VideoSink : public FrameSink {
public:
    VideoSink(clip::Writer *w, std::unique_ptr<mvtool::OutputFile> file, std::string target)
        : writer_(w), file_(std::move(file)), target_(std::move(target)) {}
    ~VideoSink() override
    {
        std::string ignored;
        if (writer_) clip::close(writer_, &ignored);
    }
    bool write(const Canvas &canvas, long, std::string *error) override
    {
        return clip::write(writer_, canvas.rgb.data(), 3, error);
    }
    bool finish(std::string *error) override
    {
        clip::Writer *w = writer_;
        writer_ = nullptr;
        std::string why;
        if (!clip::close(w, &why)) {
            *error = "cannot write video \"" + target_ + "\": " + why;
            return false;
        }
        return file_->commit(error);
    }

private:
    clip::Writer *writer_;
    std::unique_ptr<mvtool::OutputFile> file_;
    std::string target_;
};

}  // namespace

void canvasFromFrame(const unsigned char *frame, int width, int height, Canvas *canvas)
{
    canvas->width = width;
    canvas->height = height;
    const size_t n = static_cast<size_t>(width) * height;
    canvas->rgb.resize(n * 3);
    for (size_t i = 0; i < n; i++)
        for (int k = 0; k < 3; k++) canvas->rgb[i * 3 + k] = frame[i * 4 + k];
}

void drawMarker(const TrackedMarker &m, double axis_mm, const MvCameraParam &cam, Canvas *canvas)
{
    const MvMarkerInfo &in = m.info;
    const Rgb col = in.id >= 0 ? kFound : kUnknown;
    // The id first, so that the axes from the centre stay visible over it.
    const int scale = canvas->width >= 640 ? 3 : 2;
    text(canvas, std::to_string(in.id), in.center[0], in.center[1], scale);
    // Each side is straight in ideal coordinates only; sampled along it and
    // taken through the lens, it bends like the border in the picture.
    const int kSteps = 12;
    for (int s = 0; s < 4; s++) {
        const double *a = in.vertices[s], *b = in.vertices[(s + 1) % 4];
        double px = 0, py = 0;
        for (int i = 0; i <= kSteps; i++) {
            const double t = static_cast<double>(i) / kSteps;
            double ox, oy;
            observed(cam, a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1]), &ox, &oy);
            if (i > 0) line(canvas, px, py, ox, oy, col);
            px = ox;
            py = oy;
        }
    }
    double cx, cy;
    observed(cam, in.vertices[0][0], in.vertices[0][1], &cx, &cy);
    for (int dy = -2; dy <= 2; dy++)
        line(canvas, cx - 2, cy + dy, cx + 2, cy + dy, col);

    if (m.hasPose) {
        const double origin[3] = {0, 0, 0};
        double ox0, oy0;
        if (project(cam, m.trans, origin, &ox0, &oy0)) {
            for (int k = 0; k < 3; k++) {
                double tip[3] = {0, 0, 0};
                tip[k] = axis_mm;
                double ox, oy;
                if (!project(cam, m.trans, tip, &ox, &oy)) continue;
                line(canvas, ox0, oy0, ox, oy, kAxis[k]);
            }
        }
    }
}

std::unique_ptr<FrameSink> openSink(const std::string &target, int width, int height,
                                    double fps, std::string *error)
{
    std::string head, tail;
    int digits = 0;
    const int kind = mvtool::splitSequence(target, &head, &digits, &tail);
    if (kind < 0) {
        *error = "bad --annotate name \"" + target +
                 "\": use one %d or %0Nd for a PNG sequence, %% for a percent sign";
        return nullptr;
    }
    if (kind == 1) return std::make_unique<PngSink>(head, digits, tail);
    const int rate = fps > 0 && fps < 1000 ? static_cast<int>(std::lround(fps)) : 30;
    std::string why;
    auto file = std::make_unique<mvtool::OutputFile>();
    if (!file->reserve(head, &why)) {
        *error = why;
        return nullptr;
    }
    clip::Writer *w = clip::open(file->tempPath(), width, height, rate > 0 ? rate : 30,
                                 clip::Codec::Mjpeg, 3, &why);
    if (w == nullptr) {
        *error = "cannot write video \"" + target + "\": " + why;
        return nullptr;
    }
    return std::make_unique<VideoSink>(w, std::move(file), head);
}

}  // namespace mvtrack
