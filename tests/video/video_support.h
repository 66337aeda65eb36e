// Shared support for the capture tests: small clips with known content, a
// scratch folder, and reading frames back through the front end.
#ifndef MORVEX_TESTS_VIDEO_SUPPORT_H
#define MORVEX_TESTS_VIDEO_SUPPORT_H

#include "clip_writer.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vt {

// A folder for this test process's files, removed at exit.
std::string scratch(const std::string &name);

// Frame k of a test clip is one flat colour, code(k), so a frame read back
// tells which source frame it was, whatever the codec does to edges.
struct Rgb { int r, g, b; };
Rgb code(int k);
// The index k (0 <= k < count) whose code is nearest to the RGB at `px`.
int decodeIndex(const unsigned char *px, int count);

// Writes `frames` colour-coded frames of w x h at `fps`. Frames listed in
// `garbage` are stored as undecodable packets instead (MJPEG only).
std::string writeCodedClip(const std::string &name, int frames, int fps,
                           clip::Codec codec = clip::Codec::Mjpeg, int w = 320, int h = 240,
                           const std::vector<int> &garbage = {});

// A w x h RGB frame: grey (128) with a pure red square covering
// [x0, x1) x [y0, y1).
std::vector<uint8_t> redSquare(int w, int h, int x0, int y0, int x1, int y1);

// Requests frames through the front end `count` times (stopping early after
// `dryStop` nulls in a row, when dryStop > 0) and returns the index of each
// frame delivered, -1 for each null.
std::vector<int> readIndices(int count, int codes, int dryStop = 0);

}  // namespace vt

#endif
