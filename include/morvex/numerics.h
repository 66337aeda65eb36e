/* morvex/numerics.h - heap matrices and vectors, PCA, stopwatch, transforms. */
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

/* Stopwatch: seconds since the last reset, in steps of 0.001. Before any
   reset it counts from the clock's epoch. Process-wide, not thread-safe. */
void mvUtilTimerReset(void);
double mvUtilTimer(void);
/* Sleeps n microseconds (n below 1000000). */
void mvUtilSleep(int n);

#ifdef __cplusplus
}
#endif

#endif
