/* Compiled as C99: proves the public header is valid C and that the core
   library's functions and globals link into a C program under their plain
   names. Exit status 0 when every check holds. */
#include "morvex.h"

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
    MvMatrix *a = mvMatrixAlloc(2, 2);

    check(sizeof(MvCameraParam) == 136, "camera record is 136 bytes");
    check(mvParamChangeSize(&cam, 320, 240, &half) == 0 && mvInitCparam(&half) == 0, "rescale");
    check(mvImXsize == 320 && mvImYsize == 240 && mvParam.projection[0][0] == 350.0, "active camera");
    check(a != NULL && a->rows == 2, "matrix allocation");
    if (a != NULL) mvMatrixFree(a);
    mvSetErrorPrinting(0);
    check(mvLoadPatt("/nonexistent/none.lumo") < 0 && mvLastError() == MV_ERROR_NOT_FOUND &&
              mvLastErrorText()[0] == '"',
          "last error");
    {
        /* The tracker from C: a blank frame gives no markers, a bad stride a code. */
        MvTracker *t = NULL;
        static unsigned char grey[40 * 30];
        const MvTrackerMarker *m = NULL;
        int n = -1;
        check(mvTrackerCreate(&cam, NULL, &t, NULL) == MV_ERROR_NONE && t != NULL, "tracker");
        check(mvTrackerProcess(t, grey, 40, 30, 40, MV_PIXEL_GREY, &m, &n) == MV_ERROR_NONE && n == 0,
              "tracker frame");
        check(mvTrackerProcess(t, grey, 40, 30, 39, MV_PIXEL_GREY, &m, &n) == MV_ERROR_ARGUMENT &&
                  mvTrackerErrorText(t)[0] != '\0',
              "tracker refusal");
        mvTrackerDestroy(t);
    }
    return failures == 0 ? 0 : 1;
}
