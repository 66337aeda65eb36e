/* Built against an installed Morvex: loads a calibration file and a
 * pattern, prints the camera's size and the pattern's slot. */
#include <morvex.h>
#include <stdio.h>

int main(int argc, char **argv)
{
    MvCameraParam cam;
    if (argc != 3 || mvParamLoad(argv[1], 1, &cam) < 0) return 1;
    printf("camera %d x %d\npattern slot %d\n", cam.xsize, cam.ysize, mvLoadPatt(argv[2]));
    return 0;
}
