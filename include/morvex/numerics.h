/* morvex/numerics.h - heap matrices and vectors, PCA, stopwatch, transforms.
 *
 *     MvMatrix *m = mvMatrixAlloc(3, 3);          // NULL when out of memory
 *     ... fill m->data (row-major) ...
 *     if (mvMatrixSelfInv(m) < 0) ...;            // singular: contents unusable
 *     mvMatrixFree(m);
 *
 * Results are 0 for success and -1 for failure unless stated otherwise; a
 * -1 from a dimension check leaves every output untouched. No operation here
 * keeps state between calls except the stopwatch (and the working storage
 * mvMatrixPCA keeps for reuse, which no result depends on).
 */
#ifndef MORVEX_NUMERICS_H
#define MORVEX_NUMERICS_H

#ifdef __cplusplus
extern "C" {
#endif

/* A heap matrix of doubles, row-major: element (r, c) is data[r * cols + c]. */
typedef struct {
    double *data;
    int rows;
    int cols;
} MvMatrix;

/* A vector of doubles; either owned (from mvVecAlloc) or a view into
   another array, which is never passed to mvVecFree. */
typedef struct {
    double *data;
    int length;
} MvVector;

/* A new rows x cols matrix, elements uninitialised. Caller frees with
   mvMatrixFree. NULL when out of memory. */
MvMatrix *mvMatrixAlloc(int rows, int cols);
/* Frees the elements, then the record. Returns 0. */
int mvMatrixFree(MvMatrix *m);
/* Copies all elements of source into dest; -1 unless the sizes agree. */
int mvMatrixDup(MvMatrix *dest, const MvMatrix *source);
/* A new copy of source; caller frees with mvMatrixFree. NULL when out of
   memory. */
MvMatrix *mvMatrixAllocDup(const MvMatrix *source);
/* dest = a b. dest must be a record distinct from a and b (it is written
   while a and b are read). -1 when a->cols != b->rows or dest is not
   a->rows x b->cols. */
int mvMatrixMul(MvMatrix *dest, const MvMatrix *a, const MvMatrix *b);
/* Inverts a square matrix in place (Gauss-Jordan, partial pivoting). -1 when
   a pivot of magnitude at most 1e-10 turns up (the contents are then partly
   transformed and must not be used), or when the matrix has more than 50
   rows. A 1x1 matrix is never reported singular (0 gives an infinity). */
int mvMatrixSelfInv(MvMatrix *m);

/* A new vector of `length` uninitialised elements. Caller frees with
   mvVecFree. NULL when out of memory. */
MvVector *mvVecAlloc(int length);
/* Frees the elements, then the record; never pass a view. Returns 0. */
int mvVecFree(MvVector *v);
/* Sum of x[i] y[i] in index order, 0.0 for empty vectors. Vectors of
   different lengths are a programming error: a message goes to standard
   error and the process ends with status 1. */
double mvVecInnerproduct(const MvVector *x, const MvVector *y);
/* Turns x in place into the Householder vector v (v.v = 2) of the
   reflection I - v v^T that maps the entry x onto (-s, 0, ..., 0) with
   |s| = |x|, and returns -s. A zero x is left as it is and -0.0 returned. */
double mvVecHousehold(MvVector *x);
/* Householder reduction of a symmetric n x n matrix to tridiagonal form.
   Reads the upper triangle of a; on return d (length n) holds the diagonal,
   e (length n-1) the off-diagonal, and a the orthogonal Q with
   A = Q^T T Q. -1 on a size mismatch. */
int mvVecTridiagonalize(MvMatrix *a, MvVector *d, MvVector *e);

/* Principal component analysis of the n x m input (one sample per row,
   n > 1, m > 1, r = min(n, m)), which is not modified. Out: evec (r x m),
   the unit principal axes as rows in descending order of variance; ev
   (length r), each axis's share of the total variance; mean (length m).
   Axes whose variance is below 1e-16 come out as zero rows with share 0.
   -1 on a size mismatch or when out of memory. When all samples are equal
   the shares are 0/0 (not-a-number) and the result is still 0. Keeps a
   working copy as large as the largest input so far for the next call
   (process-wide, not thread-safe). */
int mvMatrixPCA(const MvMatrix *input, MvMatrix *evec, MvVector *ev, MvVector *mean);

/* Stopwatch: seconds since the last reset, in steps of 0.001. Before any
   reset it counts from the clock's epoch. Process-wide, not thread-safe. */
void mvUtilTimerReset(void);
double mvUtilTimer(void);
/* Sleeps n microseconds; n <= 0 returns at once. */
void mvUtilSleep(int n);

/* 3x4 transforms (double[3][4], row-major, read as 4x4 with last row
   0 0 0 1; translation in millimetres). Quaternions are double[4] in the
   order x, y, z, w (w the scalar part); positions double[3]. The matrix of
   a quaternion here is the transpose of the rotation the same quaternion
   describes in the usual Hamilton convention (the rotation of its
   conjugate). */

/* d = s1 s2. d must not be s1 or s2. Returns 0. */
int mvUtilMatMul(const double s1[3][4], const double s2[3][4], double d[3][4]);
/* d = inverse of s; s and d may be the same array. Returns 0; -1 when out of
   memory (d untouched). A singular s is not reported: d then holds
   unusable values. */
int mvUtilMatInv(const double s[3][4], double d[3][4]);
/* Quaternion q (x, y, z, w with w >= 0) and position p of m. Half turns,
   such as a marker facing the camera, give a finite q too. -1 when
   m[0][0] + m[1][1] + m[2][2] + 1 is clearly negative, so m holds no
   rotation (q, p untouched); else 0. */
int mvUtilMat2QuatPos(const double m[3][4], double q[4], double p[3]);
/* The transform of quaternion q (expected of unit length) and position p.
   Returns 0. */
int mvUtilQuatPos2Mat(const double q[4], const double p[3], double m[3][4]);

#ifdef __cplusplus
}
#endif

#endif
