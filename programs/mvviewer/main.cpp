// mvviewer: live augmented-reality viewer. Tracks the pattern "patt.lumo"
// in the capture and draws a 3-D scene on it.
//
// Usage: mvviewer [capture words...]
//   The words, joined by single blanks, are the capture configuration
//   (e.g. -file=clip.avi -loop -nopace); with none the default camera opens.
//   Escape prints the frame rate and quits.
#include <GL/glut.h>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "morvex.h"
#include "resource.h"
#include "scene.h"
#include "tool_files.h"

static std::string vconf;  // capture configuration from the command line
static int thresh = 100;
static int count = 0;
static double patt_width = 45.0;
static double patt_center[2] = {0.0, 0.0};
static int patt_id = 0;
static int xsize = 0, ysize = 0;
static MvCameraParam cparam;

static void cleanup()
{
    mvVideoCapStop();
    mvVideoClose();
    mvgCleanup();
}

static void keyEvent(unsigned char key, int x, int y)
{
    (void)x;
    (void)y;
    if (key == 0x1b) {
        printf("*** %f (frame/sec)\n", (double)count / mvUtilTimer());
        cleanup();
        exit(0);
    }
}

static void mainLoop()
{
    MvMarkerInfo *marker_info;
    int marker_num;
    double patt_trans[3][4];

    unsigned char *dataPtr = mvVideoGetImage();
    if (dataPtr == nullptr) {
        // No new frame: what is on screen stays. A file that has run dry
        // will never deliver one, so wait a frame's time there rather than
        // spinning a core until Escape.
        mvUtilSleep(mvVideoInqEnded() == 1 ? 20000 : 2);
        return;
    }
    if (count == 0) mvUtilTimerReset();
    count++;

    mvgDrawMode2D();
    mvgDispImage(dataPtr, 0, 0);

    if (mvDetectMarker(dataPtr, thresh, &marker_info, &marker_num) < 0) {
        // A frame too cluttered to analyse is shown as video alone; the
        // next one may be fine.
        mvVideoCapNext();
        mvgSwapBuffers();
        return;
    }
    mvVideoCapNext();

    // The most confident detection of our pattern; the earliest on ties.
    int k = -1;
    for (int j = 0; j < marker_num; j++) {
        if (marker_info[j].id != patt_id) continue;
        if (k == -1 || marker_info[k].confidence < marker_info[j].confidence) k = j;
    }
    if (k == -1) {
        mvgSwapBuffers();
        return;
    }

    mvGetTransMat(&marker_info[k], patt_center, patt_width, patt_trans);
    draw(patt_trans);
    mvgSwapBuffers();
}

static void init()
{
    MvCameraParam wparam;
    char path[kPathBufferSize] = "";

    last_frame = now();

    if (mvVideoOpen(vconf.c_str()) < 0) exit(1);
    if (mvVideoInqSize(&xsize, &ysize) < 0) exit(1);
    printf("Image size (x,y) = (%d,%d)\n", xsize, ysize);

    printf("trying to get the bundle: ");
    const std::string bundle = mainBundle();
    printf("got the bundle.\n");

    findResource(bundle, "camera_para.dat",
                 "loading camera parameters from file: %s\n",
                 "whoohoo. loading camera parameters from file: %s\n", path);
    // A record that cannot be right is refused here, naming its field.
    std::string why;
    if (!mvtool::loadCamera(path, &wparam, &why)) {
        printf("%s\n", why.c_str());
        printf("Camera parameter load error !!\n");
        exit(1);
    }
    mvParamChangeSize(&wparam, xsize, ysize, &cparam);
    mvInitCparam(&cparam);
    printf("*** Camera Parameter ***\n");
    mvParamDisp(&cparam);

    findResource(bundle, "patt.lumo", "loading pattern from file: %s\n",
                 "whoohoo. loading pattern from file: %s\n", path);
    if (!mvtool::checkPatternFile(path, &why)) {
        printf("%s\n", why.c_str());
        printf("pattern load error !!\n");
        exit(1);
    }
    if ((patt_id = mvLoadPatt(path)) < 0) {
        printf("pattern load error !!\n");
        exit(1);
    }

    InitParticle();

    mvgInit(&cparam, 2.0, 0, 0, 0, 0);
}

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; i++) {
        if (i > 1) vconf += ' ';
        vconf += argv[i];
    }
    init();
    mvVideoCapStart();
    mvgMainLoop(nullptr, keyEvent, mainLoop);
    return 0;
}
