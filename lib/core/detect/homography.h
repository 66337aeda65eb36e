// homography.h - plane projective maps onto a marker's quadrilateral, for
// sampling its picture, refining its edges and reading its levels. Internal
// to the core.
#ifndef MORVEX_DETECT_HOMOGRAPHY_H
#define MORVEX_DETECT_HOMOGRAPHY_H

namespace mvcore {

// x = (h[0][0] u + h[0][1] v + h[0][2]) / w, y likewise with row 1,
// w = h[2][0] u + h[2][1] v + h[2][2].
struct Homography {
    double h[3][3];

    void apply(double u, double v, double *x, double *y) const
    {
        const double w = h[2][0] * u + h[2][1] * v + h[2][2];
        *x = (h[0][0] * u + h[0][1] * v + h[0][2]) / w;
        *y = (h[1][0] * u + h[1][1] * v + h[1][2]) / w;
    }
};

// The map taking the unit square's corners (0, 0), (1, 0), (1, 1), (0, 1) to
// corners 0..3, in closed form. False when the corners do not make a proper
// (convex, non-degenerate) quadrilateral; *m is then unspecified.
bool unit_square_map(const double corners[4][2], Homography *m);

// The map taking world[i] to image[i] (i = 0..3), h[2][2] = 1, from the
// 8 x 8 linear system of the four point pairs, solved by Gauss-Jordan
// inversion (pattern sampling's results depend on its last bits). A
// singular system is not reported: the map then holds whatever the failed
// inversion left.
void four_point_map(const double world[4][2], const double image[4][2], Homography *m);

}  // namespace mvcore

#endif
