/* lines.cpp - marker edge fitting in ideal coordinates and identification. */
#include "morvex/camera.h"
#include "morvex/detect.h"
#include "morvex/numerics.h"
#include "morvex/pattern.h"
#include "detect_internal.h"

namespace {

MvMarkerInfo marker_info[MV_SQUARE_MAX];

// The points of one edge in ideal coordinates; an edge is part of one
// outline, so it has fewer than MV_CONTOUR_MAX of them.
double edge_points[MV_CONTOUR_MAX * 2];

}  // namespace

extern "C" int mvGetLine2(const int *contourX, const int *contourY, int contourCount,
                          const int cornerIndices[5], double edgeLines[4][3],
                          double vertices[4][2], const double distortion[4])
{
    (void)contourCount;
    double evec_data[4], ev_data[2], mean_data[2];
    MvMatrix evec_matrix = {evec_data, 2, 2};
    MvVector ev_vector = {ev_data, 2}, mean_vector = {mean_data, 2};
    MvMatrix *evec = &evec_matrix;
    MvVector *ev = &ev_vector, *mean = &mean_vector;
    int result = 0;

    for (int i = 0; i < 4 && result == 0; i++) {
        const int s = cornerIndices[i];
        const int e = cornerIndices[i + 1];
        // Points near the corners bend round them; leave out 5 per cent of
        // the side at each end.
        const double w = (e - s + 1) * 0.05 + 0.5;
        const int first = (int)(s + w);
        const int last = (int)(e - w);
        const int n = last - first + 1;
        // A line needs two points (the analysis refuses fewer as well).
        if (n < 2 || n > MV_CONTOUR_MAX) {
            result = -1;
            break;
        }
        MvMatrix point_matrix = {edge_points, n, 2};
        MvMatrix *points = &point_matrix;
        for (int k = 0; k < n; k++) {
            double ix, iy;
            mvParamObserv2Ideal(distortion, (double)contourX[first + k],
                                (double)contourY[first + k], &ix, &iy);
            points->data[k * 2] = ix;
            points->data[k * 2 + 1] = iy;
        }
        if (mvMatrixPCA(points, evec, ev, mean) < 0) {
            result = -1;
            break;
        }
        const double a = evec->data[1];
        const double b = -evec->data[0];
        edgeLines[i][0] = a;
        edgeLines[i][1] = b;
        edgeLines[i][2] = -(a * mean->data[0] + b * mean->data[1]);
    }
    if (result < 0) return -1;

    for (int i = 0; i < 4; i++) {
        const double *p = edgeLines[(i + 3) % 4];
        const double *q = edgeLines[i];
        const double w = p[0] * q[1] - q[0] * p[1];
        if (w == 0.0) return -1;
        vertices[i][0] = (p[1] * q[2] - q[1] * p[2]) / w;
        vertices[i][1] = (q[0] * p[2] - p[0] * q[2]) / w;
    }
    return 0;
}

extern "C" int mvGetLine(const int *contourX, const int *contourY, int contourCount,
                         const int cornerIndices[5], double edgeLines[4][3],
                         double vertices[4][2])
{
    return mvGetLine2(contourX, contourY, contourCount, cornerIndices, edgeLines,
                      vertices, mvParam.distortion);
}

extern "C" MvMarkerInfo *mvGetMarkerInfo(const unsigned char *image,
                                         const MvMarkerCandidate *candidates, int *count)
{
    // The marker table holds as many records as the candidate table.
    int n = *count;
    if (n > MV_SQUARE_MAX) n = MV_SQUARE_MAX;
    int j = 0;
    for (int i = 0; i < n; i++) {
        const MvMarkerCandidate *c = &candidates[i];
        MvMarkerInfo *m = &marker_info[j];
        m->area = c->area;
        m->center[0] = c->center[0];
        m->center[1] = c->center[1];
        if (mvGetLine(c->contourX, c->contourY, c->contourCount, c->cornerIndices,
                      m->edgeLines, m->vertices) < 0)
            continue;
        mvGetCode(image, c->contourX, c->contourY, c->cornerIndices, &m->id,
                  &m->direction, &m->confidence);
        j++;
    }
    *count = j;
    return marker_info;
}
