// render.h - synthetic camera frames of a marker with a known pose.
//
// Tests, benchmarks and the demo clip draw their frames here, so every
// detection and pose result can be checked against an exact truth.
//
//     MvCameraParam cam = render::bundledCamera(320, 240);
//     render::Image marker, frame;
//     std::string err;
//     mvtool::readImage("resources/marker.png", &marker, &err);
//     double trans[3][4];
//     render::poseAt(cam, 160, 120, 300.0, 20.0, 0.0, trans);
//     render::Options opt;                      // plain grey background
//     render::Truth t = render::renderFrame(marker, 80.0, trans, cam, opt, &frame);
//     // frame.pixels: cam.xsize x cam.ysize x 4 bytes (R, G, B, 255),
//     // t.observed / t.ideal: where the four marker corners really are.
//
// Conventions are the tracking library's: millimetres, pixel (0, 0) centred
// at (0.0, 0.0), x right and y down, observed vs ideal image coordinates,
// row-major 3x4 marker-to-camera transforms. Everything is deterministic:
// the same inputs and seed give the same bytes. No state is kept between
// calls.
#ifndef MORVEX_TOOLS_RENDER_H
#define MORVEX_TOOLS_RENDER_H

#include <cstdint>
#include <string>
#include <vector>

#include "image_io.h"
#include "morvex/camera.h"

namespace render {

// Pictures and frames are tool support's image record, so that they go to
// and from files without the renderer.
using Image = mvtool::Image;

enum class Background { Plain, Gradient, Clutter };

struct Options {
    Background background = Background::Plain;
    uint8_t plain[3] = {190, 190, 190};  // Plain colour; Gradient's light end
    int supersample = 4;       // samples per pixel per axis (anti-aliasing)
    double blur_sigma = 0.0;   // Gaussian blur, pixels (0 = none)
    double noise_sigma = 0.0;  // Gaussian noise, grey levels (0 = none)
    unsigned seed = 1;         // for clutter and noise; same seed, same frame
};

struct Truth {
    double trans[3][4];      // marker -> camera, mm
    double observed[4][2];   // marker corners 0..3, observed frame pixels
    double ideal[4][2];      // the same corners, ideal pixels
};

// Marker coordinates (mm): origin at the marker centre, x from corner 0 to
// corner 1, y from corner 3 to corner 0, z = x cross y towards the camera.
// Corner 0 = (-s/2, +s/2), 1 = (+s/2, +s/2), 2 = (+s/2, -s/2),
// 3 = (-s/2, -s/2); the picture's top-left pixel is at corner 0, its top
// row runs from corner 0 to corner 1. The picture `marker` (1, 3 or 4
// channels; alpha is ignored) covers the whole side s, border included.
// `frame` is resized to cam.xsize x cam.ysize x 4 bytes: R, G, B, 255.
// Points behind the camera show the background. The lens distortion of
// `cam` is applied (observed pixels are mapped to ideal ones with the core's
// mvParamObserv2Ideal). An empty marker picture renders background only.
// Corners behind the camera get meaningless truth coordinates (the
// projection divides by a negative depth); check trans before relying on them.
Truth renderFrame(const Image &marker, double side_mm, const double trans[3][4],
                  const MvCameraParam &cam, const Options &opt, Image *frame);

// One marker of a scene with several: its picture, printed side and pose.
struct Placement {
    const Image *picture;
    double side_mm;
    double trans[3][4];
};

// Several markers in one frame. Each is rendered alone with `opt` and laid
// over the earlier ones wherever its frame differs from the background alone
// (so a later marker covers an earlier one, and over clutter each brings its
// own clear margin). One placement gives exactly renderFrame's frame.
void renderScene(const std::vector<Placement> &markers, const MvCameraParam &cam,
                 const Options &opt, Image *frame);

// A transform looking at the marker from `distance_mm` (camera centre to
// marker centre) along the viewing ray through image point (u, v) (ideal
// pixels), the marker facing the camera; it is tilted by tilt_deg about the
// marker's x axis (positive brings the marker's top edge, corners 0-1,
// towards the camera), then turned by roll_deg about the viewing ray
// (positive turns it clockwise as seen in the image). At the principal point
// with no tilt and no roll the rotation is diag(1, -1, -1): marker x points
// right in the image, marker y up.
void poseAt(const MvCameraParam &cam, double u, double v, double distance_mm,
            double tilt_deg, double roll_deg, double trans[3][4]);

// The four corners of a marker of side `side_mm` under `trans`, in ideal
// and observed pixels (the same numbers renderFrame returns as truth).
Truth projectCorners(double side_mm, const double trans[3][4], const MvCameraParam &cam);

// The bundled calibration's numbers (640 x 480: focal length 700 px,
// principal point (318.5, 241), distortion centre (321.0, 238.5), radial
// factor 40.0, scale 1.0), rescaled with mvParamChangeSize to xsize x ysize.
// Lets tests run without reading the calibration file.
MvCameraParam bundledCamera(int xsize = 320, int ysize = 240);
// A distortion-free pinhole camera: focal length `focal_px`, principal
// point at the image centre ((xsize - 1) / 2, (ysize - 1) / 2).
MvCameraParam pinholeCamera(int xsize, int ysize, double focal_px);

// An RGB marker image of side_px x side_px: a black border of exactly
// side_px / 4 pixels on every edge (side_px is rounded down to a multiple
// of 4, at least 8) around `picture` scaled to fill the central half.
// A 4-channel picture is laid over white; a 1-channel one is grey.
Image makeMarker(const Image &picture, int side_px);
// This project's own marker (resources/marker.png): a navy hook and a red
// bar on a cream ground, different under every quarter turn and when
// mirrored, inside the border. side_px as in makeMarker.
Image makeProjectMarker(int side_px = 512);
// The picture (no border) of the project marker, 256 x 256 RGB.
Image projectPicture();
// Bold test pictures (no border, 256 x 256 RGB) that are not ours: for
// proving that another picture inside the same border is not taken for the
// project's marker. variant is taken modulo alternatePictureCount().
Image makeAlternatePicture(int variant);
int alternatePictureCount();

// Coded markers of the core's families ("tag36h11", "aruco4x4_50", ...; see
// lib/core/codes/code_family.h). A family's marker is a black square of
// grid x grid cells: a one-cell black frame around the code's cells.
// Cells across the black square, and ids; 0 for an unknown family.
int codedMarkerGrid(const std::string &family);
int codedMarkerIds(const std::string &family);
// The marker `id` drawn upright (as the family's own tools draw it):
// grid x grid cells, row 0 at the top, 1 light, 0 dark; empty for an
// unknown family or an id out of range.
std::vector<uint8_t> codedMarkerCells(const std::string &family, int id);
// The same as an RGB picture, `cell_px` pixels per cell, inside a white
// quiet zone `quiet_cells` cells wide: (grid + 2 quiet_cells) cell_px
// pixels across. Empty when codedMarkerCells is, or cell_px < 1.
// Rendered with renderFrame, the picture's side is
// codedPictureSide(family, black_mm, quiet_cells) for a black square of
// black_mm; that square's corners are projectCorners(black_mm, ...), its
// corner k at the picture's corner k.
Image makeCodedMarker(const std::string &family, int id, int cell_px, int quiet_cells = 1);
double codedPictureSide(const std::string &family, double black_mm, int quiet_cells = 1);

}  // namespace render

#endif
