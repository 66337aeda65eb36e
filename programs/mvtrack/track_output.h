// track_output.h - mvtrack's per-frame records: one JSON object per frame,
// or CSV rows (one per detected marker) with the pose as translation and
// quaternion.
#ifndef MVTRACK_TRACK_OUTPUT_H
#define MVTRACK_TRACK_OUTPUT_H

#include "morvex.h"

#include <cstdio>
#include <string>
#include <vector>

namespace mvtrack {

// One detected marker with what mvtrack worked out for it.
struct TrackedMarker {
    MvMarkerInfo info;            // id, direction, confidence, area, centre,
                                  // edge lines and ideal corners
    const char *pattern = nullptr;   // file name of the matched pattern, or none
    const char *family = nullptr;    // a coded marker's family, or none
    int patternIndex = -1;        // which of the tracked patterns, or -1
    bool hasPose = false;         // transform and error are valid
    double trans[3][4] = {};      // marker -> camera, mm
    double error = 0.0;           // the pose's fit error, square pixels
    double corners[4][2] = {};    // observed pixels
    double side = 0.0;            // the marker side the pose used, mm
};

// A tracker's marker as mvtrack records it (pattern name and index are the
// caller's to fill).
TrackedMarker fromTracker(const MvTrackerMarker &m);

// A JSON number: the shortest text that reads back as the same double;
// "null" for NaN and infinities (JSON has neither).
std::string jsonNumber(double v);
// A JSON string literal, quotes included. Control characters are escaped;
// bytes that are not valid UTF-8 become U+FFFD.
std::string jsonString(const std::string &s);

// {"frame": N, "markers": [...]} on one line, newline included; with a
// `source` (not NULL) {"source": "...", "frame": N, ...}, so that records
// merged from many runs stay traceable.
std::string frameJson(long frame, const std::vector<TrackedMarker> &markers,
                      const std::string *source = nullptr);

// The CSV header line and the rows of one frame (newlines included); with a
// `source`, a first column "source" holding it.
std::string csvHeader(bool withSource = false);
std::string frameCsv(long frame, const std::vector<TrackedMarker> &markers,
                     const std::string *source = nullptr);

// Unit quaternion (x, y, z, w, w >= 0) of a transform's rotation, marker
// to camera, in the common (Hamilton) convention: it rotates marker vectors
// into camera vectors as v' = q v q*, so scipy's Rotation.from_quat(q)
// gives the transform's rotation matrix. It is the conjugate of what
// mvUtilMat2QuatPos returns (negate x, y, z before mvUtilQuatPos2Mat).
// Returns false when the rotation part is no rotation (mvUtilMat2QuatPos
// refuses it) or the quaternion comes out non-finite.
bool transformQuat(const double trans[3][4], double q[4]);

}  // namespace mvtrack

#endif
