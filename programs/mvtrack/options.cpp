// mvtrack's command line.
#include "options.h"

#include "tool_support.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace mvtrack {

namespace {

const char *kHelp =
    "usage: mvtrack [options] INPUT...\n"
    "\n"
    "Tracks markers in video files, image sequences, images or cameras and writes\n"
    "one JSON object per frame (or CSV rows) to standard output.\n"
    "\n"
    "Inputs (any number; each gets its own tracker):\n"
    "  clip.avi           a video file (anything FFmpeg reads)\n"
    "  frames/%04d.png    an image sequence; shot.png a single image\n"
    "  /dev/video0        a V4L2 camera\n"
    "  --file PATH, --dev PATH (also -file=PATH, -dev=PATH) name one as well\n"
    "\n"
    "Capture (for every input):\n"
    "  --width N --height N  frame size; the source is scaled (default: its own size)\n"
    "  --pace             files in real time (default: as fast as they decode)\n"
    "  --loop             files start again at the end (stop with --frames)\n"
    "\n"
    "Tracking:\n"
    "  --camera FILE      calibration file (default: the bundled camera_para.dat),\n"
    "                     rescaled to the frame size when its size differs\n"
    "  --pattern FILE[:SIDE_MM]\n"
    "                     a pattern to recognise, with its marker's side in mm (the\n"
    "                     side of the black square); repeat for several patterns.\n"
    "                     Default: the bundled patt.lumo, unless --family is given\n"
    "  --family NAME[:SIDE_MM]\n"
    "                     decode coded markers of a family: tag36h11, tag25h9,\n"
    "                     tag16h5, aruco4x4_50 (and _100, _250, _1000; 5x5, 6x6,\n"
    "                     7x7 likewise), aruco_original; repeatable. SIDE_MM is the\n"
    "                     black square's side. None is decoded unless asked\n"
    "  --code-side NAME:ID:SIDE_MM\n"
    "                     the side of one marker of a family, when it differs\n"
    "  --side MM          marker side for patterns and families given without one\n"
    "                     (default 45)\n"
    "  --thresh N         fixed darkness threshold 0..255 (default: automatic,\n"
    "                     following the markers' and the scene's brightness)\n"
    "  --no-refine        the plain detector's corners, identities and poses\n"
    "                     (default: sub-pixel corners, identification from them\n"
    "                     and a refined pose kept steady from frame to frame)\n"
    "  --lite             detection without the frame-to-frame history\n"
    "  --half             detect at half resolution (faster, less precise)\n"
    "  --grey             match patterns in grey instead of colour\n"
    "  --min-confidence C report a pattern from correlation C (0.5..1) on; default:\n"
    "                     each pattern's own level, where chance is very unlikely\n"
    "  --no-guard         any correlation of at least 0.5 names a pattern, as the\n"
    "                     viewer does (more markers named, some of them wrongly)\n"
    "  --jobs N           inputs tracked at the same time, one thread each (default 1)\n"
    "  --threads N        threads sharing each frame's work (default 1; 0: one per\n"
    "                     processor); the records are the same for any number\n"
    "\n"
    "Output:\n"
    "  --frames N         stop each input after N frames\n"
    "  --out FILE         write the records to FILE instead of standard output\n"
    "  --csv              CSV, one row per marker, pose as translation + quaternion\n"
    "  --identified-only  only markers whose pattern was recognised (those carry poses)\n"
    "  --annotate OUT     write the frames with outlines, ids and axes drawn in:\n"
    "                     a video (MJPEG, e.g. out.avi) or PNG files (out/%04d.png);\n"
    "                     one input only\n"
    "  --source-name NAME a \"source\" key (CSV: first column) with NAME in every\n"
    "                     record; with several inputs each record carries its input\n"
    "  -h, --help         this text\n"
    "\n"
    "Examples:\n"
    "  mvtrack clip.avi > poses.jsonl\n"
    "  mvtrack frames/%04d.png --csv --out poses.csv\n"
    "  mvtrack --jobs 2 day1.mp4 day2.mp4 --out all.jsonl\n"
    "  mvtrack /dev/video0 --frames 300 --pattern mine.lumo:80 --annotate live.avi\n"
    "  mvtrack robot.mp4 --family tag36h11:80 --csv --identified-only\n"
    "\n"
    "Progress goes to standard error when it is a terminal; a summary always,\n"
    "ending with one line \"mvtrack: summary {JSON}\" per input (source, status,\n"
    "frames). Exit status 0 when every input was tracked to its end (or --frames),\n"
    "1 when any failed (one line naming it; the others run to the end), 128 + the\n"
    "signal's number when SIGINT or SIGTERM stopped it (the records so far are\n"
    "complete).\n";

std::string quoted(const std::string &s) { return "\"" + s + "\""; }

// Every word mvtrack takes, for the answer to an unknown one.
const char *const kWords[] = {
    "--camera", "--pattern", "--family", "--code-side", "--side", "--thresh", "--no-refine", "--lite", "--half",
    "--grey", "--min-confidence", "--no-guard", "--jobs", "--threads", "--frames", "--out", "--csv",
    "--identified-only", "--annotate", "--source-name", "--help", "--file", "--dev", "--width", "--height",
    "--pace", "--nopace", "--loop",
};

size_t edit_distance(const std::string &a, const std::string &b)
{
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); j++) row[j] = j;
    for (size_t i = 1; i <= a.size(); i++) {
        size_t diag = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); j++) {
            const size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diag + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diag = up;
        }
    }
    return row[b.size()];
}

std::string unknown(const std::string &word)
{
    // Compared without dashes, so that "-camera" finds "--camera".
    std::string bare = word.substr(word.find_first_not_of('-') == std::string::npos
                                       ? word.size()
                                       : word.find_first_not_of('-'));
    bare = bare.substr(0, bare.find('='));
    const char *best = nullptr;
    size_t best_d = 0;
    for (const char *w : kWords) {
        const size_t d = edit_distance(bare, w + 2);
        if (best == nullptr || d < best_d) {
            best = w;
            best_d = d;
        }
    }
    std::string text = "unknown option " + quoted(word.size() > 60 ? word.substr(0, 60) + "..." : word);
    if (best != nullptr && best_d <= std::max<size_t>(2, bare.size() / 3))
        text += " (did you mean " + std::string(best) + "?)";
    return text + "; see mvtrack --help";
}

bool exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

bool is_camera(const std::string &path)
{
    struct stat st;
    return path.rfind("/dev/", 0) == 0 || (stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode));
}

// "FILE[:SIDE_MM]": the part after the last colon is a side unless it holds
// a slash (then the colon belongs to a folder name).
bool parse_pattern(const std::string &arg, PatternOption *p, std::string *error)
{
    p->path = arg;
    const size_t colon = arg.rfind(':');
    if (colon != std::string::npos && arg.find('/', colon) == std::string::npos) {
        const std::string w = arg.substr(colon + 1);
        double side;
        if (!mvtool::parseDecimal(w, &side) || !(side > 0)) {
            *error = "bad marker side " + quoted(w) + " in --pattern " + quoted(arg) +
                     " (a positive number of millimetres)";
            return false;
        }
        p->side = side;
        p->sideGiven = true;
        p->path = arg.substr(0, colon);
    }
    p->name = p->path;
    if (p->path.empty()) {
        *error = "--pattern " + quoted(arg) + " names no file";
        return false;
    }
    return true;
}

// The capture words that apply to every input.
struct Capture {
    int width = 0, height = 0;
    bool loop = false, pace = false;
};

class Parser {
public:
    Parser(int argc, char **argv, Options *o, std::string *error)
        : argc_(argc), argv_(argv), o_(o), error_(error)
    {
    }

    bool run()
    {
        for (i_ = 1; i_ < argc_; i_++) {
            const std::string a = argv_[i_];
            if (a.size() < 2 || a[0] != '-') {
                if (!add_input(a, is_camera(a))) return false;
                continue;
            }
            // Several capture words in one argument, as the capture takes
            // them ("-file=clip.avi -nopace"), unless the argument is a
            // path word whose path (blanks and all) names a file.
            if (a.find_first_of(" \t") != std::string::npos && !whole_path_word(a)) {
                if (!split_words(a)) return false;
                continue;
            }
            if (!word(a, true)) return false;
        }
        return finish();
    }

private:
    bool fail(const std::string &text)
    {
        *error_ = text;
        return false;
    }

    bool add_input(const std::string &path, bool camera)
    {
        if (path.size() > 255) return fail("input path " + quoted(path.substr(0, 40) + "...") + " is longer than 255 characters");
        Input in;
        in.label = path;
        in.camera = camera;
        mvVideoConfigInit(&in.config);
        std::snprintf(camera ? in.config.dev : in.config.file, sizeof in.config.file, "%s",
                      path.c_str());
        if (camera) in.config.file[0] = '\0';
        o_->inputs.push_back(in);
        return true;
    }

    bool whole_path_word(const std::string &a)
    {
        for (const char *prefix : {"-file=", "--file=", "-dev=", "--dev="}) {
            const size_t n = std::strlen(prefix);
            if (a.compare(0, n, prefix) == 0) {
                const std::string path = a.substr(n);
                return exists(path) || path.find('%') != std::string::npos;
            }
        }
        return false;
    }

    bool split_words(const std::string &a)
    {
        size_t p = 0;
        while ((p = a.find_first_not_of(" \t", p)) != std::string::npos) {
            const size_t e = a.find_first_of(" \t", p);
            const std::string w = a.substr(p, e == std::string::npos ? std::string::npos : e - p);
            // Words inside one argument carry their values after '='.
            if (w[0] != '-') return fail("unexpected word " + quoted(w) + " in " + quoted(a));
            if (!word(w, false)) return false;
            p = e;
        }
        return true;
    }

    // The value of option `name`: after '=', or the next argument.
    bool value(const std::string &name, bool inline_value, bool may_take_next, std::string *v)
    {
        if (inline_value) return true;
        if (!may_take_next || i_ + 1 >= argc_) return fail("missing value after " + name);
        *v = argv_[++i_];
        return true;
    }

    bool number(const std::string &name, const std::string &v, long lo, long hi, long *out)
    {
        if (mvtool::parseWhole(v, lo, hi, out)) return true;
        return fail("bad number " + quoted(v) + " for " + name + " (a whole number " +
                    std::to_string(lo) + ".." + (hi == LONG_MAX ? std::string("") : std::to_string(hi)) +
                    ")");
    }

    // One word: --name[=value] or -name[=value]. `may_take_next`: the
    // value may be the next argument.
    bool word(const std::string &a, bool may_take_next)
    {
        if (a == "-h" || a == "--help" || a == "-help") {
            o_->help = true;
            return true;
        }
        const size_t dashes = a.compare(0, 2, "--") == 0 ? 2 : 1;
        const size_t eq = a.find('=');
        const std::string bare = a.substr(dashes, eq == std::string::npos ? std::string::npos : eq - dashes);
        const std::string name = "--" + bare;
        const bool inline_value = eq != std::string::npos;
        std::string v = inline_value ? a.substr(eq + 1) : std::string();
        const auto flag = [&](bool *f) {
            if (inline_value) return fail("option " + name + " takes no value (in " + quoted(a) + ")");
            *f = true;
            return true;
        };
        bool on = false;
        long n = 0;
        if (bare == "file" || bare == "dev") {
            if (!value(name, inline_value, may_take_next, &v)) return false;
            if (v.empty()) return fail(name + " names no path");
            if (!add_input(v, bare == "dev")) return false;
        } else if (bare == "width" || bare == "height") {
            if (!value(name, inline_value, may_take_next, &v) || !number(name, v, 1, 16384, &n))
                return false;
            (bare == "width" ? capture_.width : capture_.height) = (int)n;
        } else if (bare == "loop") {
            return flag(&capture_.loop);
        } else if (bare == "pace") {
            return flag(&capture_.pace);
        } else if (bare == "nopace") {
            // Files run as fast as they decode by default now.
            return flag(&on);
        } else if (bare == "lite") {
            if (!flag(&on)) return false;
            o_->settings.history = 0;
        } else if (bare == "half") {
            if (!flag(&on)) return false;
            o_->settings.halfResolution = 1;
        } else if (bare == "grey" || bare == "gray") {
            if (!flag(&on)) return false;
            o_->settings.greyMatching = 1;
        } else if (bare == "no-refine") {
            if (!flag(&on)) return false;
            o_->settings.refine = 0;
        } else if (bare == "no-guard") {
            if (!flag(&on)) return false;
            o_->settings.guard = 0;
        } else if (bare == "min-confidence") {
            if (!value(name, inline_value, may_take_next, &v)) return false;
            if (!mvtool::parseDecimal(v, &o_->minConfidence) || !(o_->minConfidence >= 0.5) ||
                o_->minConfidence > 1.0)
                return fail("bad confidence " + quoted(v) + " for --min-confidence (0.5 to 1)");
        } else if (bare == "csv") {
            return flag(&o_->csv);
        } else if (bare == "identified-only") {
            return flag(&o_->identifiedOnly);
        } else if (bare == "camera") {
            if (!value(name, inline_value, may_take_next, &v)) return false;
            o_->camera = v;
        } else if (bare == "pattern") {
            PatternOption p;
            if (!value(name, inline_value, may_take_next, &v) || !parse_pattern(v, &p, error_)) return false;
            o_->patterns.push_back(p);
        } else if (bare == "family") {
            if (!value(name, inline_value, may_take_next, &v) || !parse_family(v)) return false;
        } else if (bare == "code-side") {
            if (!value(name, inline_value, may_take_next, &v) || !parse_code_side(v)) return false;
        } else if (bare == "side") {
            if (!value(name, inline_value, may_take_next, &v)) return false;
            if (!mvtool::parseDecimal(v, &o_->side) || !(o_->side > 0))
                return fail("bad marker side " + quoted(v) + " for --side (a positive number of millimetres)");
            o_->sideGiven = true;
        } else if (bare == "thresh") {
            if (!value(name, inline_value, may_take_next, &v) || !number(name, v, 0, 255, &n)) return false;
            o_->settings.threshold = (int)n;
        } else if (bare == "frames") {
            if (!value(name, inline_value, may_take_next, &v) || !number(name, v, 1, LONG_MAX, &o_->frames))
                return false;
        } else if (bare == "jobs") {
            if (!value(name, inline_value, may_take_next, &v) || !number(name, v, 1, 256, &n)) return false;
            o_->jobs = (int)n;
        } else if (bare == "threads") {
            if (!value(name, inline_value, may_take_next, &v) || !number(name, v, 0, MV_TRACKER_THREADS_MAX, &n))
                return false;
            o_->settings.threads = (int)n;
        } else if (bare == "out") {
            if (!value(name, inline_value, may_take_next, &v)) return false;
            o_->out = v;
        } else if (bare == "annotate") {
            if (!value(name, inline_value, may_take_next, &v)) return false;
            o_->annotate = v;
        } else if (bare == "source-name") {
            if (!value(name, inline_value, may_take_next, &v)) return false;
            o_->sourceName = v;
            o_->hasSourceName = true;
        } else {
            return fail(unknown(a));
        }
        return true;
    }

    // "NAME[:SIDE_MM]".
    bool parse_family(const std::string &arg)
    {
        FamilyOption f;
        const size_t colon = arg.find(':');
        f.name = arg.substr(0, colon);
        if (!known_family(f.name)) return false;
        if (colon != std::string::npos) {
            const std::string w = arg.substr(colon + 1);
            if (!mvtool::parseDecimal(w, &f.side) || !(f.side > 0))
                return fail("bad marker side " + quoted(w) + " in --family " + quoted(arg) +
                            " (a positive number of millimetres)");
            f.sideGiven = true;
        }
        for (FamilyOption &g : o_->families)
            if (g.name == f.name) return fail("--family " + f.name + " given twice");
        o_->families.push_back(f);
        return true;
    }

    // "NAME:ID:SIDE_MM", for a family given with --family (before or after).
    bool parse_code_side(const std::string &arg)
    {
        const size_t a = arg.find(':'), b = a == std::string::npos ? a : arg.find(':', a + 1);
        long id;
        double side;
        if (b == std::string::npos || !mvtool::parseWhole(arg.substr(a + 1, b - a - 1), 0, 65535, &id) ||
            !mvtool::parseDecimal(arg.substr(b + 1), &side) || !(side > 0))
            return fail("bad --code-side " + quoted(arg) + " (NAME:ID:SIDE_MM, e.g. tag36h11:7:120)");
        code_sides_.push_back({arg.substr(0, a), {(int)id, side}});
        return known_family(arg.substr(0, a));
    }

    bool known_family(const std::string &name)
    {
        std::string all;
        for (int k = 0; k < mvCodeFamilyCount(); k++) {
            if (name == mvCodeFamilyName(k)) return true;
            all += std::string(k ? ", " : "") + mvCodeFamilyName(k);
        }
        return fail("unknown marker family " + quoted(name) + " (" + all + ")");
    }

    bool finish()
    {
        if (o_->help) return true;
        if (o_->inputs.empty())
            return fail("no input: give a video file, an image sequence (frames/%04d.png), an image or a "
                        "camera (/dev/video0); see mvtrack --help");
        if (o_->inputs.size() > 1 && o_->hasSourceName)
            return fail("--source-name names one input; with several each record carries its input's name");
        if (o_->inputs.size() > 1 && !o_->annotate.empty())
            return fail("--annotate takes one input (" + std::to_string(o_->inputs.size()) + " given)");
        for (PatternOption &p : o_->patterns)
            if (!p.sideGiven) p.side = o_->side;
        for (FamilyOption &f : o_->families)
            if (!f.sideGiven) f.side = o_->side;
        for (const auto &cs : code_sides_) {
            FamilyOption *f = nullptr;
            for (FamilyOption &g : o_->families)
                if (g.name == cs.first) f = &g;
            if (f == nullptr) return fail("--code-side for " + cs.first + ", which no --family names");
            f->sides.push_back(cs.second);
        }
        for (Input &in : o_->inputs) {
            MvVideoConfig &c = in.config;
            if (capture_.width > 0) {
                c.width = capture_.width;
                c.widthGiven = 1;
            }
            if (capture_.height > 0) {
                c.height = capture_.height;
                c.heightGiven = 1;
            }
            c.loop = capture_.loop ? 1 : 0;
            c.nopace = capture_.pace ? 0 : 1;
        }
        return true;
    }

    int argc_, i_ = 1;
    char **argv_;
    Options *o_;
    std::string *error_;
    Capture capture_;
    std::vector<std::pair<std::string, std::pair<int, double>>> code_sides_;
};

}  // namespace

bool parseOptions(int argc, char **argv, Options *o, std::string *error)
{
    mvTrackerSettingsInit(&o->settings);
    return Parser(argc, argv, o, error).run();
}

const char *helpText() { return kHelp; }

}  // namespace mvtrack
