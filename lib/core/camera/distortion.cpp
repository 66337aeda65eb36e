// Lens distortion: a single radial term about a centre, plus a scale.
// Both directions keep their exact order of operations: detection and pose
// estimation depend on the last bits.
#include "morvex/camera.h"

#include <cmath>

extern "C" int mvParamIdeal2Observ(const double distortion[4], double ix, double iy,
                                   double *ox, double *oy)
{
    const double factor = distortion[2] / 100000000.0;
    const double x = (ix - distortion[0]) * distortion[3];
    const double y = (iy - distortion[1]) * distortion[3];
    if (x == 0.0 && y == 0.0) {
        *ox = distortion[0];
        *oy = distortion[1];
        return 0;
    }
    const double d = 1.0 - factor * (x * x + y * y);
    *ox = x * d + distortion[0];
    *oy = y * d + distortion[1];
    return 0;
}

// Three Newton steps on the radius, no convergence test: the number of steps
// is part of the result.
extern "C" int mvParamObserv2Ideal(const double distortion[4], double ox, double oy,
                                   double *ix, double *iy)
{
    const double factor = distortion[2] / 100000000.0;
    double px = ox - distortion[0];
    double py = oy - distortion[1];
    double z02 = px * px + py * py;
    const double q = std::sqrt(z02);
    double z0 = q;

    for (int i = 1;; i++) {
        if (z0 == 0.0) {
            px = 0.0;
            py = 0.0;
            break;
        }
        const double z = z0 - ((1.0 - factor * z02) * z0 - q) / (1.0 - 3.0 * factor * z02);
        px = px * z / z0;
        py = py * z / z0;
        if (i == 3) break;
        z02 = px * px + py * py;
        z0 = std::sqrt(z02);
    }

    *ix = px / distortion[3] + distortion[0];
    *iy = py / distortion[3] + distortion[1];
    return 0;
}
