// confusion.h - the confusion measurement of picture patterns: a set of
// different pictures made into markers and patterns, views of each with
// known truth, and the tally of what a tracker names them.
//
//     std::vector<confusion::Picture> set = confusion::pictureSet();
//     confusion::Bench bench(set, confusion::Bench::Options());
//     for (const confusion::View &v : confusion::viewGrid(set.size(), 1))
//         bench.look(v, &tally);        // every pattern loaded but ...
//
// The set: glyphs of Debian's DejaVu fonts (when the support library was
// built with FreeType and the fonts are installed), shapes, random cells,
// textures, gradients and the project's own pictures. No two of its
// pictures are turns of each other; turnedPairs() holds such pairs apart.
// Each picture's pattern is made as mvmarker makes it from the picture
// (mvtool::patternValues), the project's picture taking the bundled
// patt.lumo. Everything is deterministic.
#ifndef MORVEX_TOOLS_CONFUSION_H
#define MORVEX_TOOLS_CONFUSION_H

#include <string>
#include <utility>
#include <vector>

#include "morvex/tracker.h"
#include "render.h"

namespace confusion {

struct Picture {
    std::string name;        // "glyph A", "shape disc", ...
    std::string kind;        // glyph, shape, cells, texture, gradient, project
    render::Image picture;   // 256 x 256 RGB, no border
    std::string pattern_file;  // a pattern file in the resource folder to use
                               // instead of the picture's cells ("" none)
};

// True when glyphs can be drawn (FreeType built in and the fonts found).
bool glyphsAvailable();

// The whole set (glyphs only when available), in a fixed order.
std::vector<Picture> pictureSet();
// The set without glyphs: what every build can draw.
std::vector<Picture> drawnSet();
// Pairs of pictures that are (nearly) turns of each other: 6 and 9, n and
// u, d and p, b and q, M and W, N and Z (glyphs, when available), and a
// shape with its own half turn.
std::vector<std::pair<Picture, Picture>> turnedPairs();

// A pattern for `p` (its file, or its cells as mvmarker makes them), named
// p.name; NULL when its file cannot be read (message on stderr).
MvPattern *makePattern(const Picture &p);

// One view of one picture.
struct View {
    int picture = 0;         // index into the set
    double width_px = 80;    // side of the marker seen face-on at this distance
    double tilt = 0, roll = 0;   // degrees (render::poseAt)
    double blur = 0, noise = 0;  // pixels, grey levels
    render::Background background = render::Background::Plain;
    double du = 0, dv = 0;   // marker centre's offset from the frame centre, in [-1, 1] of the room left
    unsigned seed = 1;
};

// The grid of views: for each picture, marker widths 24..160 px, tilts 0,
// 25, 45 and 60 degrees, four rolls (near each quarter turn), blurs 0, 0.8
// and 1.5 px, noise 0, 4 and 10 grey levels; backgrounds and places vary
// with the view. 1152 views per picture; `step` keeps every step-th view
// (a slice spread over all conditions).
std::vector<View> viewGrid(size_t pictures, int step = 1);

// What one tracker reported for one view.
struct Outcome {
    bool found = false;      // a reported marker lies on the truth's square
    int id = -1;             // its pattern id (-1 unknown)
    double confidence = 0;
    double side_px = 0;      // the truth square's shortest side, pixels
    double corners[4][2] = {};   // the found marker's corners, ideal pixels of the frame
    int stray = 0;           // markers elsewhere that were given an id
    int stray_id = -1;       // the last of them, its pattern and correlation
    double stray_confidence = 0;
};

// Frames and trackers for a picture set: markers of 80 mm seen by the
// bundled camera at 320 x 240. Trackers are made with `settings` and the
// set's patterns (pattern id k is picture k). One Bench per thread; the
// patterns may be shared.
class Bench {
public:
    struct Options {
        MvTrackerSettings settings;
        bool leave_one_out = false;  // also track each view with its own pattern left out
        bool bundled_alone = false;  // also track with the project's pattern alone
        Options() { mvTrackerSettingsInit(&settings); }
    };
    Bench(const std::vector<Picture> &set, const std::vector<MvPattern *> &patterns, const Options &opt);
    ~Bench();
    Bench(const Bench &) = delete;
    Bench &operator=(const Bench &) = delete;

    // Renders the view and tracks it (a fresh stream) with every pattern
    // loaded (*all), with all but the view's own (*without, when asked for)
    // and with the project's pattern alone (*alone, when asked for; its id
    // is then the project picture's index).
    void look(const View &v, Outcome *all, Outcome *without = nullptr, Outcome *alone = nullptr);

    MvTracker *tracker() { return all_; }
    // The last view's frame and the camera it was tracked with.
    const render::Image &frame() const { return frame_; }
    const MvCameraParam &camera() const { return tile_; }
    // Notes the full tracker passed to its message callback while patterns
    // were added.
    const std::vector<std::string> &notes() const { return notes_; }

private:
    const std::vector<Picture> &set_;
    std::vector<render::Image> markers_;
    MvCameraParam cam_, tile_;
    render::Image frame_;
    MvTracker *all_ = nullptr, *alone_ = nullptr;
    std::vector<MvTracker *> without_;
    int project_ = -1;
    std::vector<std::string> notes_;
};

// The index of the project's picture in a set, -1 when absent.
int projectIndex(const std::vector<Picture> &set);

}  // namespace confusion

#endif
