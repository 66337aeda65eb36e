// Shared support for the capture tests: small clips with known content, a
// scratch folder, and reading frames back through the front end.
#ifndef MORVEX_TESTS_VIDEO_SUPPORT_H
#define MORVEX_TESTS_VIDEO_SUPPORT_H

#include "clip_writer.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vt {

// A path in this test process's own folder, removed at exit.
std::string scratch(const std::string &name);

// Writes `frames` frames of w x h at `fps`; frame k is one flat colour that
// tells k back whatever the codec does to edges. Frames listed in `garbage`
// are stored as undecodable packets instead (MJPEG only).
std::string writeCodedClip(const std::string &name, int frames, int fps,
                           clip::Codec codec = clip::Codec::Mjpeg, int w = 320, int h = 240,
                           const std::vector<int> &garbage = {});

// Requests frames through the front end `count` times (stopping early after
// `dryStop` nulls in a row, when dryStop > 0) and returns the index of each
// frame delivered (from its centre pixel), -1 for each null.
std::vector<int> readIndices(int count, int codes, int dryStop = 0);

}  // namespace vt

#endif
