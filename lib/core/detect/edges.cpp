/* edges.cpp - edge lines of a square candidate by principal component
   analysis of each side's points, in ideal coordinates. */
#include "edges.h"

#include <cstddef>

#include "../camera/lens.h"
#include "../numerics/numerics_internal.h"

namespace mvcore {

int fit_edges(const int *x, const int *y, const int corners[5], const double distortion[4],
              EdgeScratch &scratch, double lines[4][3], double vertices[4][2])
{
    double evec_data[4], ev_data[2], mean_data[2];
    MvMatrix evec = {evec_data, 2, 2};
    MvVector ev = {ev_data, 2}, mean = {mean_data, 2};

    for (int i = 0; i < 4; i++) {
        const int s = corners[i];
        const int e = corners[i + 1];
        // Points near the corners bend round them; leave out 5 per cent of
        // the side at each end.
        const double w = (e - s + 1) * 0.05 + 0.5;
        const int first = (int)(s + w);
        const int last = (int)(e - w);
        const int n = last - first + 1;
        // A line needs two points (the analysis refuses fewer as well).
        if (n < 2) return -1;
        // Each on its own: a failed growth may have left one larger.
        if (scratch.points.size() < (std::size_t)n * 2) scratch.points.resize((std::size_t)n * 2);
        if (scratch.copy.size() < (std::size_t)n * 2) scratch.copy.resize((std::size_t)n * 2);
        MvMatrix points = {scratch.points.data(), n, 2};
        observed_to_ideal(distortion, x + first, y + first, n, points.data);
        if (matrix_pca(&points, &evec, &ev, &mean, scratch.copy.data()) < 0) return -1;
        const double a = evec.data[1];
        const double b = -evec.data[0];
        lines[i][0] = a;
        lines[i][1] = b;
        lines[i][2] = -(a * mean.data[0] + b * mean.data[1]);
    }

    for (int i = 0; i < 4; i++) {
        const double *p = lines[(i + 3) % 4];
        const double *q = lines[i];
        const double w = p[0] * q[1] - q[0] * p[1];
        if (w == 0.0) return -1;
        vertices[i][0] = (p[1] * q[2] - q[1] * p[2]) / w;
        vertices[i][1] = (q[0] * p[2] - p[0] * q[2]) / w;
    }
    return 0;
}

}  // namespace mvcore
