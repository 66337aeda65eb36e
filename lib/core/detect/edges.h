// edges.h - a candidate's four sides as lines in ideal coordinates, and the
// corners where they meet. Internal to the core.
#ifndef MORVEX_DETECT_EDGES_H
#define MORVEX_DETECT_EDGES_H

#include <vector>

namespace mvcore {

// Storage for one side's points and their centred copy; grown on need and
// reused.
struct EdgeScratch {
    std::vector<double> points, copy;
};

// Fits lines (a x + b y + c = 0, (a, b) a unit normal, ideal coordinates)
// to the four sides between the outline's corner indices (observed
// pixels, leaving out 5 per cent of each side at either end) and
// intersects neighbouring sides into the corners (vertices[i] = start of
// side i). `distortion` maps observed to ideal. 0, or -1 when a side keeps
// fewer than 2 points or two neighbouring sides are parallel (outputs then
// partly written). Throws std::bad_alloc when the scratch cannot grow.
int fit_edges(const int *x, const int *y, const int corners[5], const double distortion[4],
              EdgeScratch &scratch, double lines[4][3], double vertices[4][2]);

}  // namespace mvcore

#endif
