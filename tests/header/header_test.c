/* Compiled as C99: proves the public header is valid C and that the core
   library links into a C program. Exit status 0 when every check holds. */
#include "morvex.h"

#include <math.h>
#include <stdio.h>

static int failures = 0;

static void check(int ok, const char *what)
{
    if (!ok) {
        fprintf(stderr, "failed: %s\n", what);
        failures++;
    }
}

int main(void)
{
    MvCameraParam cam = {640, 480,
                         {{700.0, 0.0, 318.5, 0.0}, {0.0, 700.0, 241.0, 0.0}, {0.0, 0.0, 1.0, 0.0}},
                         {321.0, 238.5, 40.0, 1.0}};
    MvCameraParam half;
    double ix, iy, ox, oy;
    MvMatrix *a = mvMatrixAlloc(2, 2);

    check(sizeof(MvCameraParam) == 136, "camera record is 136 bytes");
    check(mvParamChangeSize(&cam, 320, 240, &half) == 0 && half.projection[0][0] == 350.0, "rescale");
    check(mvInitCparam(&half) == 0 && mvImXsize == 320 && mvImYsize == 240, "active camera");
    mvParamObserv2Ideal(mvParam.distortion, 10.0, 20.0, &ix, &iy);
    mvParamIdeal2Observ(mvParam.distortion, ix, iy, &ox, &oy);
    check(fabs(ox - 10.0) < 1e-6 && fabs(oy - 20.0) < 1e-6, "distortion round trip");
    check(a != NULL, "matrix allocation");
    if (a != NULL) {
        a->data[0] = 0, a->data[1] = 2, a->data[2] = 4, a->data[3] = 0;
        check(mvMatrixSelfInv(a) == 0 && a->data[1] == 0.25 && a->data[2] == 0.5, "2x2 inverse");
        mvMatrixFree(a);
    }
    mvSetErrorPrinting(0);
    check(mvLoadPatt("/nonexistent/none.lumo") < 0 && mvLastError() == MV_ERROR_NOT_FOUND &&
              mvLastErrorText()[0] == '"',
          "last error");
    return failures == 0 ? 0 : 1;
}
