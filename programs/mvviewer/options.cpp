// The viewer's own options; every other word is a capture word.
#include "options.h"

#include "tool_support.h"

#include <cstring>

const char *const kViewerUsage =
    "usage: mvviewer [options] [capture words]\n"
    "\n"
    "Shows the capture with a 3-D scene (a white square, a lit sphere, three axes\n"
    "and a particle fountain) on each tracked marker. Escape prints the frame rate\n"
    "and quits.\n"
    "\n"
    "Options:\n"
    "  --pattern FILE[:MM]  a pattern file to track (mvmarker makes one), and its\n"
    "                       marker's side in mm (default: --side); repeatable.\n"
    "                       Default: the bundled patt.lumo\n"
    "  --side MM            marker side in mm, the outer side of the black square,\n"
    "                       for patterns without their own (default 45)\n"
    "  --camera FILE        camera file, rescaled to the frame size (default: the\n"
    "                       bundled camera_para.dat; mvcalib makes one)\n"
    "  --track              track with the full pipeline (sub-pixel corners,\n"
    "                       automatic threshold, refined poses steady from frame to\n"
    "                       frame) instead of the plain detector at threshold 100\n"
    "  -h, --help           this help\n"
    "  (--opt=VALUE works as well as --opt VALUE)\n"
    "\n"
    "The bundled files are looked up in resources/ beside the program, then in\n"
    "../share/morvex. The scene is drawn to the marker's size.\n"
    "\n"
    "examples:\n"
    "  mvviewer -file=clip.avi -loop\n"
    "  mvviewer --pattern logo.lumo:80 --camera mycam.dat -dev=/dev/video2\n"
    "  mvviewer --track -dev=/dev/video0 -width=640 -height=480\n"
    "\n"
    "Capture words (joined by blanks; with none, the camera /dev/video0 at\n"
    "320 x 240):\n";

namespace {

bool parse_side(const std::string &text, double *mm)
{
    return mvtool::parseDecimal(text, 0.1, 10000.0, mm);
}

}  // namespace

bool parseOptions(int argc, char **argv, ViewerOptions *out, std::string *error)
{
    ViewerOptions o;
    std::vector<bool> own_side;   // per pattern: its side came with it (FILE:MM)
    for (int i = 1; i < argc; i++) {
        const std::string w = argv[i];
        if (w == "-h" || w == "--help") {
            o.help = true;
            continue;
        }
        if (w == "--track") {
            o.track = true;
            continue;
        }
        if (w.rfind("--", 0) != 0) {
            // A capture word.
            if (!o.capture.empty()) o.capture += ' ';
            o.capture += w;
            continue;
        }
        const size_t eq = w.find('=');
        const std::string name = w.substr(0, eq);
        std::string value;
        if (name != "--pattern" && name != "--side" && name != "--camera") {
            *error = "unknown option '" + w + "' (see mvviewer --help; capture words take one dash, e.g. -file=PATH)";
            return false;
        }
        if (eq != std::string::npos) {
            value = w.substr(eq + 1);
        } else if (i + 1 < argc && argv[i + 1][0] != '-') {
            value = argv[++i];
        } else {
            // A following word that starts with a dash is the next option or
            // a capture word (a file named so: --opt=-name).
            *error = name + " needs a value" +
                     (i + 1 < argc ? std::string(" before '") + argv[i + 1] + "'" : std::string()) +
                     " (see mvviewer --help)";
            return false;
        }
        if (value.empty()) {
            *error = name + " needs a value, not an empty word";
            return false;
        }
        if (name == "--camera") {
            o.camera = value;
        } else if (name == "--side") {
            if (!parse_side(value, &o.side_mm)) {
                *error = "--side: '" + value + "' is not a size in mm (0.1..10000)";
                return false;
            }
            o.side_given = true;
        } else {
            // FILE:MM when what follows the last colon is a size; else the
            // whole word is the file.
            ViewerPattern p;
            p.path = value;
            const size_t colon = value.rfind(':');
            double mm;
            bool own = false;
            if (colon != std::string::npos && colon > 0 && parse_side(value.substr(colon + 1), &mm)) {
                p.path = value.substr(0, colon);
                p.side_mm = mm;
                own = true;
            }
            o.patterns.push_back(p);
            own_side.push_back(own);
        }
    }
    if (o.patterns.empty()) {
        o.patterns.push_back(ViewerPattern());
        own_side.push_back(false);
    }
    for (size_t k = 0; k < o.patterns.size(); k++)
        if (!own_side[k]) o.patterns[k].side_mm = o.side_mm;
    *out = o;
    return true;
}
