// The viewer's command line: its own options (--pattern, --side, --camera,
// -h/--help) and the capture words, which are every other word and go to
// the capture as its configuration, as they always have.
//
// A mode that tracks differently is one more field here and one more
// branch in parseOptions; what to show and where it comes from stay as
// they are.
#ifndef MORVEX_APP_OPTIONS_H
#define MORVEX_APP_OPTIONS_H

#include <string>
#include <vector>

// The one default marker size: the outer side of the black square, in mm.
constexpr double kDefaultSideMm = 45.0;

// A pattern to track and the side of its marker.
struct ViewerPattern {
    std::string path;      // as given; empty: the bundled patt.lumo
    double side_mm = kDefaultSideMm;
};

struct ViewerOptions {
    bool help = false;
    // In the order given; with no --pattern, the bundled one at --side.
    std::vector<ViewerPattern> patterns;
    double side_mm = kDefaultSideMm;   // --side: for patterns without their own
    bool side_given = false;
    std::string camera;                // empty: the bundled camera_para.dat
    std::string capture;               // capture words joined by single blanks
    bool track = false;                // --track: a tracker with the full pipeline
};

// Reads argv. False with *error (one line, naming the word at fault) on a
// bad value, a missing one or an unknown --option.
bool parseOptions(int argc, char **argv, ViewerOptions *out, std::string *error);

// The usage text without the capture words (the capture prints those).
extern const char *const kViewerUsage;

#endif
