// One input: opened at its own size, tracked frame by frame by a tracker
// of its own, its records written as each frame is done.
#include "track_input.h"

#include "annotate.h"
#include "track_output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>

namespace mvtrack {

namespace {

std::string quoted(const std::string &s) { return "\"" + s + "\""; }

// Why `path` cannot be read, or empty.
std::string unreadable(const std::string &path)
{
    FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return std::strerror(errno);
    std::fclose(f);
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return "it is a folder";
    return std::string();
}

double seconds_since(std::chrono::steady_clock::time_point t)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

void collect_note(void *user, const char *message)
{
    static_cast<InputReport *>(user)->warnings.push_back(message);
}

// An open input: its capture and its tracker, closed when it goes.
class Session {
public:
    ~Session()
    {
        if (video_ != nullptr) {
            mv2VideoCapStop(video_);
            mv2VideoClose(video_);
        }
        mvTrackerDestroy(tracker_);
    }

    // Opens everything; false with report->error.
    bool open(const Shared &shared, const Input &input, InputReport *report)
    {
        const Options &o = *shared.options;
        const std::string &source = input.camera ? input.config.dev : input.config.file;
        if (source.find('%') == std::string::npos) {
            const std::string why = unreadable(source);
            if (!why.empty()) {
                report->error = std::string("cannot read ") + (input.camera ? "camera " : "video file ") +
                                quoted(source) + ": " + why;
                return false;
            }
        }
        // Tracked at the source's own size unless the words scale it.
        MvVideoConfig config = input.config;
        MvVideoSourceInfo info;
        mvVideoProbe(&config, &info);
        mvVideoConfigAtSourceSize(&config, &info);
        mvClearError();
        video_ = mv2VideoOpenConfig(&config);
        if (video_ == nullptr) {
            report->error = mvLastError() == MV_ERROR_DEVICE ? std::string(mvLastErrorText())
                                                              : "cannot open the capture of " + quoted(source);
            return false;
        }
        mv2VideoInqSize(video_, &width_, &height_);
        const long work = o.settings.halfResolution ? (long)(width_ / 2) * (height_ / 2) : (long)width_ * height_;
        if (work > MV_WORK_PIXELS_MAX) {
            report->error = "frames of " + std::to_string(width_) + " x " + std::to_string(height_) +
                            " are too large to detect in (at most " + std::to_string(MV_WORK_PIXELS_MAX) +
                            " pixels): add --half or scale the capture with --width N --height N";
            return false;
        }
        const MvCameraParam &cam = shared.fileCamera;
        if (cam.xsize != width_ || cam.ysize != height_) {
            const double a = (double)cam.xsize * height_, b = (double)cam.ysize * width_;
            if (std::fabs(a - b) > 0.01 * b)
                report->warnings.push_back("camera file " + quoted(o.camera) + " is " + std::to_string(cam.xsize) +
                                           " x " + std::to_string(cam.ysize) + ", frames are " +
                                           std::to_string(width_) + " x " + std::to_string(height_) +
                                           ": other aspect ratio, poses will be off");
        }
        char why[MV_MESSAGE_MAX];
        if (mvTrackerCreate(&cam, &o.settings, &tracker_, why) != MV_ERROR_NONE) {
            report->error = why;
            return false;
        }
        for (const LoadedPattern &p : shared.patterns) {
            int id = -1;
            if (mvTrackerAddPattern(tracker_, p.pattern, p.side, &id) != MV_ERROR_NONE ||
                (o.minConfidence > 0 && mvTrackerSetPatternMinConfidence(tracker_, id, o.minConfidence) != MV_ERROR_NONE)) {
                report->error = mvTrackerErrorText(tracker_);
                return false;
            }
        }
        for (const FamilyOption &f : shared.families) {
            bool ok = mvTrackerAddFamily(tracker_, f.name.c_str(), f.side, -1) == MV_ERROR_NONE;
            for (const auto &side : f.sides)
                ok = ok && mvTrackerSetCodeSide(tracker_, f.name.c_str(), side.first, side.second) == MV_ERROR_NONE;
            if (!ok) {
                report->error = mvTrackerErrorText(tracker_);
                return false;
            }
        }
        report->announced = !input.camera && !config.loop ? info.frames : -1;
        fps_ = info.fps;
        if (!o.annotate.empty()) {
            std::string error;
            sink_ = openSink(o.annotate, width_, height_, fps_, &error);
            if (!sink_) {
                report->error = error;
                return false;
            }
        }
        return true;
    }

    MvVideoHandle *video() const { return video_; }
    MvTracker *tracker() const { return tracker_; }
    FrameSink *sink() const { return sink_.get(); }
    int width() const { return width_; }
    int height() const { return height_; }

private:
    MvVideoHandle *video_ = nullptr;
    MvTracker *tracker_ = nullptr;
    std::unique_ptr<FrameSink> sink_;
    int width_ = 0, height_ = 0;
    double fps_ = 0.0;
};

}  // namespace

long expectedFrames(const Input &input, const Options &o)
{
    if (input.camera || input.config.loop) return o.frames;
    MvVideoSourceInfo info;
    mvVideoProbe(&input.config, &info);
    long n = info.frames;
    if (o.frames > 0 && (n < 0 || o.frames < n)) n = o.frames;
    return n;
}

void trackInput(const Shared &shared, const Input &input, InputReport *report)
{
    const Options &o = *shared.options;
    report->source = input.label;
    const size_t targets = shared.patterns.size() + shared.families.size();
    report->found.assign(targets, 0);
    report->poses.assign(targets, 0);
    report->errorSum.assign(targets, 0.0);
    Session s;
    if (!s.open(shared, input, report)) return;
    mvTrackerSetMessageCallback(s.tracker(), collect_note, report);

    const std::string *tag = o.hasSourceName ? &o.sourceName : o.inputs.size() > 1 ? &input.label : nullptr;
    std::vector<TrackedMarker> tracked;
    std::vector<char> seen(targets);
    Canvas canvas;
    MvCameraParam cam;
    const auto start = std::chrono::steady_clock::now();
    long nulls = 0;
    mvClearError();
    mv2VideoCapStart(s.video());
    while (!*shared.stop && (o.frames < 0 || report->frames < o.frames)) {
        const unsigned char *image = mv2VideoGetImage(s.video());
        if (image == nullptr) {
            if (mv2VideoInqEnded(s.video()) != 0) break;   // ran dry (or stopped delivering)
            if (++nulls > 1) usleep(1000);                  // an undecodable sample, or none yet
            continue;
        }
        nulls = 0;
        const MvTrackerMarker *markers = nullptr;
        int n = 0;
        if (mvTrackerProcess(s.tracker(), image, s.width(), s.height(), s.width() * 4, MV_PIXEL_RGBA,
                             &markers, &n) != MV_ERROR_NONE)
            report->failed++;
        tracked.clear();
        std::fill(seen.begin(), seen.end(), 0);
        for (int k = 0; k < n; k++) {
            const MvTrackerMarker &m = markers[k];
            if (o.identifiedOnly && m.id < 0) continue;
            tracked.push_back(fromTracker(m));
            TrackedMarker &t = tracked.back();
            // Pattern ids are given in loading order from 0, one per
            // pattern; families come after the patterns in the tallies.
            int target = -1;
            bool confirmed = true;
            if (m.family != nullptr) {
                for (size_t f = 0; f < shared.families.size(); f++)
                    if (shared.families[f].name == m.family) target = (int)(shared.patterns.size() + f);
                if (target >= 0) {
                    const FamilyOption &f = shared.families[target - shared.patterns.size()];
                    confirmed = f.sideGiven || shared.options->sideGiven;
                    for (const auto &own : f.sides) confirmed = confirmed || own.first == m.id;
                }
            } else if (m.id >= 0 && m.id < (int)shared.patterns.size()) {
                target = m.id;
                t.pattern = shared.patterns[m.id].name.c_str();
                t.patternIndex = m.id;
                confirmed = shared.patterns[m.id].sideGiven;
            }
            if (target < 0) continue;
            seen[target] = 1;
            if (!m.hasPose) continue;
            report->errorSum[target] += m.poseError;
            report->poses[target]++;
            if (!confirmed && !shared.sideWarned->exchange(true))
                shared.warn("poses assume the default marker side of " +
                                           std::to_string((int)kDefaultSideMm) +
                                           " mm (the side of the black square); confirm it with --side MM, "
                                           "--pattern FILE:SIDE_MM or --family NAME:SIDE_MM");
        }
        for (size_t p = 0; p < seen.size(); p++) report->found[p] += seen[p];
        shared.records->write(o.csv ? frameCsv(report->frames, tracked, tag) : frameJson(report->frames, tracked, tag));
        if (s.sink() != nullptr) {
            mvTrackerGetCamera(s.tracker(), &cam);
            canvasFromFrame(image, s.width(), s.height(), &canvas);
            for (const TrackedMarker &m : tracked)
                drawMarker(m, m.hasPose ? 0.5 * m.side : 0.0, cam, &canvas);
            std::string error;
            if (!s.sink()->write(canvas, report->frames, &error)) {
                report->error = "--annotate: " + error;
                return;
            }
        }
        mv2VideoCapNext(s.video());
        report->frames++;
        shared.framesDone->fetch_add(1);
    }
    report->elapsed = seconds_since(start);
    if (input.camera && mvLastError() == MV_ERROR_DEVICE) report->warnings.push_back(mvLastErrorText());
    mvTrackerGetStats(s.tracker(), &report->stats);
    // Nothing to show: older outputs of the same names stay as they were.
    if (report->frames == 0 && !*shared.stop) {
        report->error = "no frame could be read from " + quoted(input.label);
        return;
    }
    if (s.sink() != nullptr) {
        std::string error;
        if (!s.sink()->finish(&error)) {
            report->error = "--annotate: " + error;
            return;
        }
    }
    // A file that ends well short of the frames its header announces (an
    // estimate for some containers) is truncated or has undecodable samples.
    const long frame = report->frames;
    report->shortInput = !*shared.stop && report->announced > 0 && frame < 0.98 * report->announced - 1 &&
                         (o.frames < 0 || frame < o.frames);
    if (report->shortInput)
        report->warnings.push_back(quoted(input.label) + " ended after " + std::to_string(frame) + " of the " +
                                   std::to_string(report->announced) +
                                   " frames it announces (truncated or damaged?)");
    report->ok = true;
}

}  // namespace mvtrack
