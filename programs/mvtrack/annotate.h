// annotate.h - mvtrack's annotated frames: each marker's outline, id and
// axes drawn into a copy of the frame, written as an MJPEG video or a PNG
// sequence.
#ifndef MVTRACK_ANNOTATE_H
#define MVTRACK_ANNOTATE_H

#include "track_output.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mvtrack {

// An RGB picture, 3 bytes per pixel, rows from the top, no padding.
struct Canvas {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

// Copies a capture frame (4 bytes per pixel: R G B x) into `canvas`.
void canvasFromFrame(const unsigned char *frame, int width, int height, Canvas *canvas);

// Draws one marker: its outline (ideal corners taken through the camera's
// lens distortion, sides bent accordingly), a dot on corner 0, its id at
// its centre, and -- when it has a pose -- its x (red), y (green) and z
// (blue) axes, `axis_mm` long, projected with the camera.
void drawMarker(const TrackedMarker &m, double axis_mm, const MvCameraParam &camera, Canvas *canvas);

// Where annotated frames go.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    // Appends a frame (frame number `index`). False with *error set on failure.
    virtual bool write(const Canvas &canvas, long index, std::string *error) = 0;
    // Finishes the output. False with *error set on failure.
    virtual bool finish(std::string *error) = 0;
};

// A sink for `target`: a PNG sequence when it holds one %d (optionally
// zero-padded, %04d), numbered by frame from 0; otherwise a video file
// (MJPEG; the container follows the extension, e.g. .avi) at `fps`.
// nullptr with *error naming the fault.
std::unique_ptr<FrameSink> openSink(const std::string &target, int width, int height,
                                    double fps, std::string *error);

}  // namespace mvtrack

#endif
