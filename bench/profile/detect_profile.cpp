// detect_profile - a plain loop of detection plus pose on two rendered
// frames (640 x 480 and 1920 x 1080, one marker each), for instruction
// profiles that repeat exactly on a busy machine:
//
//     cd build/bin && valgrind --tool=callgrind ./detect_profile 50 [width [half]]
//
// With a width (640 or 1920) only that frame runs; "half" detects at half
// resolution.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "morvex/camera.h"
#include "morvex/detect.h"
#include "morvex/pattern.h"
#include "morvex/pose.h"
#include "render.h"

namespace {

bool render_at(const render::Image &marker, int w, int h, render::Image *frame)
{
    MvCameraParam full, cam;
    if (mvParamLoad("resources/camera_para.dat", 1, &full) < 0) return false;
    mvParamChangeSize(&full, w, h, &cam);
    mvInitCparam(&cam);
    double trans[3][4];
    render::poseAt(cam, w * 0.45, h * 0.55, 500.0 * w / 640, 25.0, 30.0, trans);
    render::Options opt;
    opt.supersample = 2;
    render::renderFrame(marker, 80.0, trans, cam, opt, frame);
    return true;
}

// Detection and the pose of every identified marker, `loops` times; the
// number of poses found.
int run(const render::Image &frame, int loops)
{
    const double centre[2] = {0.0, 0.0};
    int poses = 0;
    for (int n = 0; n < loops; n++) {
        MvMarkerInfo *list;
        int count = 0;
        mvDetectMarker(frame.pixels.data(), 100, &list, &count);
        for (int k = 0; k < count; k++) {
            double trans[3][4];
            if (list[k].id >= 0 && mvGetTransMat(&list[k], centre, 80.0, trans) >= 0.0)
                poses++;
        }
    }
    return poses;
}

}  // namespace

int main(int argc, char **argv)
{
    const int loops = argc > 1 ? std::atoi(argv[1]) : 50;
    const int only = argc > 2 ? std::atoi(argv[2]) : 0;
    mvImageProcMode = argc > 3 && std::string(argv[3]) == "half" ? 1 : 0;
    render::Image marker;
    std::string err;
    if (!mvtool::readImage("resources/marker.png", &marker, &err) ||
        mvLoadPatt("resources/patt.lumo") < 0) {
        std::fprintf(stderr, "run from build/bin: %s\n", err.c_str());
        return 1;
    }
    const int sizes[2][2] = {{640, 480}, {1920, 1080}};
    for (const auto &s : sizes) {
        if (only != 0 && only != s[0]) continue;
        render::Image frame;
        if (!render_at(marker, s[0], s[1], &frame)) {
            std::fprintf(stderr, "resources/camera_para.dat not found\n");
            return 1;
        }
        std::printf("%d x %d: %d poses in %d frames\n", s[0], s[1], run(frame, loops), loops);
    }
    return 0;
}
