// scenes.h - the rendered frames the speed benchmarks and the peer
// comparison share: four frame sizes, four scenes, markers 80 mm across.
//
//     MvCameraParam cam = benchscene::camera(640, 480);
//     render::Image frame;
//     benchscene::render(benchscene::Scene::Five, cam, marker_picture, 0, &frame);
//
// The camera is the bundled one scaled with the width (square pixels; the
// 16:9 sizes are its 4:3 picture cropped at top and bottom), so a marker
// covers the same share of every frame size and the work per frame grows
// with its pixel count.
#ifndef MORVEX_BENCH_SCENES_H
#define MORVEX_BENCH_SCENES_H

#include <vector>

#include "render.h"

namespace benchscene {

enum class Scene { None, One, Five, Clutter };
constexpr Scene kScenes[] = {Scene::None, Scene::One, Scene::Five, Scene::Clutter};
const char *name(Scene scene);   // "none", "one", "five", "clutter"

struct Size {
    int w, h;
};
constexpr Size kSizes[] = {{320, 240}, {640, 480}, {1280, 720}, {1920, 1080}};

constexpr double kSideMm = 80.0;   // every marker's printed side, border included

MvCameraParam camera(int w, int h);

// The marker poses of `scene` in frame variant `variant` (0 is the stage
// benchmarks' frame; others move and turn the markers a little, so a
// sequence of frames does not repeat one image).
std::vector<render::Placement> placements(Scene scene, const MvCameraParam &cam,
                                          int variant);
// The markers' count in `scene`.
int markerCount(Scene scene);

// Renders `scene` with `pictures[k % pictures.size()]` as the k-th marker.
void render(Scene scene, const MvCameraParam &cam,
            const std::vector<const render::Image *> &pictures, int variant,
            render::Image *frame);

}  // namespace benchscene

#endif
