// Lens distortion: a single radial term about a centre, plus a scale.
// Both directions keep their exact order of operations: detection and pose
// estimation depend on the last bits.
#include "morvex/camera.h"
#include "lens.h"

#include <cmath>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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

#ifdef __SSE2__
namespace {

// Two points through the same steps as mvParamObserv2Ideal, side by side;
// square roots and quotients are exact in either unit, so the results are
// the single-point ones. False (out untouched) when a radius reaches zero:
// that point's early exit is the single-point code's.
bool observed_to_ideal_pair(const double distortion[4], __m128d px, __m128d py, double *out)
{
    const __m128d factor = _mm_set1_pd(distortion[2] / 100000000.0);
    const __m128d factor3 = _mm_mul_pd(_mm_set1_pd(3.0), factor);
    const __m128d one = _mm_set1_pd(1.0), zero = _mm_setzero_pd();
    px = _mm_sub_pd(px, _mm_set1_pd(distortion[0]));
    py = _mm_sub_pd(py, _mm_set1_pd(distortion[1]));
    __m128d z02 = _mm_add_pd(_mm_mul_pd(px, px), _mm_mul_pd(py, py));
    const __m128d q = _mm_sqrt_pd(z02);
    __m128d z0 = q;
    for (int i = 1;; i++) {
        if (_mm_movemask_pd(_mm_cmpeq_pd(z0, zero)) != 0) return false;
        const __m128d num = _mm_sub_pd(_mm_mul_pd(_mm_sub_pd(one, _mm_mul_pd(factor, z02)), z0), q);
        const __m128d den = _mm_sub_pd(one, _mm_mul_pd(factor3, z02));
        const __m128d z = _mm_sub_pd(z0, _mm_div_pd(num, den));
        px = _mm_div_pd(_mm_mul_pd(px, z), z0);
        py = _mm_div_pd(_mm_mul_pd(py, z), z0);
        if (i == 3) break;
        z02 = _mm_add_pd(_mm_mul_pd(px, px), _mm_mul_pd(py, py));
        z0 = _mm_sqrt_pd(z02);
    }
    const __m128d scale = _mm_set1_pd(distortion[3]);
    const __m128d ix = _mm_add_pd(_mm_div_pd(px, scale), _mm_set1_pd(distortion[0]));
    const __m128d iy = _mm_add_pd(_mm_div_pd(py, scale), _mm_set1_pd(distortion[1]));
    _mm_storeu_pd(out, _mm_unpacklo_pd(ix, iy));
    _mm_storeu_pd(out + 2, _mm_unpackhi_pd(ix, iy));
    return true;
}

}  // namespace
#endif

void mvcore::observed_to_ideal(const double distortion[4], const int *x, const int *y, int n, double *out)
{
    int k = 0;
#ifdef __SSE2__
    for (; k + 2 <= n; k += 2)
        if (!observed_to_ideal_pair(distortion, _mm_set_pd(x[k + 1], x[k]), _mm_set_pd(y[k + 1], y[k]),
                                    out + 2 * k)) {
            mvParamObserv2Ideal(distortion, x[k], y[k], &out[2 * k], &out[2 * k + 1]);
            mvParamObserv2Ideal(distortion, x[k + 1], y[k + 1], &out[2 * k + 2], &out[2 * k + 3]);
        }
#endif
    for (; k < n; k++) mvParamObserv2Ideal(distortion, x[k], y[k], &out[2 * k], &out[2 * k + 1]);
}
