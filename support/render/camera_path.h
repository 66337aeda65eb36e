// camera_path.h - a marker's pose frame by frame, and the truth file that
// records it: what the demo clip and `mvrender --path` are rendered from.
//
//     double trans[3][4];
//     render::wanderPose(cam, 45.0, frame / 30.0, trans);   // the demo clip's motion
//     render::addSensorNoise(&frame, 2.0, 1000 + i);         // a fresh draw per frame
//     fputs(render::truthLine(i, trans).c_str(), truth);
//
// Deterministic: the same inputs give the same poses, bytes and text.
#ifndef MORVEX_TOOLS_CAMERA_PATH_H
#define MORVEX_TOOLS_CAMERA_PATH_H

#include <string>
#include <vector>

#include "render.h"

namespace render {

// The demo clip's motion at `seconds` from its start: with the bundled
// camera at 320 x 240 and a 45 mm marker, the distance runs over 155-445 mm,
// the tilt up to 45 degrees, the roll one full turn per 10 s (every
// quadrant), the centre wandering less when close. Distances scale with
// `side_mm` / 45 and the wander with the frame width / 320, so any marker
// size and frame size look alike. When the marker (border included) would
// leave the frame, the wander is pulled in and the marker moved back until
// it fits; returns how often (0 for the path as designed).
int wanderPose(const MvCameraParam &cam, double side_mm, double seconds, double trans[3][4]);

// Gaussian noise of `sigma` grey levels on R, G and B (not on a fourth
// byte), clamped to 0..255. Its own Box-Muller over std::mt19937, so the
// bytes are the same on every platform.
void addSensorNoise(Image *img, double sigma, unsigned seed);

// The truth file: a comment line saying what `clip_name` holds and how the
// lines read, then one line per frame: the index from 0 and the
// marker-to-camera transform (mm), row-major, 12 numbers ("%.9g").
std::string truthHeader(const std::string &clip_name, int frames, int width, int height, int fps,
                        double side_mm);
std::string truthLine(int frame, const double trans[3][4]);

// One frame's pose read from a truth file.
struct PathPose {
    double trans[3][4];
};
// Reads a truth file (or any file of such lines; '#' lines and blank lines
// are skipped) as a path, frames in file order. False with *error naming the
// file and line when it cannot be read, a line is not an index and 12
// numbers, or it holds no frame.
bool readTruth(const std::string &path, std::vector<PathPose> *poses, std::string *error);

}  // namespace render

#endif
