/* Built against an installed Morvex: loads a calibration file and a
 * pattern, prints the camera and the pattern's slot. */
#include <morvex.h>
#include <stdio.h>

int main(int argc, char **argv)
{
    MvCameraParam cam;
    if (argc != 3) {
        fprintf(stderr, "usage: uses_core CAMERA_PARA.dat PATTERN\n");
        return 2;
    }
    if (mvParamLoad(argv[1], 1, &cam) < 0) {
        fprintf(stderr, "cannot load %s\n", argv[1]);
        return 1;
    }
    mvParamDisp(&cam);
    printf("camera %d x %d\n", cam.xsize, cam.ysize);
    printf("pattern slot %d\n", mvLoadPatt(argv[2]));
    return 0;
}
