// lens.h - the lens model over many points at once. Internal to the core.
#ifndef MORVEX_CAMERA_LENS_H
#define MORVEX_CAMERA_LENS_H

namespace mvcore {

// mvParamObserv2Ideal for the n pixel positions (x[k], y[k]): ideal
// positions at out[2k], out[2k + 1], each exactly what the single-point
// call gives. Pairs of points share the vector unit where there is one.
void observed_to_ideal(const double distortion[4], const int *x, const int *y, int n, double *out);

}  // namespace mvcore

#endif
