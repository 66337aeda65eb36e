// The library's pinhole projection and lens as templates, so that the
// solver can differentiate through them. ideal_to_observed keeps the order
// of operations of mvParamIdeal2Observ: in doubles the two give the same
// bits (the calibration test holds them to it), so a fitted camera means in
// the tracker exactly what it meant to the fit.
#ifndef MORVEX_CALIB_LENS_MODEL_H
#define MORVEX_CALIB_LENS_MODEL_H

namespace mvcalib {

// dist: centre x, centre y (observed pixels), radial factor x 1e8, scale.
template <class T>
void ideal_to_observed(const T dist[4], const T &ix, const T &iy, T *ox, T *oy)
{
    const T factor = dist[2] / 100000000.0;
    const T x = (ix - dist[0]) * dist[3];
    const T y = (iy - dist[1]) * dist[3];
    // At the centre itself the library returns the centre; x d + c gives it too.
    const T d = 1.0 - factor * (x * x + y * y);
    *ox = x * d + dist[0];
    *oy = y * d + dist[1];
}

// Camera point (x right, y down, z forward) to ideal pixels through the
// projection [fx 0 cx 0] [0 fy cy 0] [0 0 1 0]; intr = fx, fy, cx, cy.
template <class T>
void camera_to_ideal(const T intr[4], const T p[3], T *ix, T *iy)
{
    *ix = (intr[0] * p[0] + intr[2] * p[2]) / p[2];
    *iy = (intr[1] * p[1] + intr[3] * p[2]) / p[2];
}

}  // namespace mvcalib

#endif
