/* refine_internal.h - helpers shared by corner refinement (detect/) and
   identification from refined corners (pattern/). Not public. */
#ifndef MORVEX_REFINE_INTERNAL_H
#define MORVEX_REFINE_INTERNAL_H

#include "morvex/camera.h"

namespace mvcore {

/* The plane projective map taking the unit square's corners (0, 0), (1, 0),
   (1, 1), (0, 1) to a quadrilateral's corners 0..3:
   x = (a u + b v + c) / w, y = (d u + e v + f) / w, w = g u + h v + 1. */
struct QuadMap {
    double a, b, c, d, e, f, g, h;
};

/* False when the corners do not make a proper (convex, non-degenerate)
   quadrilateral; *m is then unspecified. */
bool quad_map(const double corners[4][2], QuadMap *m);
void quad_apply(const QuadMap &m, double u, double v, double *x, double *y);

/* Bilinear R, G, B of the active-size frame at (x, y), pixel centres at
   integers. False (rgb unset) outside the pixel centres' hull. */
inline bool frame_rgb(const unsigned char *image, double x, double y, double rgb[3])
{
    const int w = mvImXsize, h = mvImYsize;
    if (!(x >= 0.0 && y >= 0.0 && x <= w - 1 && y <= h - 1) || w < 2 || h < 2) return false;
    const int x0 = (int)x < w - 2 ? (int)x : w - 2, y0 = (int)y < h - 2 ? (int)y : h - 2;
    const double fx = x - x0, fy = y - y0;
    const double w11 = fx * fy, w10 = fx - w11, w01 = fy - w11, w00 = 1.0 - fx - w01;
    const unsigned char *p = image + ((long)y0 * w + x0) * 4, *q = p + (long)w * 4;
    for (int ch = 0; ch < 3; ch++)
        rgb[ch] = w00 * p[ch] + w10 * p[4 + ch] + w01 * q[ch] + w11 * q[4 + ch];
    return true;
}

}  // namespace mvcore

#endif
