// marker_range - how far and how tilted the project's marker is identified.
//
//   marker_range [--sharp] [MARKER.png [PATTERN]]
//                 (defaults: resources/marker.png, resources/patt.lumo; run in
//                  bin/; --sharp: no blur, no noise)
//
// Renders the marker (80 mm) with the bundled camera at 320 x 240 over
// distances 200..1200 mm and tilts 0..60 degrees, in the four quarter turns,
// on a plain and a cluttered background, with a little blur (0.5 px) and
// noise (2 grey levels). Each row sums 8 views (4 rolls x 2 backgrounds):
//   found  the square was detected at the marker's place
//   ok     identified: our id, confidence >= 0.8 and the right direction
//   dir    the reported direction puts the corners on the truth
//   min / mean confidence over the views found
// Then the alternate pictures in the same border: their best and mean
// confidence against the pattern over a set of poses.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "morvex/camera.h"
#include "morvex/detect.h"
#include "morvex/pattern.h"
#include "render.h"

namespace {

const double kSide = 80.0;

struct View {
    bool found = false;
    bool dir_ok = false;
    int id = -1;
    double confidence = 0.0;
};

double cornerError(const MvMarkerInfo &m, int direction, const render::Truth &t)
{
    double worst = 0.0;
    for (int k = 0; k < 4; k++) {
        const double *v = m.vertices[(4 + k - direction) % 4];
        worst = std::max(worst, std::hypot(v[0] - t.ideal[k][0], v[1] - t.ideal[k][1]));
    }
    return worst;
}

// Detects and picks the square lying on the truth's outline (any turn).
View look(const render::Image &marker, const MvCameraParam &cam, double dist, double tilt,
          double roll, const render::Options &opt)
{
    double trans[3][4];
    render::poseAt(cam, 160, 120, dist, tilt, roll, trans);
    render::Image frame;
    render::Truth t = render::renderFrame(marker, kSide, trans, cam, opt, &frame);
    MvMarkerInfo *list = nullptr;
    int n = 0;
    View out;
    if (mvDetectMarkerLite(frame.pixels.data(), 100, &list, &n) != 0) return out;
    // A square "at the marker" has some turn with all corners within a
    // tenth of the side's image length of the truth (at least 3 px).
    double len = std::hypot(t.ideal[1][0] - t.ideal[0][0], t.ideal[1][1] - t.ideal[0][1]);
    double tol = std::max(3.0, 0.1 * len);
    for (int k = 0; k < n; k++) {
        double best = 1e9;
        int best_d = -1;
        for (int d = 0; d < 4; d++) {
            double e = cornerError(list[k], d, t);
            if (e < best) best = e, best_d = d;
        }
        if (best > tol) continue;
        out.found = true;
        out.id = list[k].id;
        out.confidence = list[k].confidence;
        out.dir_ok = list[k].direction == best_d;
        break;
    }
    return out;
}

}  // namespace

int main(int argc, char **argv)
{
    bool sharp = argc > 1 && std::string(argv[1]) == "--sharp";
    if (sharp) argc--, argv++;
    std::string marker_path = argc > 1 ? argv[1] : "resources/marker.png";
    std::string patt_path = argc > 2 ? argv[2] : "resources/patt.lumo";
    const double blur = sharp ? 0.0 : 0.5, noise = sharp ? 0.0 : 2.0;
    MvCameraParam full, cam;
    if (mvParamLoad("resources/camera_para.dat", 1, &full) != 0) {
        std::fprintf(stderr, "marker_range: cannot read resources/camera_para.dat (run in build/bin)\n");
        return 1;
    }
    mvParamChangeSize(&full, 320, 240, &cam);
    mvInitCparam(&cam);
    render::Image marker;
    std::string err;
    if (!mvtool::readImage(marker_path, &marker, &err)) {
        std::fprintf(stderr, "marker_range: %s\n", err.c_str());
        return 1;
    }
    int patt = mvLoadPatt(patt_path.c_str());
    if (patt < 0) {
        std::fprintf(stderr, "marker_range: cannot load %s\n", patt_path.c_str());
        return 1;
    }

    const double dists[] = {200, 300, 400, 500, 600, 700, 800, 900, 1000, 1200};
    const double tilts[] = {0, 10, 20, 30, 40, 50, 60};
    std::printf("%s against %s, 320 x 240, 80 mm, blur %.1f, noise %.0f\n", marker_path.c_str(),
                patt_path.c_str(), blur, noise);
    std::printf("dist tilt  found  ok  dir   min   mean   (of 8 views: 4 rolls x plain/clutter)\n");
    unsigned seed = 1;
    for (double dist : dists) {
        for (double tilt : tilts) {
            int found = 0, ok = 0, dir = 0;
            double lo = 1.0, sum = 0.0;
            for (int bg = 0; bg < 2; bg++)
                for (int r = 0; r < 4; r++) {
                    render::Options opt;
                    opt.background = bg ? render::Background::Clutter : render::Background::Plain;
                    opt.blur_sigma = blur;
                    opt.noise_sigma = noise;
                    opt.seed = seed++;
                    View v = look(marker, cam, dist, tilt, 90.0 * r, opt);
                    if (!v.found) continue;
                    found++;
                    double c = std::max(0.0, v.confidence);
                    lo = std::min(lo, c);
                    sum += c;
                    dir += v.dir_ok;
                    ok += v.id == patt && c >= 0.8 && v.dir_ok;
                }
            std::printf("%4.0f %4.0f  %3d  %3d  %3d  %5.2f  %5.2f\n", dist, tilt, found, ok, dir,
                        found ? lo : 0.0, found ? sum / found : 0.0);
        }
    }

    std::printf("\nalternate pictures (same border), 300/600/1000 mm x tilt 0/40 x 4 rolls, plain\n");
    std::printf("variant  found  best   mean\n");
    for (int a = 0; a < render::alternatePictureCount(); a++) {
        render::Image other = render::makeMarker(render::makeAlternatePicture(a), 512);
        int found = 0;
        double best = 0.0, sum = 0.0;
        for (double dist : {300.0, 600.0, 1000.0})
            for (double tilt : {0.0, 40.0})
                for (int r = 0; r < 4; r++) {
                    render::Options opt;
                    opt.blur_sigma = blur;
                    opt.noise_sigma = noise;
                    opt.seed = seed++;
                    View v = look(other, cam, dist, tilt, 90.0 * r, opt);
                    if (!v.found) continue;
                    found++;
                    double c = std::max(0.0, v.confidence);
                    best = std::max(best, c);
                    sum += c;
                }
        std::printf("%7d  %5d  %5.2f  %5.2f\n", a, found, best, found ? sum / found : 0.0);
    }
    return 0;
}
