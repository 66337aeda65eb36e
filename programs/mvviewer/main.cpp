// mvviewer: live augmented-reality viewer. Tracks the pattern "patt.lumo"
// (or the patterns given) in the capture and draws a 3-D scene on it.
//
// Usage: mvviewer [--pattern FILE[:MM]]... [--side MM] [--camera FILE] [--track]
//                 [capture words...]
//   The capture words, joined by single blanks, are the capture
//   configuration (e.g. -file=clip.avi -loop -nopace); with none the
//   default camera opens. Escape prints the frame rate and quits. With no
//   options the viewer prints and does exactly what it always has.
#include <GL/glut.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "morvex.h"
#include "options.h"
#include "resource.h"
#include "scene.h"
#include "tool_files.h"

static ViewerOptions opts;
static int thresh = 100;
static int count = 0;
static double patt_center[2] = {0.0, 0.0};
static std::vector<int> patt_ids;   // the library's slot of each of opts.patterns
static MvTracker *tracker = nullptr; // --track: the tracker, its ids those of opts.patterns
static int xsize = 0, ysize = 0;
static MvCameraParam cparam;

// A marker to draw the scene on in this frame.
struct Sighting {
    double trans[3][4];
    double side_mm;
};

static void cleanup()
{
    mvTrackerDestroy(tracker);
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

// Finds this frame's markers: the plain detector at a fixed threshold, for
// each pattern its most confident detection (the earliest on ties) and the
// pose from it. False when the frame is too cluttered to analyse.
static bool locate(unsigned char *frame, std::vector<Sighting> *found)
{
    if (tracker != nullptr) {
        // The tracker's poses: for each pattern the most confident marker
        // that has one.
        const MvTrackerMarker *m;
        int n;
        if (mvTrackerProcess(tracker, frame, xsize, ysize, xsize * 4, MV_PIXEL_RGBA, &m, &n) != 0) return false;
        for (size_t p = 0; p < opts.patterns.size(); p++) {
            int k = -1;
            for (int j = 0; j < n; j++)
                if (m[j].id == (int)p && m[j].hasPose && (k == -1 || m[k].confidence < m[j].confidence)) k = j;
            if (k == -1) continue;
            Sighting s;
            s.side_mm = m[k].widthMm;
            std::copy(&m[k].pose[0][0], &m[k].pose[0][0] + 12, &s.trans[0][0]);
            found->push_back(s);
        }
        return true;
    }
    MvMarkerInfo *marker_info;
    int marker_num;
    if (mvDetectMarker(frame, thresh, &marker_info, &marker_num) < 0) return false;
    for (size_t p = 0; p < patt_ids.size(); p++) {
        int k = -1;
        for (int j = 0; j < marker_num; j++) {
            if (marker_info[j].id != patt_ids[p]) continue;
            if (k == -1 || marker_info[k].confidence < marker_info[j].confidence) k = j;
        }
        if (k == -1) continue;
        Sighting s;
        s.side_mm = opts.patterns[p].side_mm;
        mvGetTransMat(&marker_info[k], patt_center, s.side_mm, s.trans);
        found->push_back(s);
    }
    return true;
}

static void mainLoop()
{
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

    // A frame too cluttered to analyse is shown as video alone; the next
    // one may be fine.
    std::vector<Sighting> found;
    const bool analysed = locate(dataPtr, &found);
    mvVideoCapNext();
    // The scene is drawn to each marker's size; the fountain moves once a
    // frame, with the last marker drawn.
    for (size_t i = 0; analysed && i < found.size(); i++)
        drawOn(found[i].trans, found[i].side_mm / kDefaultSideMm, i + 1 == found.size());
    mvgSwapBuffers();
}

// The bundled folder's lookups print as they always have; files the user
// named are loaded as given.
static void init()
{
    MvCameraParam wparam;
    char path[kPathBufferSize] = "";

    last_frame = now();

    if (mvVideoOpen(opts.capture.c_str()) < 0) exit(1);
    if (mvVideoInqSize(&xsize, &ysize) < 0) exit(1);
    printf("Image size (x,y) = (%d,%d)\n", xsize, ysize);

    bool bundled = opts.camera.empty();
    for (const ViewerPattern &p : opts.patterns) bundled = bundled || p.path.empty();
    std::string bundle;
    if (bundled) {
        printf("trying to get the bundle: ");
        bundle = mainBundle();
        printf("got the bundle.\n");
    }

    std::string camera = opts.camera;
    if (camera.empty()) {
        findResource(bundle, "camera_para.dat",
                     "loading camera parameters from file: %s\n",
                     "whoohoo. loading camera parameters from file: %s\n", path);
        camera = path;
    } else {
        printf("loading camera parameters from file: %s\n", camera.c_str());
    }
    // A record that cannot be right is refused here, naming its field.
    std::string why;
    if (!mvtool::loadCamera(camera, &wparam, &why)) {
        printf("%s\n", why.c_str());
        printf("Camera parameter load error !!\n");
        exit(1);
    }
    mvParamChangeSize(&wparam, xsize, ysize, &cparam);
    mvInitCparam(&cparam);
    printf("*** Camera Parameter ***\n");
    mvParamDisp(&cparam);

    for (const ViewerPattern &p : opts.patterns) {
        std::string file = p.path;
        if (file.empty()) {
            findResource(bundle, "patt.lumo", "loading pattern from file: %s\n",
                         "whoohoo. loading pattern from file: %s\n", path);
            file = path;
            if (opts.side_given) printf("marker side %g mm\n", p.side_mm);
        } else {
            printf("loading pattern from file: %s, marker side %g mm\n", file.c_str(), p.side_mm);
        }
        if (!mvtool::checkPatternFile(file, &why)) {
            printf("%s\n", why.c_str());
            printf("pattern load error !!\n");
            exit(1);
        }
        const int id = mvLoadPatt(file.c_str());
        if (id < 0) {
            printf("pattern load error !!\n");
            exit(1);
        }
        patt_ids.push_back(id);
        if (opts.track) {
            // The same files, once more, for the tracker (ids 0, 1, ... in order).
            char failure[MV_MESSAGE_MAX];
            if ((tracker == nullptr && mvTrackerCreate(&cparam, nullptr, &tracker, failure) != MV_ERROR_NONE) ||
                mvTrackerAddPatternFile(tracker, file.c_str(), p.side_mm, nullptr) != MV_ERROR_NONE) {
                printf("%s\n", tracker ? mvTrackerErrorText(tracker) : failure);
                exit(1);
            }
        }
    }

    InitParticle();

    mvgInit(&cparam, 2.0, 0, 0, 0, 0);
}

int main(int argc, char **argv)
{
    std::string error;
    if (!parseOptions(argc, argv, &opts, &error)) {
        fprintf(stderr, "mvviewer: %s\n", error.c_str());
        return 1;
    }
    if (opts.help) {
        fputs(kViewerUsage, stdout);
        mvVideoDispOption();
        return 0;
    }
    init();
    mvVideoCapStart();
    mvgMainLoop(nullptr, keyEvent, mainLoop);
    return 0;
}
