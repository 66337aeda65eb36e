/* contour.cpp - square candidates: outline tracing, corner search, overlap
   removal. */
#include <cstdio>

#include "morvex/camera.h"
#include "morvex/detect.h"
#include "detect_internal.h"
#include "message.h"

namespace {

// The candidate table; the driver keeps a pointer to it for pattern saving.
MvMarkerCandidate candidate_table[MV_SQUARE_MAX];
int wx[MV_CONTOUR_MAX];
int wy[MV_CONTOUR_MAX];

// Neighbour steps, clockwise on screen starting upwards.
const int xdir[8] = {0, 1, 1, 1, 0, -1, -1, -1};
const int ydir[8] = {-1, -1, 0, 1, 1, 1, 0, -1};

// Most intermediate corners one half of an outline may hold.
const int kVertexMax = 6;

}  // namespace

// Splits the outline between from and to at the point farthest from the
// chord while it stands off by more than sqrt(thresh); appends the corners
// in outline order.
int mvcore::get_vertex(const int *x, const int *y, int from, int to, double thresh,
                         int *corners, int *cornerCount)
{
    int a = y[to] - y[from];
    int b = x[from] - x[to];
    int c = x[to] * y[from] - y[to] * x[from];
    // Coinciding end points define no chord: no corner between them.
    if (a == 0 && b == 0) return 0;
    double dmax = 0.0;
    int v = 0;
    for (int i = from + 1; i < to; i++) {
        double d = (double)(a * x[i] + b * y[i] + c);
        d *= d;
        if (d > dmax) {
            dmax = d;
            v = i;
        }
    }
    if (dmax / ((double)a * a + (double)b * b) > thresh) {
        if (get_vertex(x, y, from, v, thresh, corners, cornerCount) < 0) return -1;
        if (*cornerCount > kVertexMax - 1) return -1;
        corners[*cornerCount] = v;
        (*cornerCount)++;
        if (get_vertex(x, y, v, to, thresh, corners, cornerCount) < 0) return -1;
    }
    return 0;
}

namespace {

using mvcore::get_vertex;

int check_square(int area, MvMarkerCandidate *cand, double factor)
{
    const int *x = cand->contourX;
    const int *y = cand->contourY;
    const int count = cand->contourCount;
    int dmax = 0, far = 0;
    for (int i = 1; i < count - 1; i++) {
        int dx = x[i] - x[0], dy = y[i] - y[0];
        int d = dx * dx + dy * dy;
        if (d > dmax) {
            dmax = d;
            far = i;
        }
    }
    const double thresh = area / 0.75 * 0.01 * factor;

    int va[kVertexMax], vb[kVertexMax];
    int na = 0, nb = 0;
    if (get_vertex(x, y, 0, far, thresh, va, &na) < 0) return -1;
    if (get_vertex(x, y, far, count - 1, thresh, vb, &nb) < 0) return -1;

    int *ci = cand->cornerIndices;
    if (na == 1 && nb == 1) {
        ci[0] = 0; ci[1] = va[0]; ci[2] = far; ci[3] = vb[0];
    } else if (na > 1 && nb == 0) {
        int mid = far / 2;
        na = nb = 0;
        if (get_vertex(x, y, 0, mid, thresh, va, &na) < 0) return -1;
        if (get_vertex(x, y, mid, far, thresh, vb, &nb) < 0) return -1;
        if (na != 1 || nb != 1) return -1;
        ci[0] = 0; ci[1] = va[0]; ci[2] = vb[0]; ci[3] = far;
    } else if (na == 0 && nb > 1) {
        int mid = (far + count - 1) / 2;
        na = nb = 0;
        if (get_vertex(x, y, far, mid, thresh, va, &na) < 0) return -1;
        if (get_vertex(x, y, mid, count - 1, thresh, vb, &nb) < 0) return -1;
        if (na != 1 || nb != 1) return -1;
        ci[0] = 0; ci[1] = far; ci[2] = va[0]; ci[3] = vb[0];
    } else {
        return -1;
    }
    ci[4] = count - 1;
    return 0;
}

}  // namespace

extern "C" int mvGetContour(const MvLabel *labelImage, const int *labelTable,
                            int label, const int clip[4], MvMarkerCandidate *cand)
{
    const int xsize = mvImageProcMode == 1 ? mvImXsize / 2 : mvImXsize;
    int *x = cand->contourX;
    int *y = cand->contourY;

    int sx = -1;
    const int sy = clip[2];
    const MvLabel *row = labelImage + (long)sy * xsize;
    for (int i = clip[0]; i <= clip[1]; i++) {
        if (row[i] > 0 && labelTable[row[i] - 1] == label) {
            sx = i;
            break;
        }
    }
    if (sx == -1) {
        mvcore::report(MV_ERROR_ARGUMENT, stdout, "??? 1\n");
        return -1;
    }

    x[0] = sx;
    y[0] = sy;
    int count = 1;
    int d = 5;
    // Each neighbour step as one offset in the label image.
    long offset[8];
    for (int k = 0; k < 8; k++) offset[k] = (long)ydir[k] * xsize + xdir[k];
    for (;;) {
        // Resume three steps counter-clockwise from the last move, so the
        // walk hugs the outside of the component.
        d = (d + 5) % 8;
        const int px = x[count - 1], py = y[count - 1];
        const MvLabel *here = labelImage + (long)py * xsize + px;
        int k;
        for (k = 0; k < 8; k++)
            if (here[offset[(d + k) & 7]] > 0) break;
        if (k == 8) {
            mvcore::report(MV_ERROR_ARGUMENT, stdout, "??? 2\n");
            return -1;
        }
        d = (d + k) % 8;
        x[count] = px + xdir[d];
        y[count] = py + ydir[d];
        if (x[count] == sx && y[count] == sy) break;
        count++;
        if (count == MV_CONTOUR_MAX - 1) {
            mvcore::report(MV_ERROR_CAPACITY, stdout, "??? 3\n");
            return -1;
        }
    }

    int dmax = 0, far = 0;
    for (int i = 1; i < count; i++) {
        int dx = x[i] - x[0], dy = y[i] - y[0];
        int dd = dx * dx + dy * dy;
        if (dd > dmax) {
            dmax = dd;
            far = i;
        }
    }
    for (int i = 0; i < far; i++) {
        wx[i] = x[i];
        wy[i] = y[i];
    }
    for (int i = far; i < count; i++) {
        x[i - far] = x[i];
        y[i - far] = y[i];
    }
    for (int i = 0; i < far; i++) {
        x[count - far + i] = wx[i];
        y[count - far + i] = wy[i];
    }
    x[count] = x[0];
    y[count] = y[0];
    cand->contourCount = count + 1;
    return 0;
}

extern "C" MvMarkerCandidate *mvDetectMarker2(const MvLabel *labelImage,
                                              int labelCount, const int *labelTable,
                                              const int *area, const double *pos,
                                              const int *clip, int areaMax, int areaMin,
                                              double factor, int *count)
{
    int xsize, ysize;
    if (mvImageProcMode == 1) {
        areaMin /= 4;
        areaMax /= 4;
        xsize = mvImXsize / 2;
        ysize = mvImYsize / 2;
    } else {
        xsize = mvImXsize;
        ysize = mvImYsize;
    }

    int n = 0;
    for (int i = 0; i < labelCount; i++) {
        if (area[i] < areaMin || area[i] > areaMax) continue;
        const int *box = &clip[i * 4];
        if (box[0] == 1 || box[1] == xsize - 2 || box[2] == 1 || box[3] == ysize - 2) continue;
        if (mvGetContour(labelImage, labelTable, i + 1, box, &candidate_table[n]) < 0) continue;
        if (check_square(area[i], &candidate_table[n], factor) < 0) continue;
        candidate_table[n].area = area[i];
        candidate_table[n].center[0] = pos[i * 2];
        candidate_table[n].center[1] = pos[i * 2 + 1];
        n++;
        if (n == MV_SQUARE_MAX) break;
    }

    // A square lying on a larger one (a dark square inside a marker's
    // picture, say) goes. Integer division by 4 and the strict comparison
    // decide the borderline cases; on equal areas the earlier one goes.
    for (int i = 0; i < n; i++) {
        for (int j = i + 1; j < n; j++) {
            double dx = candidate_table[i].center[0] - candidate_table[j].center[0];
            double dy = candidate_table[i].center[1] - candidate_table[j].center[1];
            double d2 = dx * dx + dy * dy;
            if (candidate_table[i].area > candidate_table[j].area) {
                if (d2 < candidate_table[i].area / 4) candidate_table[j].area = 0;
            } else {
                if (d2 < candidate_table[j].area / 4) candidate_table[i].area = 0;
            }
        }
    }
    int kept = 0;
    for (int i = 0; i < n; i++) {
        if (candidate_table[i].area == 0) continue;
        if (kept != i) candidate_table[kept] = candidate_table[i];
        kept++;
    }
    n = kept;

    if (mvImageProcMode == 1) {
        for (int i = 0; i < n; i++) {
            MvMarkerCandidate *c = &candidate_table[i];
            c->area *= 4;
            c->center[0] *= 2;
            c->center[1] *= 2;
            for (int k = 0; k < c->contourCount; k++) {
                c->contourX[k] *= 2;
                c->contourY[k] *= 2;
            }
        }
    }
    *count = n;
    return candidate_table;
}
