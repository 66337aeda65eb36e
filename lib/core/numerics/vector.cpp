// Vectors, the Householder reflection and the tridiagonal reduction of a
// symmetric matrix.
#include "morvex/numerics.h"
#include "message.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

extern "C" MvVector *mvVecAlloc(int length)
{
    MvVector *v = (MvVector *)std::malloc(sizeof(MvVector));
    if (v == nullptr) return nullptr;
    v->data = (double *)std::malloc(sizeof(double) * (size_t)length);
    if (v->data == nullptr) {
        std::free(v);
        return nullptr;
    }
    v->length = length;
    return v;
}

extern "C" int mvVecFree(MvVector *v)
{
    std::free(v->data);
    std::free(v);
    return 0;
}

extern "C" double mvVecInnerproduct(const MvVector *x, const MvVector *y)
{
    if (x->length != y->length) {
        // A caller bug with no sensible result; stop loudly rather than
        // return a number computed from a wrong length.
        mvcore::fatal(MV_ERROR_ARGUMENT, stderr,
                      "mvVecInnerproduct: vector lengths differ (%d and %d)\n", x->length,
                      y->length);
    }
    double result = 0.0;
    for (int i = 0; i < x->length; i++) result += x->data[i] * y->data[i];
    return result;
}

extern "C" double mvVecHousehold(MvVector *x)
{
    double s = std::sqrt(mvVecInnerproduct(x, x));
    if (s != 0.0) {
        if (x->data[0] < 0.0) s = -s;
        x->data[0] += s;
        const double t = 1.0 / std::sqrt(x->data[0] * s);
        for (int i = 0; i < x->length; i++) x->data[i] *= t;
    }
    return -s;
}

extern "C" int mvVecTridiagonalize(MvMatrix *a, MvVector *d, MvVector *e)
{
    if (a->cols != a->rows) return -1;
    if (a->cols != d->length) return -1;
    if (a->cols != e->length + 1) return -1;

    const int n = a->rows;
    double *A = a->data;
    double *D = d->data;
    double *E = e->data;

    for (int k = 0; k < n - 2; k++) {
        double *v = &A[k * n];
        D[k] = v[k];

        MvVector tail = {&v[k + 1], n - k - 1};
        E[k] = mvVecHousehold(&tail);
        if (E[k] == 0.0) continue;

        for (int i = k + 1; i < n; i++) {
            double s1 = 0.0;
            for (int j = k + 1; j < i; j++) s1 += A[j * n + i] * v[j];
            double s2 = 0.0;
            for (int j = i; j < n; j++) s2 += A[i * n + j] * v[j];
            D[i] = s1 + s2;
        }

        MvVector dtail = {&D[k + 1], n - k - 1};
        const double t = mvVecInnerproduct(&tail, &dtail) / 2;
        for (int i = n - 1; i > k; i--) {
            const double p = v[i];
            const double q = D[i] - t * p;
            D[i] = q;
            for (int j = i; j < n; j++) A[i * n + j] -= p * D[j] + q * v[j];
        }
    }

    if (n >= 2) {
        D[n - 2] = A[(n - 2) * n + (n - 2)];
        E[n - 2] = A[(n - 2) * n + (n - 1)];
    }
    if (n >= 1) D[n - 1] = A[(n - 1) * n + (n - 1)];

    // Accumulate the reflections into the orthogonal transformation.
    for (int k = n - 1; k >= 0; k--) {
        double *v = &A[k * n];
        if (k < n - 2) {
            MvVector vtail = {&v[k + 1], n - k - 1};
            for (int i = k + 1; i < n; i++) {
                MvVector row = {&A[i * n + k + 1], n - k - 1};
                const double t = mvVecInnerproduct(&vtail, &row);
                for (int j = k + 1; j < n; j++) A[i * n + j] -= t * v[j];
            }
        }
        for (int i = 0; i < n; i++) v[i] = 0.0;
        v[k] = 1.0;
    }
    return 0;
}
