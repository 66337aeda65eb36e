// Chessboard calibration for the library's camera model, and the fit of an
// OpenCV calibration to it. OpenCV finds the corners and gives the first
// estimate; Ceres fits the library's own model to the observed corners.
//
//   #include "calib.h"               // link morvex_calib
//
//   mvcalib::Board board;                      // 9 x 6 inner corners, 20 mm
//   std::vector<mvcalib::View> views;
//   mvcalib::View v{"a.png", {}};
//   if (mvcalib::findCorners(image, board, &v.corners)) views.push_back(v);
//   mvcalib::Estimate est;
//   std::string err;
//   if (!mvcalib::calibrate(views, 640, 480, board, {}, &est, &err)) ...
//   mvParamSave("cam.dat", 1, &est.cam);
//
// Everything is returned by value; nothing is kept between calls.
#ifndef MORVEX_CALIB_CALIB_H
#define MORVEX_CALIB_CALIB_H

#include "image_io.h"
#include "morvex/camera.h"

#include <string>
#include <vector>

namespace mvcalib {

struct Board {
    int cols = 9, rows = 6;    // inner corners across and down
    double square_mm = 20.0;   // side of one square (a 9 x 6 board fits A4)
};

struct Point {
    double x, y;
};

// Inner corners of `board` in `img` (1, 3 or 4 channels), refined to
// sub-pixel positions, row by row as the board lies in the picture. False
// (corners untouched) when the whole board is not found. `quick` first
// checks cheaply whether a board can be there at all (for live video,
// where most frames may have none).
bool findCorners(const mvtool::Image &img, const Board &board, std::vector<Point> *corners,
                 bool quick = false);

struct View {
    std::string name;             // file name, or what the report calls it
    std::vector<Point> corners;   // observed pixels, board order
};

struct Options {
    bool fit_scale = false;       // fit distortion[3] too (else fixed at 1)
    int min_views = 5;            // fewest views the fit may keep
    double max_view_rms = 0.0;    // reject views above this RMS (px); 0: 3x the median, >= 0.3
};

struct ViewResult {
    std::string name;
    bool rejected = false;
    std::string why;              // why it was rejected
    double rms = 0.0;             // reprojection RMS, observed pixels
    double tilt_deg = 0.0;        // board normal against the optical axis
    double trans[3][4];           // board -> camera, mm (board origin at its first corner)
    std::vector<Point> residuals; // observed minus fitted, per corner
};

// Parameter order of Estimate::value and ::sd.
enum Param { FX, FY, CX, CY, DCX, DCY, FACTOR, SCALE, PARAM_COUNT };
extern const char *const kParamNames[PARAM_COUNT];

struct Estimate {
    MvCameraParam cam;            // the fitted model, ready for mvParamSave
    double value[PARAM_COUNT];
    double sd[PARAM_COUNT];       // standard deviations; NaN when not determined, 0 when fixed
    double rms = 0.0;             // over the kept views' corners
    double first_rms = 0.0;       // OpenCV's first estimate (its own model)
    int iterations = 0;           // of the final fit
    std::vector<ViewResult> views;   // in the order given
    std::vector<std::string> warnings;   // coverage and tilt
};

// Fits the model to `views` (all of width x height, each with the board's
// full corner count). False with *error when there are too few views or the
// fit fails; *out is then untouched.
bool calibrate(const std::vector<View> &views, int width, int height, const Board &board,
               const Options &opt, Estimate *out, std::string *error);

// An OpenCV calibration: image size, camera matrix, distortion coefficients
// (k1 k2 p1 p2 [k3 [k4 k5 k6 [s1 s2 s3 s4 [tx ty]]]]).
struct OpenCvCamera {
    int width = 0, height = 0;
    double k[9];
    std::vector<double> dist;
};

// Reads OpenCV file storage (YAML or XML): camera_matrix,
// distortion_coefficients, image_width, image_height. False with *error
// naming the file and the missing or wrong entry.
bool readOpenCvCamera(const std::string &path, OpenCvCamera *out, std::string *error);

struct ModelFit {
    MvCameraParam cam;
    double max_px = 0.0, rms_px = 0.0;   // library vs OpenCV over the frame
    int points = 0;                       // frame points compared
};

// The library's model closest to `cv` by least squares over a grid of the
// whole frame. False with *error when too little of the frame maps back.
bool fitOpenCvCamera(const OpenCvCamera &cv, ModelFit *out, std::string *error);

}  // namespace mvcalib

#endif
