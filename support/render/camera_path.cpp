// The demo clip's motion, sensor noise and truth files.
#include "camera_path.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>

namespace render {

namespace {

const double kPi = 3.14159265358979323846;
// Corners stay this far inside the frame (pixels), so the whole marker,
// border included, is in view even after lens distortion.
const double kMargin = 12.0;

double wave(double t, double period, double phase = 0.0)
{
    return std::sin(2.0 * kPi * t / period + phase);
}

bool in_view(const MvCameraParam &cam, double side_mm, const double trans[3][4])
{
    const Truth t = projectCorners(side_mm, trans, cam);
    for (const auto &p : t.ideal) {
        if (!(p[0] >= kMargin && p[0] <= cam.xsize - 1 - kMargin && p[1] >= kMargin &&
              p[1] <= cam.ysize - 1 - kMargin))
            return false;
    }
    return true;
}

}  // namespace

int wanderPose(const MvCameraParam &cam, double side_mm, double seconds, double trans[3][4])
{
    // Designed for 45 mm at 320 pixels across; both factors are exactly 1
    // there, so the demo clip's poses do not move by a bit.
    const double size = side_mm / 45.0, across = cam.xsize / 320.0;
    const double t = seconds;
    double dist = size * (300.0 + 120.0 * wave(t, 6.5, 0.5) + 25.0 * wave(t, 2.3));
    double tilt = 38.0 * wave(t, 4.1) + 7.0 * wave(t, 1.7, 1.0);
    double roll = 20.0 + 36.0 * t + 25.0 * wave(t, 3.3);
    double reach = std::fmin(1.0, (dist / size - 120.0) / 200.0);
    double du = across * 55.0 * reach * wave(t, 5.3), dv = across * 35.0 * reach * wave(t, 3.7, 1.0);
    double cu = (cam.xsize - 1) / 2.0, cv = (cam.ysize - 1) / 2.0;
    int pulls = 0;
    for (;;) {
        poseAt(cam, cu + du, cv + dv, dist, tilt, roll, trans);
        if (in_view(cam, side_mm, trans) || pulls > 40) return pulls;
        du *= 0.8;
        dv *= 0.8;
        dist += 5.0 * size;
        pulls++;
    }
}

void addSensorNoise(Image *img, double sigma, unsigned seed)
{
    std::mt19937 gen(seed);
    auto uniform = [&gen]() { return (gen() + 0.5) / 4294967296.0; };
    for (size_t i = 0; i < img->pixels.size(); i++) {
        if (img->channels == 4 && i % 4 == 3) continue;
        double n = std::sqrt(-2.0 * std::log(uniform())) * std::cos(2.0 * kPi * uniform());
        double v = img->pixels[i] + sigma * n;
        img->pixels[i] = static_cast<uint8_t>(std::lround(std::fmin(255.0, std::fmax(0.0, v))));
    }
}

std::string truthHeader(const std::string &clip_name, int frames, int width, int height, int fps,
                        double side_mm)
{
    char line[512];
    std::snprintf(line, sizeof line,
                  "# %s: %d frames of %d x %d at %d fps, marker side %g mm. Each line: "
                  "frame index (from 0), then the marker-to-camera 3x4 transform (mm), row-major: "
                  "r11 r12 r13 tx r21 r22 r23 ty r31 r32 r33 tz\n",
                  clip_name.c_str(), frames, width, height, fps, side_mm);
    return line;
}

std::string truthLine(int frame, const double trans[3][4])
{
    std::string s = std::to_string(frame);
    char num[32];
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 4; c++) {
            std::snprintf(num, sizeof num, " %.9g", trans[r][c]);
            s += num;
        }
    return s + "\n";
}

bool readTruth(const std::string &path, std::vector<PathPose> *poses, std::string *error)
{
    std::ifstream in(path);
    if (!in) {
        *error = "cannot read path file \"" + path + "\"";
        return false;
    }
    std::vector<PathPose> out;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        number++;
        const size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#') continue;
        std::istringstream words(line);
        double index;
        PathPose p;
        words >> index;
        for (auto &row : p.trans)
            for (double &x : row) words >> x;
        std::string rest;
        bool finite = true;
        for (auto &row : p.trans)
            for (double x : row) finite = finite && std::isfinite(x);
        if (!words || (words >> rest) || !finite) {
            *error = "path file \"" + path + "\", line " + std::to_string(number) +
                     ": not a frame index and 12 numbers (a 3x4 transform, row-major)";
            return false;
        }
        out.push_back(p);
    }
    if (out.empty()) {
        *error = "path file \"" + path + "\" holds no frame";
        return false;
    }
    *poses = std::move(out);
    return true;
}

}  // namespace render
