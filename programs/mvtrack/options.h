// options.h - mvtrack's command line: inputs, tracking settings, outputs.
#ifndef MVTRACK_OPTIONS_H
#define MVTRACK_OPTIONS_H

#include "morvex.h"

#include <string>
#include <vector>

namespace mvtrack {

// The marker side assumed when none is given: the side of the black square.
constexpr double kDefaultSideMm = 45.0;

struct PatternOption {
    std::string path;          // as given, or the bundled file's path
    std::string name;          // shown in the records
    double side = kDefaultSideMm;
    bool sideGiven = false;    // FILE:WIDTH_MM, or --side
};

struct FamilyOption {
    std::string name;                            // "tag36h11", ...
    double side = kDefaultSideMm;                // the black square, mm
    bool sideGiven = false;
    std::vector<std::pair<int, double>> sides;   // --code-side: (id, mm)
};

// One source to track.
struct Input {
    std::string label;         // as given: the path or the camera device
    MvVideoConfig config;      // the source and the capture words that apply
    bool camera = false;
};

struct Options {
    std::vector<Input> inputs;
    std::string camera;                  // --camera, or empty: the bundled one
    std::vector<PatternOption> patterns; // empty and no family: the bundled pattern
    std::vector<FamilyOption> families;  // --family: coded markers to decode
    double side = kDefaultSideMm;        // --side: for patterns and families given without one
    bool sideGiven = false;
    MvTrackerSettings settings;          // --thresh, --no-refine, --lite, --half, --grey, --no-guard
    double minConfidence = 0;            // --min-confidence, or 0: each pattern's chance level
    long frames = -1;                    // --frames
    int jobs = 1;                        // --jobs
    std::string out, annotate;
    bool csv = false, help = false, identifiedOnly = false;
    bool hasSourceName = false;
    std::string sourceName;
};

// Parses the arguments (argv[1..]). False with *error, one line that
// names the word at fault and, for an unknown one, the closest valid one.
bool parseOptions(int argc, char **argv, Options *o, std::string *error);

// The usage text.
const char *helpText();

}  // namespace mvtrack

#endif
