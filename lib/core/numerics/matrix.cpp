// Heap matrices: allocation, copy, product and in-place inversion.
#include "morvex/numerics.h"

#include <cmath>
#include <cstdlib>

// The pivot record of minv lives on the stack with room for this many rows.
static constexpr int kMinvMaxDim = 50;

extern "C" MvMatrix *mvMatrixAlloc(int rows, int cols)
{
    MvMatrix *m = (MvMatrix *)std::malloc(sizeof(MvMatrix));
    if (m == nullptr) return nullptr;
    m->data = (double *)std::malloc(sizeof(double) * (size_t)rows * (size_t)cols);
    if (m->data == nullptr) {
        std::free(m);
        return nullptr;
    }
    m->rows = rows;
    m->cols = cols;
    return m;
}

extern "C" int mvMatrixFree(MvMatrix *m)
{
    std::free(m->data);
    std::free(m);
    return 0;
}

extern "C" int mvMatrixDup(MvMatrix *dest, const MvMatrix *source)
{
    if (dest->rows != source->rows || dest->cols != source->cols) return -1;
    const int n = source->rows * source->cols;
    for (int i = 0; i < n; i++) dest->data[i] = source->data[i];
    return 0;
}

extern "C" MvMatrix *mvMatrixAllocDup(const MvMatrix *source)
{
    MvMatrix *dest = mvMatrixAlloc(source->rows, source->cols);
    if (dest == nullptr) return nullptr;
    if (mvMatrixDup(dest, source) < 0) {
        mvMatrixFree(dest);
        return nullptr;
    }
    return dest;
}

extern "C" int mvMatrixMul(MvMatrix *dest, const MvMatrix *a, const MvMatrix *b)
{
    if (a->cols != b->rows) return -1;
    if (dest->rows != a->rows) return -1;
    if (dest->cols != b->cols) return -1;

    double *out = dest->data;
    for (int r = 0; r < a->rows; r++) {
        for (int c = 0; c < b->cols; c++) {
            *out = 0.0;
            const double *p1 = &a->data[r * a->cols];
            const double *p2 = &b->data[c];
            for (int i = 0; i < a->cols; i++) {
                *out += *p1 * *p2;
                p1++;
                p2 += b->cols;
            }
            out++;
        }
    }
    return 0;
}

// Gauss-Jordan inversion in place, in a shifted layout: at every step each
// row moves one place left and the freed last place takes the new column of
// the inverse, so the column under elimination is always storage column 0.
// `rowa` is the row stride in elements. NULL on a pivot of magnitude at most
// 1e-10 (the matrix is then part-way transformed) or a dimension the pivot
// record cannot hold.
static double *minv(double *ap, int dimen, int rowa)
{
    int nos[kMinvMaxDim];

    if (dimen <= 0 || dimen > kMinvMaxDim) return nullptr;
    if (dimen == 1) {
        *ap = 1.0 / (*ap);
        return ap;
    }

    for (int n = 0; n < dimen; n++) nos[n] = n;

    for (int n = 0; n < dimen; n++) {
        // Pivot: the largest |a[i][0]|; of equal magnitudes the lowest row.
        double p = 0.0;
        int ip = n;
        for (int i = n; i < dimen; i++) {
            const double w = std::fabs(ap[i * rowa]);
            if (p < w) {
                p = w;
                ip = i;
            }
        }
        if (p <= 1.0e-10) return nullptr;

        int tmp = nos[n];
        nos[n] = nos[ip];
        nos[ip] = tmp;
        for (int j = 0; j < dimen; j++) {
            const double w = ap[n * rowa + j];
            ap[n * rowa + j] = ap[ip * rowa + j];
            ap[ip * rowa + j] = w;
        }

        double *pivot = &ap[n * rowa];
        double w = pivot[0];
        for (int j = 1; j < dimen; j++) pivot[j - 1] = pivot[j] / w;
        pivot[dimen - 1] = 1.0 / w;

        for (int i = 0; i < dimen; i++) {
            if (i == n) continue;
            double *row = &ap[i * rowa];
            w = row[0];
            for (int j = 1; j < dimen; j++) row[j - 1] = row[j] - w * pivot[j - 1];
            row[dimen - 1] = -w * pivot[dimen - 1];
        }
    }

    // Undo the row exchanges as column exchanges of the inverse.
    for (int n = 0; n < dimen; n++) {
        int j = n;
        while (j < dimen && nos[j] != n) j++;
        if (j == dimen) continue;  // cannot happen: nos is a permutation
        nos[j] = nos[n];
        for (int i = 0; i < dimen; i++) {
            const double w = ap[i * rowa + j];
            ap[i * rowa + j] = ap[i * rowa + n];
            ap[i * rowa + n] = w;
        }
    }
    return ap;
}

extern "C" int mvMatrixSelfInv(MvMatrix *m)
{
    // Callers pass square matrices; cols is not examined.
    if (minv(m->data, m->rows, m->rows) == nullptr) return -1;
    return 0;
}
