// mvtrack - tracks markers in recorded video or a live camera without a
// window, and writes what it found per frame as JSON lines or CSV, with an
// annotated copy of the frames on request. Built on the public library and
// the capture's own configuration parser.
#include "annotate.h"
#include "input_probe.h"
#include "track_output.h"
#include "track_step.h"

#include "morvex.h"
#include "tool_files.h"
#include "tool_support.h"
#include "video_config.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const char *kHelp =
    "usage: mvtrack CAPTURE-WORDS... [options]\n"
    "\n"
    "Tracks markers in a video file, an image sequence or a camera and writes\n"
    "one JSON object per frame (or CSV rows) to standard output.\n"
    "\n"
    "Capture words (as for the viewer; several words may share one argument):\n"
    "  -file=PATH         a video file, or an image sequence (frames/%04d.png)\n"
    "  -dev=PATH          a V4L2 camera (e.g. /dev/video0)\n"
    "  -nopace            with -file: as fast as possible (else at the file's rate)\n"
    "  -loop              with -file: start again at the end (stop with --frames)\n"
    "  -width=N -height=N frame size (default: the source's own; the source is scaled)\n"
    "\n"
    "Options:\n"
    "  --camera FILE      calibration file (default: the bundled camera_para.dat);\n"
    "                     rescaled to the frame size when its size differs\n"
    "  --pattern FILE[:WIDTH_MM]\n"
    "                     a pattern to recognise, with the marker's side in mm\n"
    "                     (default 45); repeat for several patterns. Default: the\n"
    "                     bundled patt.lumo at 45 mm\n"
    "  --thresh N         fixed darkness threshold 0..255 (default: automatic,\n"
    "                     following the markers' and the scene's brightness)\n"
    "  --no-refine        the plain detector's corners, identities and poses\n"
    "                     (default: sub-pixel corners, identification from them\n"
    "                     and a refined pose kept steady from frame to frame)\n"
    "  --lite             detection without the frame-to-frame history\n"
    "  --half             detect at half resolution (faster, less precise)\n"
    "  --grey             match patterns in grey instead of colour\n"
    "  --frames N         stop after N frames\n"
    "  --out FILE         write the records to FILE instead of standard output\n"
    "  --csv              CSV, one row per marker, pose as translation + quaternion\n"
    "  --annotate OUT     write the frames with outlines, ids and axes drawn in:\n"
    "                     a video (MJPEG, e.g. out.avi) or PNG files (out/%04d.png)\n"
    "  --source-name NAME a \"source\" key (CSV: first column) with NAME in every\n"
    "                     record, so that outputs of many runs can be merged\n"
    "  --help             this text\n"
    "\n"
    "Examples:\n"
    "  mvtrack -file=clip.avi -nopace > poses.jsonl\n"
    "  mvtrack -file=frames/%04d.png -nopace --csv --out poses.csv\n"
    "  mvtrack -dev=/dev/video0 --frames 300 --pattern mine.lumo:80 --annotate live.avi\n"
    "  mvtrack -file=clip.avi -nopace --camera my_camera.dat --annotate 'check/%03d.png'\n"
    "\n"
    "Progress goes to standard error when it is a terminal; a summary always,\n"
    "ending with one line \"mvtrack: summary {JSON}\" (source, status, frames).\n"
    "Exit status 0 when the input was tracked to its end (or --frames), 1 on any\n"
    "error (one line naming its cause; no records kept), 128 + the signal's number\n"
    "when SIGINT or SIGTERM stopped it (the records so far are complete).\n";

struct Pattern {
    std::string path;    // as given
    std::string name;    // shown in the records: the path as given, or the
                         // bundled file's name
    long framesFound = 0;
    double errorSum = 0.0;
    long poses = 0;
    mvtrack::PatternTrack track;   // slot, marker side and previous pose
};

struct Options {
    std::vector<std::string> capture;
    std::string camera;
    std::vector<Pattern> patterns;
    mvtrack::TrackSettings step;   // --thresh, --no-refine, --lite
    bool half = false, grey = false, csv = false, help = false;
    long frames = -1;
    std::string out, annotate;
    bool hasSourceName = false;
    std::string sourceName;   // --source-name
};

volatile sig_atomic_t g_stop = 0;   // the signal that asked to stop, or 0
void on_signal(int sig) { g_stop = sig; }

int fail(const std::string &message)
{
    fprintf(stderr, "mvtrack: %s\n", message.c_str());
    return 1;
}

std::string quoted(const std::string &s) { return "\"" + s + "\""; }

// "FILE[:WIDTH_MM]": the part after the last colon is a width unless it
// holds a slash (then the colon belongs to a folder name).
bool parse_pattern(const std::string &arg, Pattern *p, std::string *error)
{
    p->path = arg;
    const size_t colon = arg.rfind(':');
    if (colon != std::string::npos && arg.find('/', colon) == std::string::npos) {
        const std::string w = arg.substr(colon + 1);
        double width;
        if (!mvtool::parseDecimal(w, &width) || width <= 0) {
            *error = "bad marker width " + quoted(w) + " in --pattern " + quoted(arg) +
                     " (a positive number of millimetres)";
            return false;
        }
        p->track.width = width;
        p->path = arg.substr(0, colon);
    }
    p->name = p->path;
    if (p->path.empty()) {
        *error = "--pattern " + quoted(arg) + " names no file";
        return false;
    }
    return true;
}

void split_words(const char *arg, std::vector<std::string> *words)
{
    std::string w;
    for (const char *c = arg;; c++) {
        if (*c == ' ' || *c == '\t' || *c == '\0') {
            if (!w.empty()) words->push_back(w);
            w.clear();
            if (*c == '\0') return;
        } else {
            w += *c;
        }
    }
}

bool parse_args(int argc, char **argv, Options *o, std::string *error)
{
    for (int i = 1; i < argc; i++) {
        const std::string a = argv[i];
        if (a.rfind("--", 0) != 0) {
            if (a.size() < 2 || a[0] != '-') {
                *error = "unexpected argument " + quoted(a) +
                         " (capture words start with -, e.g. -file=clip.avi; see --help)";
                return false;
            }
            split_words(argv[i], &o->capture);
            continue;
        }
        std::string name = a, value;
        bool inline_value = false;
        const size_t eq = a.find('=');
        if (eq != std::string::npos) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
            inline_value = true;
        }
        const auto flag = [&](bool *f) {
            if (inline_value) {
                *error = "option " + name + " takes no value (in " + quoted(a) + ")";
                return false;
            }
            *f = true;
            return true;
        };
        const auto need = [&]() {
            if (inline_value) return true;
            if (i + 1 >= argc) {
                *error = "missing value after " + name;
                return false;
            }
            value = argv[++i];
            return true;
        };
        if (name == "--help") {
            if (!flag(&o->help)) return false;
        } else if (name == "--lite") {
            if (!flag(&o->step.lite)) return false;
        } else if (name == "--half") {
            if (!flag(&o->half)) return false;
        } else if (name == "--grey" || name == "--gray") {
            if (!flag(&o->grey)) return false;
        } else if (name == "--csv") {
            if (!flag(&o->csv)) return false;
        } else if (name == "--no-refine") {
            bool off = false;
            if (!flag(&off)) return false;
            o->step.refine = false;
        } else if (name == "--camera") {
            if (!need()) return false;
            o->camera = value;
        } else if (name == "--pattern") {
            Pattern p;
            if (!need() || !parse_pattern(value, &p, error)) return false;
            o->patterns.push_back(p);
        } else if (name == "--thresh") {
            long v;
            if (!need()) return false;
            if (!mvtool::parseWhole(value, 0, 255, &v)) {
                *error = "bad number " + quoted(value) + " for --thresh (an integer 0..255)";
                return false;
            }
            o->step.thresh = static_cast<int>(v);
        } else if (name == "--frames") {
            if (!need()) return false;
            if (!mvtool::parseWhole(value, 1, LONG_MAX, &o->frames)) {
                *error = "bad number " + quoted(value) + " for --frames (a positive integer)";
                return false;
            }
        } else if (name == "--out") {
            if (!need()) return false;
            o->out = value;
        } else if (name == "--annotate") {
            if (!need()) return false;
            o->annotate = value;
        } else if (name == "--source-name") {
            if (!need()) return false;
            o->sourceName = value;
            o->hasSourceName = true;
        } else {
            *error = "unknown option " + quoted(name) + " (see mvtrack --help)";
            return false;
        }
    }
    return true;
}

// mvtrack's message for a capture word the capture would refuse.
std::string refused_word(const mvvideo::ConfigError &e)
{
    const std::string w(e.word, e.length);
    switch (e.fault) {
    case mvvideo::ConfigFault::too_long:
        return "capture word " + quoted(w.substr(0, 40) + "...") + " is too long";
    case mvvideo::ConfigFault::bad_number:
        return "bad number in capture word " + quoted(w) + " (1..16384)";
    case mvvideo::ConfigFault::no_path:
        return "capture word " + quoted(w) + " names no path";
    default:
        return "unknown capture word " + quoted(w) +
               " (-file=PATH -dev=PATH -nopace -loop -width=N -height=N)";
    }
}

bool is_dir(const std::string &p)
{
    struct stat st;
    return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Why `path` cannot be read, or empty.
std::string unreadable(const std::string &path)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (f == nullptr) return strerror(errno);
    fclose(f);
    if (is_dir(path)) return "it is a folder";
    return std::string();
}

bool load_pattern(Pattern *p, std::string *error)
{
    if (!mvtool::checkPatternFile(p->path, error)) return false;
    mvClearError();
    p->track.slot = mvLoadPatt(p->path.c_str());
    if (p->track.slot < 0) {
        *error = "cannot load pattern file " + quoted(p->path) + ": " + mvLastErrorText();
        return false;
    }
    return true;
}

double seconds_since(std::chrono::steady_clock::time_point t)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

// The progress line on a terminal: at most five updates a second.
class Progress {
public:
    Progress(bool on, long total) : on_(on), total_(total) {}
    void update(long frames, double elapsed, bool force = false)
    {
        if (!on_ || (!force && elapsed - last_ < 0.2)) return;
        last_ = elapsed;
        const double fps = elapsed > 0 ? frames / elapsed : 0.0;
        if (total_ > 0) {
            const double done = std::fmin(1.0, static_cast<double>(frames) / total_);
            fprintf(stderr, "\rmvtrack: %ld/%ld frames (%.0f%%), %.1f frames/s", frames, total_,
                    100.0 * done, fps);
            if (fps > 0) fprintf(stderr, ", %.0f s left", std::fmax(0.0, (total_ - frames) / fps));
        } else {
            fprintf(stderr, "\rmvtrack: %ld frames, %.1f frames/s", frames, fps);
        }
        fprintf(stderr, "\033[K");
        shown_ = true;
    }
    void end()
    {
        if (shown_) fprintf(stderr, "\n");
    }

private:
    bool on_;
    long total_;
    double last_ = -1.0;
    bool shown_ = false;
};

// What tracking needs once the inputs are open, and the tallies for the
// report.
struct Session {
    FILE *out = nullptr;   // the records: standard output or outFile's stream
    mvtool::OutputFile outFile;   // --out
    int w = 0, h = 0;      // frame size
    std::string source;    // the file or camera opened
    long total = -1;       // frames expected (for the progress line), or -1
    long announced = -1;   // frames a file (not looped) says it holds, or -1
    double fps = 0.0;      // the file's frame rate, 0 when unknown
    std::unique_ptr<mvtrack::FrameSink> sink;   // --annotate, or none
    long frame = 0, failed = 0;                 // frames tracked; of those, given up on
    MvAutoThresh at;                            // the threshold without --thresh
    mvtrack::StepTimes times;                   // spent in detection and pose
    std::vector<mvtrack::TrackedMarker> tracked;   // the frame's markers
    mvtrack::Canvas canvas;
};

// Opens the capture of `config` (parsed: `video`) and makes the camera of
// `file_cam`, rescaled to the frame size, the active one. 0, or 1 after the
// message naming the fault.
int open_capture(const Options &o, const MvVideoConfig &video, const std::string &config,
                 const MvCameraParam &file_cam, Session *s)
{
    const bool is_file = video.file[0] != '\0';
    s->source = is_file ? video.file : video.dev;
    if (s->source.find('%') == std::string::npos) {
        const std::string why = unreadable(s->source);
        if (!why.empty())
            return fail(std::string("cannot read ") + (is_file ? "video file " : "camera ") +
                        quoted(s->source) + ": " + why);
    }
    // Tracked at the source's own size unless the words scale it; one side
    // given alone takes the other from the source's aspect ratio.
    const mvtrack::InputInfo info = mvtrack::probeInput(s->source, !is_file);
    const std::string words = mvtrack::wordsAtSourceSize(config, video, info);
    mvClearError();
    if (mvVideoOpen(words.c_str()) < 0) {
        if (mvLastError() == MV_ERROR_DEVICE) return fail(mvLastErrorText());
        return fail("cannot open the capture " + quoted(config));
    }
    int &w = s->w, &h = s->h;
    mvVideoInqSize(&w, &h);
    const long work_pixels = o.half ? static_cast<long>(w / 2) * (h / 2) : static_cast<long>(w) * h;
    if (work_pixels > MV_WORK_PIXELS_MAX) {
        mvVideoClose();
        return fail("frames of " + std::to_string(w) + " x " + std::to_string(h) +
                    " are too large to detect in (at most " + std::to_string(MV_WORK_PIXELS_MAX) +
                    " pixels): add --half or scale the capture with -width=N -height=N");
    }
    MvCameraParam cam = file_cam;
    if (file_cam.xsize != w || file_cam.ysize != h) {
        mvParamChangeSize(&file_cam, w, h, &cam);
        const double a = static_cast<double>(file_cam.xsize) * h, b = static_cast<double>(file_cam.ysize) * w;
        if (std::fabs(a - b) > 0.01 * b)
            fprintf(stderr, "mvtrack: warning: camera file %s is %d x %d, frames are %d x %d: "
                            "other aspect ratio, poses will be off\n",
                    quoted(o.camera).c_str(), file_cam.xsize, file_cam.ysize, w, h);
    }
    mvInitCparam(&cam);
    mvAutoThreshInit(&s->at, 100);
    mvImageProcMode = o.half ? 1 : 0;
    mvTemplateMatchingMode = o.grey ? 1 : 0;

    s->total = s->announced = is_file && !video.loop ? info.frames : -1;
    if (o.frames > 0 && (s->total < 0 || o.frames < s->total)) s->total = o.frames;
    s->fps = info.fps;
    return 0;
}

// Checks the arguments, loads the camera and patterns and opens the
// capture and the outputs. 0, or 1 after the message naming the fault.
int open_session(Options &o, Session *s)
{
    // The library's messages come through stdout (sent to stderr below):
    // unbuffered, so they appear in order with mvtrack's own.
    setvbuf(stdout, nullptr, _IONBF, 0);
    // While opening, mvtrack words every failure itself, one line each.
    mvSetErrorPrinting(0);
    const std::string res = mvtool::resourceFolder();
    const auto bundled = [&](const char *name, const char *option, std::string *path) {
        if (!res.empty() && unreadable(res + "/" + name).empty()) {
            *path = res + "/" + name;
            return true;
        }
        fprintf(stderr, "mvtrack: the bundled %s is not beside mvtrack (resources/ or "
                        "../share/morvex); give %s FILE\n", name, option);
        return false;
    };

    // Records go to the real standard output; the library's own messages
    // (the codec line, a source that stops) go to standard error so they
    // never mix in.
    if (o.out.empty()) {
        const int fd = dup(1);
        s->out = fd >= 0 ? fdopen(fd, "w") : nullptr;
        if (s->out == nullptr) return fail(std::string("cannot use standard output: ") + strerror(errno));
    }
    fflush(stdout);
    dup2(2, 1);

    std::string error;
    if (o.capture.empty())
        return fail("no input: give capture words, e.g. -file=clip.avi -nopace (see --help)");
    std::string config;
    for (const std::string &w : o.capture) config += (config.empty() ? "" : " ") + w;
    MvVideoConfig video;
    mvvideo::ConfigError refused;
    if (!mvvideo::parse_config(config.c_str(), &video, &refused)) return fail(refused_word(refused));

    bool default_camera = o.camera.empty();
    if (default_camera && !bundled("camera_para.dat", "--camera", &o.camera)) return 1;
    MvCameraParam file_cam;
    if (!mvtool::loadCamera(o.camera, &file_cam, &error)) return fail(error);

    if (o.patterns.empty()) {
        Pattern p;
        if (!bundled("patt.lumo", "--pattern", &p.path)) return 1;
        p.name = "patt.lumo";
        o.patterns.push_back(p);
    }
    for (Pattern &p : o.patterns)
        if (!load_pattern(&p, &error)) return fail(error);

    if (open_capture(o, video, config, file_cam, s) != 0) return 1;

    if (!o.annotate.empty()) {
        s->sink = mvtrack::openSink(o.annotate, s->w, s->h, s->fps, &error);
        if (!s->sink) {
            mvVideoClose();
            return fail(error);
        }
    }
    if (!o.out.empty()) {
        // The records replace an older file only when the run completes.
        if (!s->outFile.open(o.out, &error)) {
            mvVideoClose();
            return fail(error);
        }
        s->out = s->outFile.stream();
    }
    if (o.csv) fputs(mvtrack::csvHeader(o.hasSourceName).c_str(), s->out);
    // From here on the library's messages (a source that stops delivering)
    // show as they are.
    mvSetErrorPrinting(1);
    return 0;
}

// Detects and poses the markers of one frame, writes its record and, with
// --annotate, its picture. False (with *error) when the picture cannot be
// written.
bool track_frame(Options &o, Session &s, unsigned char *image, std::string *error)
{
    std::vector<mvtrack::PatternTrack *> tracks;
    for (Pattern &p : o.patterns) tracks.push_back(&p.track);
    if (mvtrack::trackStep(image, o.step, &s.at, tracks, &s.tracked, &s.times) < 0) s.failed++;
    std::vector<bool> seen(o.patterns.size(), false);
    for (mvtrack::TrackedMarker &m : s.tracked) {
        if (m.patternIndex < 0) continue;
        Pattern &pat = o.patterns[m.patternIndex];
        m.pattern = pat.name.c_str();
        seen[m.patternIndex] = true;
        if (m.hasPose) {
            pat.errorSum += m.error;
            pat.poses++;
        }
    }
    for (size_t p = 0; p < o.patterns.size(); p++)
        if (seen[p]) o.patterns[p].framesFound++;

    const std::string *source = o.hasSourceName ? &o.sourceName : nullptr;
    const std::string rec = o.csv ? mvtrack::frameCsv(s.frame, s.tracked, source)
                                  : mvtrack::frameJson(s.frame, s.tracked, source);
    fputs(rec.c_str(), s.out);
    if (!s.sink) return true;
    mvtrack::canvasFromFrame(image, s.w, s.h, &s.canvas);
    for (const mvtrack::TrackedMarker &m : s.tracked) {
        double axis = 0.0;
        for (const Pattern &p : o.patterns)
            if (p.track.slot == m.info.id) axis = 0.5 * p.track.width;
        mvtrack::drawMarker(m, axis, &s.canvas);
    }
    return s.sink->write(s.canvas, s.frame, error);
}

// Closes the outputs and prints the summary. The exit status.
int report(const Options &o, Session &s, double elapsed)
{
    const long frame = s.frame;
    // Nothing to show: older outputs of the same names stay as they were.
    if (frame == 0 && !g_stop) return fail("no frame could be read from " + quoted(s.source));
    std::string error;
    if (s.sink && !s.sink->finish(&error)) return fail("--annotate: " + error);
    if (!o.out.empty()) {
        if (!s.outFile.commit(&error)) return fail(error);
    } else {
        const bool write_failed = fflush(s.out) != 0 || ferror(s.out);
        if (fclose(s.out) != 0 || write_failed)
            return fail(std::string("cannot write standard output: ") + strerror(errno));
    }
    // A file that ends well short of the frames its header announces (an
    // estimate for some containers) is truncated or has undecodable samples.
    const bool short_input = !g_stop && s.announced > 0 && frame < 0.98 * s.announced - 1 &&
                             (o.frames < 0 || frame < o.frames);
    if (short_input)
        fprintf(stderr, "mvtrack: warning: %s ended after %ld of the %ld frames it announces "
                        "(truncated or damaged?)\n", quoted(s.source).c_str(), frame, s.announced);
    fprintf(stderr, "mvtrack: %ld frames in %.2f s (%.1f frames/s)%s\n", frame, elapsed,
            elapsed > 0 ? frame / elapsed : 0.0, g_stop ? ", interrupted" : "");
    for (const Pattern &p : o.patterns) {
        fprintf(stderr, "mvtrack: %s: found in %ld of %ld frames (%.1f%%)", p.name.c_str(),
                p.framesFound, frame, frame > 0 ? 100.0 * p.framesFound / frame : 0.0);
        if (p.poses > 0) fprintf(stderr, ", mean fit error %.3g px^2", p.errorSum / p.poses);
        fprintf(stderr, "\n");
    }
    if (frame > 0)
        fprintf(stderr, "mvtrack: detection %.2f ms per frame, pose %.2f ms per frame\n",
                1000.0 * s.times.detect_s / frame, 1000.0 * s.times.pose_s / frame);
    if (s.failed > 0)
        fprintf(stderr, "mvtrack: detection gave up on %ld frames (too many dark regions: "
                        "try a lower --thresh)\n", s.failed);
    // The last line, for a job scheduler or a script: what ran, how it
    // ended (the exit status says the same) and what it found.
    const int status = g_stop ? 128 + g_stop : 0;
    std::string line = "{\"source\": " +
                       mvtrack::jsonString(o.hasSourceName ? o.sourceName : s.source) +
                       ", \"status\": \"" +
                       (g_stop ? "interrupted" : short_input ? "short" : "complete") +
                       "\", \"exit\": " + std::to_string(status) +
                       ", \"frames\": " + std::to_string(frame) +
                       ", \"failed\": " + std::to_string(s.failed) + ", \"patterns\": [";
    for (size_t k = 0; k < o.patterns.size(); k++)
        line += std::string(k > 0 ? ", " : "") + "{\"pattern\": " +
                mvtrack::jsonString(o.patterns[k].name) +
                ", \"found\": " + std::to_string(o.patterns[k].framesFound) + "}";
    fprintf(stderr, "mvtrack: summary %s]}\n", line.c_str());
    return status;
}

int run(Options &o)
{
    Session s;
    if (open_session(o, &s) != 0) return 1;

    signal(SIGINT, on_signal);
    signal(SIGTERM, on_signal);
    Progress progress(isatty(2) != 0, s.total);
    const auto start = std::chrono::steady_clock::now();
    long nulls = 0;
    std::string error;
    mvVideoCapStart();
    while (!g_stop && (o.frames < 0 || s.frame < o.frames)) {
        unsigned char *image = mvVideoGetImage();
        if (image == nullptr) {
            if (mvVideoInqEnded() != 0) break;   // ran dry (or closed under us)
            if (++nulls > 1) mvUtilSleep(1000);  // an undecodable sample, or none yet
            continue;
        }
        nulls = 0;
        if (!track_frame(o, s, image, &error)) {
            progress.end();
            mvVideoClose();
            return fail("--annotate: " + error);
        }
        mvVideoCapNext();
        s.frame++;
        progress.update(s.frame, seconds_since(start));
    }
    const double elapsed = seconds_since(start);
    progress.update(s.frame, elapsed, true);
    progress.end();
    mvVideoCapStop();
    mvVideoClose();
    return report(o, s, elapsed);
}

}  // namespace

int main(int argc, char **argv)
{
    Options o;
    std::string error;
    if (!parse_args(argc, argv, &o, &error)) return fail(error);
    if (o.help) {
        fputs(kHelp, stdout);
        return 0;
    }
    return run(o);
}
