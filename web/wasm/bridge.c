/* What the JavaScript module needs beyond the public C interface: the
   layout of the records it reads and writes in the module's memory (so that
   no offset is written twice, in C and in JS), and the camera file's loader
   without its variadic arguments, which JavaScript cannot pass. */
#include <stddef.h>

#include "morvex/camera.h"
#include "morvex/tracker.h"

#include <emscripten/emscripten.h>

/* The fields' offsets, in the order the module's LAYOUT names them. */
EMSCRIPTEN_KEEPALIVE int mvwebLayout(int *out, int room)
{
    const int values[] = {
        (int)sizeof(MvTrackerMarker),
        (int)offsetof(MvTrackerMarker, id),
        (int)offsetof(MvTrackerMarker, family),
        (int)offsetof(MvTrackerMarker, direction),
        (int)offsetof(MvTrackerMarker, confidence),
        (int)offsetof(MvTrackerMarker, area),
        (int)offsetof(MvTrackerMarker, center),
        (int)offsetof(MvTrackerMarker, corners),
        (int)offsetof(MvTrackerMarker, cornersIdeal),
        (int)offsetof(MvTrackerMarker, edgeLines),
        (int)offsetof(MvTrackerMarker, hasPose),
        (int)offsetof(MvTrackerMarker, pose),
        (int)offsetof(MvTrackerMarker, poseError),
        (int)offsetof(MvTrackerMarker, widthMm),
        (int)sizeof(MvCameraParam),
        (int)offsetof(MvCameraParam, projection),
        (int)offsetof(MvCameraParam, distortion),
        (int)sizeof(MvTrackerSettings),
        (int)offsetof(MvTrackerSettings, threshold),
        (int)offsetof(MvTrackerSettings, refine),
        (int)offsetof(MvTrackerSettings, history),
        (int)offsetof(MvTrackerSettings, halfResolution),
        (int)offsetof(MvTrackerSettings, greyMatching),
        (int)offsetof(MvTrackerSettings, maxMarkers),
        (int)sizeof(MvTrackerStats),
        (int)offsetof(MvTrackerStats, frames),
        (int)offsetof(MvTrackerStats, detectSeconds),
        (int)offsetof(MvTrackerStats, poseSeconds),
    };
    const int n = (int)(sizeof values / sizeof values[0]);
    for (int i = 0; i < n && i < room; i++) out[i] = values[i];
    return n;
}

/* One camera record from a file; 0, or -1 with the reason in
   mvLastErrorText. */
EMSCRIPTEN_KEEPALIVE int mvwebLoadCamera(const char *path, MvCameraParam *camera)
{
    return mvParamLoad(path, 1, camera);
}
