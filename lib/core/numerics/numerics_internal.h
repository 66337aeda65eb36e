// numerics_internal.h - numerical steps for the core's own callers, with
// storage the caller provides so that repeated calls allocate nothing.
#ifndef MORVEX_NUMERICS_INTERNAL_H
#define MORVEX_NUMERICS_INTERNAL_H

#include "morvex/numerics.h"

namespace mvcore {

// mvMatrixPCA with the centred copy of the input in `copy` (rows x cols
// doubles of the caller's). Same results and checks.
int matrix_pca(const MvMatrix *input, MvMatrix *evec, MvVector *ev, MvVector *mean,
               double *copy);

}  // namespace mvcore

#endif
