/* Built against an installed Morvex: loads a calibration file and a
 * pattern, prints the camera's size and the pattern's slot, and tracks a
 * blank frame with a tracker. */
#include <morvex.h>
#include <stdio.h>

int main(int argc, char **argv)
{
    MvCameraParam cam;
    if (argc != 3 || mvParamLoad(argv[1], 1, &cam) < 0) return 1;
    printf("camera %d x %d\npattern slot %d\n", cam.xsize, cam.ysize, mvLoadPatt(argv[2]));
    MvTracker *t;
    static unsigned char grey[64 * 48];
    const MvTrackerMarker *m;
    int n = -1;
    if (mvTrackerCreate(&cam, NULL, &t, NULL) != MV_ERROR_NONE || mvTrackerAddPatternFile(t, argv[2], 45.0, NULL) ||
        mvTrackerProcess(t, grey, 64, 48, 64, MV_PIXEL_GREY, &m, &n) != MV_ERROR_NONE)
        return 1;
    printf("tracked %d markers\n", n);
    mvTrackerDestroy(t);
    return 0;
}
