// input_probe.h - what mvtrack can tell about a source before capturing
// it: its frame size (tracked at that size unless the capture words scale
// it), and a file's frame count and rate, for the progress line and the
// annotated video.
#ifndef MVTRACK_INPUT_PROBE_H
#define MVTRACK_INPUT_PROBE_H

#include "video_config.h"

#include <string>

namespace mvtrack {

struct InputInfo {
    long frames = -1;            // frames in the file, -1 when unknown
    double fps = 0.0;            // frames per second, 0 when unknown
    int width = 0, height = 0;   // frame size, 0 when unknown
};

// Probes a video file or image sequence (%d pattern), or a V4L2 camera in
// its current format, with libavformat. Quietly gives an empty InputInfo
// when the source cannot be read (the capture then reports the fault
// itself).
InputInfo probeInput(const std::string &path, bool camera);

// The capture words `config` (parsed: `video`), completed so that the
// source is captured at its own size (`info`, its probe) unless the words
// scale it; one side given alone takes the other from the source's aspect
// ratio. The words unchanged when the probe found no size.
std::string wordsAtSourceSize(const std::string &config, const MvVideoConfig &video, const InputInfo &info);

}  // namespace mvtrack

#endif
