// pose_accuracy - how close mvGetTransMat comes to the truth on rendered
// frames, over distances and tilts, at 320 x 240 and 640 x 480.
//
//     build/bin/pose_accuracy [resource dir]     (default ./resources)
//
// Prints one row per pose: distance error and translation error in per cent
// of the distance, rotation error in degrees (angle of R_est^T R_true) and
// the fit error mvGetTransMat returned, in square pixels; then a summary per
// distance over the tilts.

#include <algorithm>
#include <cstdio>
#include <string>

#include "sweep.h"

int main(int argc, char **argv)
{
    std::string dir = argc > 1 ? argv[1] : "resources";
    const int sizes[2][2] = {{320, 240}, {640, 480}};
    const double distances[] = {200, 300, 500, 750, 1000, 1500};
    const double tilts[] = {0, 20, 40, 60};
    const double roll = 15.0;
    std::string summary;
    for (const auto &size : sizes) {
        sweep::Setup s;
        std::string error;
        if (!sweep::prepare(dir, size[0], size[1], &s, &error)) {
            std::fprintf(stderr, "pose_accuracy: %s\n", error.c_str());
            return 1;
        }
        std::printf("%d x %d, marker %.0f mm, roll %.0f deg\n", size[0], size[1], sweep::kSide,
                    roll);
        std::printf("%8s %6s %9s %9s %8s %9s\n", "dist mm", "tilt", "dist %", "trans %",
                    "rot deg", "fit px^2");
        for (double d : distances) {
            int found = 0;
            double sum_dist = 0, max_trans = 0, max_rot = 0, max_fit = 0;
            for (double tilt : tilts) {
                sweep::Result r = sweep::run(s, d, tilt, roll);
                if (!r.found) {
                    std::printf("%8.0f %6.0f   not detected\n", d, tilt);
                    continue;
                }
                std::printf("%8.0f %6.0f %+9.2f %9.2f %8.2f %9.3f\n", d, tilt, r.dist_pct,
                            r.trans_pct, r.rot_deg, r.err);
                found++;
                sum_dist += r.dist_pct;
                max_trans = std::max(max_trans, r.trans_pct);
                max_rot = std::max(max_rot, r.rot_deg);
                max_fit = std::max(max_fit, r.err);
            }
            char line[160];
            std::snprintf(line, sizeof line, "%4dx%-4d %6.0f %5d/4 %+9.2f %9.2f %8.2f %9.3f\n",
                          size[0], size[1], d, found, found ? sum_dist / found : 0.0,
                          max_trans, max_rot, max_fit);
            summary += line;
        }
        std::printf("\n");
    }
    std::printf("Summary over tilts 0, 20, 40, 60 (mean distance error, maxima of the rest)\n");
    std::printf("%9s %6s %7s %9s %9s %8s %9s\n", "frame", "dist", "found", "dist %",
                "trans %", "rot deg", "fit px^2");
    std::fputs(summary.c_str(), stdout);
    return 0;
}
