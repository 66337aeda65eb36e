// scenes.cpp - the benchmark scenes.
#include "scenes.h"

namespace benchscene {
namespace {

struct Spot {
    double u, v;        // share of the frame width and height
    double dist_mm, tilt_deg, roll_deg;
};

const Spot kOne[] = {{0.5, 0.5, 400, 25, 30}};
const Spot kFive[] = {{0.25, 0.28, 700, 20, 10},  {0.75, 0.28, 700, -15, 100},
                      {0.5, 0.5, 650, 30, -40},   {0.25, 0.74, 750, 0, 200},
                      {0.75, 0.74, 700, 25, -120}};
const Spot kClutter[] = {{0.45, 0.55, 500, 35, -40}};

std::vector<Spot> spots(Scene scene)
{
    switch (scene) {
    case Scene::None: return {};
    case Scene::One: return {std::begin(kOne), std::end(kOne)};
    case Scene::Five: return {std::begin(kFive), std::end(kFive)};
    case Scene::Clutter: return {std::begin(kClutter), std::end(kClutter)};
    }
    return {};
}

// No noise outside the clutter scene: sensor noise slows AprilTag several
// times over (docs/PERFORMANCE.md), and the comparison should not lean on it.
render::Options options(Scene scene)
{
    render::Options opt;
    opt.blur_sigma = 0.6;
    if (scene == Scene::Clutter) {
        opt.background = render::Background::Clutter;
        opt.blur_sigma = 0.8;
        opt.noise_sigma = 4.0;
    }
    return opt;
}

}  // namespace

const char *name(Scene scene)
{
    switch (scene) {
    case Scene::None: return "none";
    case Scene::One: return "one";
    case Scene::Five: return "five";
    case Scene::Clutter: return "clutter";
    }
    return "?";
}

int markerCount(Scene scene) { return (int)spots(scene).size(); }

MvCameraParam camera(int w, int h)
{
    MvCameraParam cam = render::bundledCamera(w, w * 3 / 4);
    const double crop = (w * 3 / 4 - h) / 2.0;
    cam.ysize = h;
    cam.projection[1][2] -= crop;
    cam.distortion[1] -= crop;
    return cam;
}

std::vector<render::Placement> placements(Scene scene, const MvCameraParam &cam,
                                          int variant)
{
    std::vector<render::Placement> out;
    // Small steps that keep every marker inside the frame and facing the
    // camera: a few pixels' shift, a few degrees more tilt and roll.
    const double du = 0.01 * (variant % 3 - 1), dv = 0.01 * ((variant / 3) % 3 - 1);
    const double dtilt = 4.0 * (variant % 4), droll = 9.0 * variant;
    for (const Spot &s : spots(scene)) {
        render::Placement p{};
        p.side_mm = kSideMm;
        render::poseAt(cam, (s.u + du) * cam.xsize, (s.v + dv) * cam.ysize, s.dist_mm,
                       s.tilt_deg + (s.tilt_deg < 0 ? -dtilt : dtilt), s.roll_deg + droll,
                       p.trans);
        out.push_back(p);
    }
    return out;
}

void render(Scene scene, const MvCameraParam &cam,
            const std::vector<const render::Image *> &pictures, int variant,
            render::Image *frame)
{
    std::vector<render::Placement> placed = placements(scene, cam, variant);
    for (size_t k = 0; k < placed.size(); k++) placed[k].picture = pictures[k % pictures.size()];
    render::Options opt = options(scene);
    opt.seed = 1 + variant;
    render::renderScene(placed, cam, opt, frame);
}

}  // namespace benchscene
