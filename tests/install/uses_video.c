/* Built against an installed Morvex with its capture and display: opens a
 * video file and detects squares in its first frame. The display library
 * is only linked (no window unless a fifth argument asks for one). */
#include <morvex.h>
#include <stdio.h>

int main(int argc, char **argv)
{
    char config[600];
    MvCameraParam file_cam, cam;
    MvMarkerInfo *markers;
    unsigned char *frame = NULL;
    int w, h, n, tries;
    if (argc < 4) return 2;
    if (argc > 4) mvgSwapBuffers();
    snprintf(config, sizeof config, "-file=%s -nopace", argv[3]);
    if (mvParamLoad(argv[1], 1, &file_cam) < 0 || mvLoadPatt(argv[2]) < 0 ||
        mvVideoOpen(config) < 0 || mvVideoInqSize(&w, &h) < 0)
        return 1;
    mvParamChangeSize(&file_cam, w, h, &cam);
    mvInitCparam(&cam);
    mvVideoCapStart();
    for (tries = 0; frame == NULL && tries < 100 && mvVideoInqEnded() == 0; tries++)
        frame = mvVideoGetImage();
    if (frame == NULL || mvDetectMarker(frame, 100, &markers, &n) < 0) return 1;
    printf("frame %d x %d, %d squares\n", w, h, n);
    mvVideoCapStop();
    mvVideoClose();
    return 0;
}
