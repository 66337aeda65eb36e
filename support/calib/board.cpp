#include "board.h"

#include "print_files.h"
#include "text_image.h"

#include <algorithm>
#include <cstdarg>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace mvcalib {

mvtool::Image boardImage(const Board &board, int px_per_square)
{
    mvtool::Image img;
    img.width = (board.cols + 3) * px_per_square;
    img.height = (board.rows + 3) * px_per_square;
    img.channels = 1;
    img.pixels.assign((size_t)img.width * img.height, 255);
    for (int y = px_per_square; y < img.height - px_per_square; y++)
        for (int x = px_per_square; x < img.width - px_per_square; x++)
            if ((x / px_per_square + y / px_per_square) % 2 == 0) img.pixels[(size_t)y * img.width + x] = 0;
    return img;
}

double boardWidthMm(const Board &board) { return (board.cols + 3) * board.square_mm; }

std::string boardSvg(const Board &board)
{
    const double s = board.square_mm;
    std::ostringstream svg;
    svg.precision(10);
    svg << mvtool::svgOpen(boardWidthMm(board), (board.rows + 3) * s)
        << "  <rect x=\"0\" y=\"0\" width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
    for (int r = 0; r <= board.rows; r++)
        for (int c = 0; c <= board.cols; c++)
            if ((r + c) % 2 == 0)
                svg << "  <rect x=\"" << (c + 1) * s << "\" y=\"" << (r + 1) * s << "\" width=\"" << s
                    << "\" height=\"" << s << "\" fill=\"#000000\"/>\n";
    svg << "</svg>\n";
    return svg.str();
}

namespace {

std::string line(const char *f, ...) __attribute__((format(printf, 1, 2)));
std::string line(const char *f, ...)
{
    char buf[512];
    va_list ap;
    va_start(ap, f);
    std::vsnprintf(buf, sizeof buf, f, ap);
    va_end(ap);
    return buf;
}

void draw_line(mvtool::Image *img, double x0, double y0, double x1, double y1, const uint8_t rgb[3])
{
    const int steps = std::max(1, (int)std::ceil(std::max(std::fabs(x1 - x0), std::fabs(y1 - y0))));
    for (int i = 0; i <= steps; i++) {
        const int x = (int)std::lround(x0 + (x1 - x0) * i / steps);
        const int y = (int)std::lround(y0 + (y1 - y0) * i / steps);
        if (x < 0 || y < 0 || x >= img->width || y >= img->height) continue;
        std::copy(rgb, rgb + 3, &img->pixels[((size_t)y * img->width + x) * 3]);
    }
}

}  // namespace

std::string reportText(const Estimate &est)
{
    std::string s;
    int kept = 0;
    for (const ViewResult &v : est.views) kept += !v.rejected;
    s += line("fit: RMS %.4f px over %d views (first estimate %.4f px, %d iterations)\n", est.rms, kept,
              est.first_rms, est.iterations);
    s += "parameters (value, standard deviation):\n";
    for (int i = 0; i < PARAM_COUNT; i++) {
        if (i == SCALE && est.sd[i] == 0.0)
            s += line("  %-22s %12.4f   fixed\n", kParamNames[i], est.value[i]);
        else if (std::isnan(est.sd[i]))
            s += line("  %-22s %12.4f   not determined\n", kParamNames[i], est.value[i]);
        else
            s += line("  %-22s %12.4f   %.4f\n", kParamNames[i], est.value[i], est.sd[i]);
    }
    s += "views (RMS px, tilt degrees):\n";
    for (const ViewResult &v : est.views) {
        if (v.rejected)
            s += line("  %-30s rejected: %s\n", v.name.c_str(), v.why.c_str());
        else
            s += line("  %-30s %.4f  %5.1f\n", v.name.c_str(), v.rms, v.tilt_deg);
    }
    for (const std::string &w : est.warnings) s += "warning: " + w + "\n";
    return s;
}

namespace {

// 1, 2 or 5 times a power of ten, the largest not above `x`.
double round_down(double x)
{
    const double decade = std::pow(10.0, std::floor(std::log10(x)));
    return x >= 5 * decade ? 5 * decade : x >= 2 * decade ? 2 * decade : decade;
}

std::string number(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

const uint8_t kPalette[6][3] = {{200, 30, 30}, {30, 120, 200}, {30, 150, 60},
                                {200, 120, 0}, {140, 40, 170}, {0, 150, 150}};
const uint8_t kGrey[3] = {160, 160, 160};
const uint8_t kInk[3] = {0, 0, 0};
const uint8_t kPaper[3] = {255, 255, 255};

// The legend under the frame, from row `top`: what the marks mean, a scale
// bar and which colour is which view (numbered as in the report). Lays out
// only, without drawing, when `img` is null. Returns the rows it takes.
int legend(mvtool::Image *img, int width, int top, const Estimate &est, double m)
{
    const int s = width >= 1000 ? 2 : 1, line_h = 11 * s, gap = 4 * s, margin = 6 * s;
    int x = margin, y = top + margin;
    // Room for `w` pixels on this row, else the next one.
    auto place = [&](int w) {
        if (x > margin && x + w > width - margin) x = margin, y += line_h;
        const int at = x;
        x += w + 3 * gap;
        return at;
    };
    auto text = [&](int at, const std::string &t) {
        if (img) mvtool::drawText(img, at, y + 2 * s, t, kInk, s);
    };
    auto mark = [&](int at, double x1, const uint8_t *rgb) {
        if (img) draw_line(img, at, y + 5 * s, at + x1, y + 5 * s, rgb);
    };

    // The corner as seen, and a residual.
    const std::string seen = "CORNER AS SEEN", res = "RESIDUAL: SEEN - FITTED, X" + number(m);
    int at = place(5 * s + gap + mvtool::textWidth(seen, s));
    if (img) {
        draw_line(img, at, y + 5 * s, at + 4 * s, y + 5 * s, kGrey);
        draw_line(img, at + 2 * s, y + 3 * s, at + 2 * s, y + 7 * s, kGrey);
    }
    text(at + 5 * s + gap, seen);
    at = place(12 * s + gap + mvtool::textWidth(res, s));
    mark(at, 12 * s, kPalette[0]);
    text(at + 12 * s + gap, res);

    // The scale bar: a round residual 25..125 pixels long as drawn.
    x = margin, y += line_h;
    const double value = round_down(50.0 / m);
    const int bar = (int)std::lround(value * m);
    const std::string what = number(value) + " PX OF RESIDUAL (RMS " + number(std::round(est.rms * 1e4) / 1e4) + " PX)";
    at = place(bar + gap + mvtool::textWidth(what, s));
    if (img) {
        mvtool::fillRect(img, at, y + 4 * s, at + bar + 1, y + 6 * s, kInk);
        mvtool::fillRect(img, at, y + 2 * s, at + s, y + 8 * s, kInk);
        mvtool::fillRect(img, at + bar + 1 - s, y + 2 * s, at + bar + 1, y + 8 * s, kInk);
    }
    text(at + bar + gap, what);

    // The colours: each with the views drawn in it.
    x = margin, y += line_h;
    std::vector<std::string> of(6);
    int colour = 0;
    for (size_t v = 0; v < est.views.size(); v++)
        if (!est.views[v].rejected) {
            std::string &t = of[colour++ % 6];
            t += (t.empty() ? "" : " ") + std::to_string(v + 1);
        }
    const std::string head = "VIEW (AS IN THE REPORT):";
    text(place(mvtool::textWidth(head, s)), head);
    for (int c = 0; c < 6 && c < colour; c++) {
        at = place(8 * s + gap + mvtool::textWidth(of[c], s));
        if (img) mvtool::fillRect(img, at, y + 2 * s, at + 8 * s, y + 9 * s, kPalette[c]);
        text(at + 8 * s + gap, of[c]);
    }
    return y + line_h + margin - top;
}

}  // namespace

mvtool::Image residualPicture(const Estimate &est, const std::vector<View> &views, int width, int height,
                              double *magnification)
{
    // 1, 2 or 5 times a power of ten.
    const double m = round_down(20.0 / std::max(est.rms, 1e-6));
    *magnification = m;
    const int panel = legend(nullptr, width, height, est, m);
    mvtool::Image img;
    img.width = width;
    img.height = height + panel;
    img.channels = 3;
    img.pixels.assign((size_t)width * img.height * 3, 255);
    int colour = 0;
    for (size_t v = 0; v < est.views.size() && v < views.size(); v++) {
        const ViewResult &vr = est.views[v];
        if (vr.rejected) continue;
        const uint8_t *c = kPalette[colour++ % 6];
        for (size_t k = 0; k < vr.residuals.size() && k < views[v].corners.size(); k++) {
            const Point p = views[v].corners[k], r = vr.residuals[k];
            draw_line(&img, p.x - 1, p.y, p.x + 1, p.y, kGrey);
            draw_line(&img, p.x, p.y - 1, p.x, p.y + 1, kGrey);
            draw_line(&img, p.x, p.y, p.x + r.x * m, p.y + r.y * m, c);
        }
    }
    // The frame ends at a grey rule; lines running past it are cut there.
    mvtool::fillRect(&img, 0, height, width, height + panel, kPaper);
    mvtool::fillRect(&img, 0, height, width, height + 1, kGrey);
    legend(&img, width, height, est, m);
    return img;
}

}  // namespace mvcalib
