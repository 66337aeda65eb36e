#include "live.h"


#include "morvex/camera.h"
#include "morvex/display.h"
#include "morvex/video.h"

#include <GL/freeglut.h>

#include <cstdio>
#include <cstring>

namespace mvcalib {

namespace {

// GLUT's callbacks take no context: the one capture session lives here.
struct Session {
    MvVideoHandle *video = nullptr;
    Board board;
    int width = 0, height = 0, min_views = 0;
    mvtool::Image frame;
    std::vector<Point> corners;   // found in the frame on screen (empty: none)
    bool found = false, done = false;
    std::vector<View> *views = nullptr;
    std::string error;
} s;

void finish(bool ok, const std::string &error)
{
    s.done = ok;
    s.error = error;
    glutLeaveMainLoop();
}

void on_key(unsigned char key, int, int)
{
    if (key == ' ' || key == 'c') {
        if (!s.found) {
            std::printf("no board in this frame: view not taken\n");
            return;
        }
        s.views->push_back({"live view " + std::to_string(s.views->size() + 1), s.corners});
        std::printf("view %zu taken\n", s.views->size());
    } else if (key == '\r' || key == '\n' || key == 'q') {
        if ((int)s.views->size() < s.min_views)
            std::printf("%zu view(s) so far, at least %d needed (Escape gives up)\n", s.views->size(), s.min_views);
        else
            finish(true, "");
    } else if (key == 0x1b) {
        finish(false, "given up with Escape: nothing written");
    }
}

void on_frame()
{
    unsigned char *data = mv2VideoGetImage(s.video);
    if (!data) {
        if (mv2VideoInqEnded(s.video) == 1) {
            if ((int)s.views->size() >= s.min_views)
                finish(true, "");
            else
                finish(false, "the capture ended with " + std::to_string(s.views->size()) + " view(s)");
        }
        return;
    }
    std::memcpy(s.frame.pixels.data(), data, s.frame.pixels.size());
    mv2VideoCapNext(s.video);
    s.found = findCorners(s.frame, s.board, &s.corners, true);
    if (!s.found) s.corners.clear();
    mvgDrawMode2D();
    mvgDispImage(s.frame.pixels.data(), 0, 0);
    glLineWidth(2.0f);
    glColor3f(0.1f, 1.0f, 0.2f);
    for (const Point &p : s.corners) {
        mvgLineSeg(p.x - 4, p.y, p.x + 4, p.y, 0, 0);
        mvgLineSeg(p.x, p.y - 4, p.x, p.y + 4, 0, 0);
    }
    mvgSwapBuffers();
}

}  // namespace

bool captureViews(const std::string &config, const Board &board, int min_views, std::vector<View> *views,
                  int *width, int *height, std::string *error)
{
    // At the source's own size unless the words scale it: a camera file
    // for another size would be rescaled, and lose precision, later.
    MvVideoConfig video;
    mvVideoConfigInit(&video);
    const char *word = nullptr;
    int length = 0;
    if (mvVideoParseConfig(config.c_str(), &video, nullptr, &word, &length) < 0) {
        *error = "capture word \"" + std::string(word, length) + "\" not understood";
        return false;
    }
    MvVideoSourceInfo info;
    mvVideoProbe(&video, &info);
    mvVideoConfigAtSourceSize(&video, &info);
    s.video = mv2VideoOpenConfig(&video);
    if (s.video == nullptr || mv2VideoInqSize(s.video, &s.width, &s.height) < 0) {
        *error = "cannot open the capture '" + config + "'";
        return false;
    }
    s.board = board;
    s.min_views = min_views;
    s.views = views;
    s.frame.width = s.width;
    s.frame.height = s.height;
    s.frame.channels = 4;
    s.frame.pixels.assign((size_t)s.width * s.height * 4, 0);
    MvCameraParam cam;
    std::memset(&cam, 0, sizeof cam);
    cam.xsize = s.width;
    cam.ysize = s.height;
    cam.projection[0][0] = cam.projection[1][1] = s.width;
    cam.projection[0][2] = s.width / 2.0;
    cam.projection[1][2] = s.height / 2.0;
    cam.projection[2][2] = 1.0;
    cam.distortion[0] = s.width / 2.0;
    cam.distortion[1] = s.height / 2.0;
    cam.distortion[3] = 1.0;   // no lens yet: the frame as it comes
    std::printf("space: take the view shown (when its corners show), Enter: calibrate, Escape: give up\n");
    mvgInit(&cam, 1.0, 0, 0, 0, 0);
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_GLUTMAINLOOP_RETURNS);
    mv2VideoCapStart(s.video);
    mvgMainLoop(nullptr, on_key, on_frame);
    mv2VideoCapStop(s.video);
    mv2VideoClose(s.video);
    s.video = nullptr;
    *width = s.width;
    *height = s.height;
    if (!s.done) *error = s.error.empty() ? "the window was closed: nothing written" : s.error;
    return s.done;
}

}  // namespace mvcalib
