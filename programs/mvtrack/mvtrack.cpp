// mvtrack - tracks markers in recorded video, images or live cameras
// without a window, and writes what it found per frame as JSON lines or
// CSV, with an annotated copy of the frames on request. Each input has a
// tracker of its own; with --jobs N, N inputs are tracked at once.
#include "options.h"
#include "track_input.h"
#include "track_output.h"

#include "morvex.h"
#include "tool_files.h"
#include "tool_support.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace mvtrack;

std::atomic<int> g_stop{0};   // the signal that asked to stop, or 0
void on_signal(int sig) { g_stop = sig; }

std::mutex g_stderr;   // one message at a time

void warn(const std::string &text)
{
    std::lock_guard<std::mutex> lock(g_stderr);
    // On a terminal, over the progress line.
    std::fprintf(stderr, "%smvtrack: warning: %s\n", isatty(2) ? "\r\033[K" : "", text.c_str());
}

int fail(const std::string &message)
{
    std::lock_guard<std::mutex> lock(g_stderr);
    std::fprintf(stderr, "mvtrack: %s\n", message.c_str());
    return 1;
}

// The bundled resource `name`, or false after saying which option gives it.
bool bundled(const char *name, const char *option, std::string *path)
{
    const std::string res = mvtool::resourceFolder();
    if (!res.empty()) {
        FILE *f = std::fopen((res + "/" + name).c_str(), "rb");
        if (f != nullptr) {
            std::fclose(f);
            *path = res + "/" + name;
            return true;
        }
    }
    fail(std::string("the bundled ") + name + " is not beside mvtrack (resources/ or ../share/morvex); give " +
         option + " FILE");
    return false;
}

// Loads the camera and the patterns every input shares. 0, or 1 after the
// message naming the fault.
int load_shared(Options &o, Shared *s)
{
    std::string error;
    if (o.camera.empty() && !bundled("camera_para.dat", "--camera", &o.camera)) return 1;
    if (!mvtool::loadCamera(o.camera, &s->fileCamera, &error)) return fail(error);
    if (o.patterns.empty() && o.families.empty()) {
        PatternOption p;
        if (!bundled("patt.lumo", "--pattern", &p.path)) return 1;
        p.name = "patt.lumo";
        p.side = o.side;
        p.sideGiven = o.sideGiven;
        o.patterns.push_back(p);
    }
    for (const PatternOption &p : o.patterns) {
        if (!mvtool::checkPatternFile(p.path, &error)) return fail(error);
        char why[MV_MESSAGE_MAX];
        LoadedPattern loaded;
        loaded.pattern = mvPatternLoad(p.path.c_str(), why, nullptr);
        if (loaded.pattern == nullptr) return fail(std::string("cannot load pattern file ") + why);
        loaded.name = p.name;
        loaded.side = p.side;
        loaded.sideGiven = p.sideGiven || o.sideGiven;
        s->patterns.push_back(loaded);
    }
    s->families = o.families;
    return 0;
}

// The progress line on a terminal: at most five updates a second.
class Progress {
public:
    Progress(bool on, long total) : on_(on), total_(total) {}
    void update(long frames, double elapsed, bool force = false)
    {
        if (!on_ || (!force && elapsed - last_ < 0.2)) return;
        last_ = elapsed;
        std::lock_guard<std::mutex> lock(g_stderr);
        const double fps = elapsed > 0 ? frames / elapsed : 0.0;
        if (total_ > 0) {
            const double done = std::fmin(1.0, static_cast<double>(frames) / total_);
            std::fprintf(stderr, "\rmvtrack: %ld/%ld frames (%.0f%%), %.1f frames/s", frames, total_,
                         100.0 * done, fps);
            if (fps > 0) std::fprintf(stderr, ", %.0f s left", std::fmax(0.0, (total_ - frames) / fps));
        } else {
            std::fprintf(stderr, "\rmvtrack: %ld frames, %.1f frames/s", frames, fps);
        }
        std::fprintf(stderr, "\033[K");
        shown_ = true;
    }
    void end()
    {
        std::lock_guard<std::mutex> lock(g_stderr);
        if (shown_) std::fprintf(stderr, "\n");
        shown_ = false;
    }

private:
    bool on_;
    long total_;
    double last_ = -1.0;
    bool shown_ = false;
};

// One input's report on standard error, ending with its summary line.
void print_report(const Options &o, const Shared &s, const InputReport &r)
{
    std::lock_guard<std::mutex> lock(g_stderr);
    for (const std::string &w : r.warnings) std::fprintf(stderr, "mvtrack: warning: %s\n", w.c_str());
    const int stopped = g_stop;
    const int status = !r.ok ? 1 : stopped ? 128 + stopped : 0;
    if (!r.ok) std::fprintf(stderr, "mvtrack: %s%s\n", o.inputs.size() > 1 ? (r.source + ": ").c_str() : "",
                            r.error.c_str());
    const long frame = r.frames;
    if (r.ok) {
        std::fprintf(stderr, "mvtrack: %ld frames in %.2f s (%.1f frames/s)%s\n", frame, r.elapsed,
                     r.elapsed > 0 ? frame / r.elapsed : 0.0, stopped ? ", interrupted" : "");
        for (size_t p = 0; p < r.found.size(); p++) {
            const std::string &name =
                p < s.patterns.size() ? s.patterns[p].name : s.families[p - s.patterns.size()].name;
            std::fprintf(stderr, "mvtrack: %s: found in %ld of %ld frames (%.1f%%)", name.c_str(),
                         r.found[p], frame, frame > 0 ? 100.0 * r.found[p] / frame : 0.0);
            if (r.poses[p] > 0) std::fprintf(stderr, ", mean fit error %.3g px^2", r.errorSum[p] / r.poses[p]);
            std::fprintf(stderr, "\n");
        }
        if (frame > 0)
            std::fprintf(stderr, "mvtrack: detection %.2f ms per frame, pose %.2f ms per frame\n",
                         1000.0 * r.stats.detectSeconds / frame, 1000.0 * r.stats.poseSeconds / frame);
        if (r.failed > 0)
            std::fprintf(stderr, "mvtrack: detection failed on %ld frames\n", r.failed);
    }
    // The last line of each input, for a job scheduler or a script: what
    // ran, how it ended (the exit status says the same) and what it found.
    if (!r.ok && o.inputs.size() == 1) return;   // the one line says it all
    std::string line = "{\"source\": " + jsonString(o.hasSourceName ? o.sourceName : r.source) +
                       ", \"status\": \"" +
                       (!r.ok ? "failed" : stopped ? "interrupted" : r.shortInput ? "short" : "complete") +
                       "\", \"exit\": " + std::to_string(status) + ", \"frames\": " + std::to_string(frame) +
                       ", \"failed\": " + std::to_string(r.failed) + ", \"patterns\": [";
    for (size_t k = 0; k < s.patterns.size(); k++)
        line += std::string(k > 0 ? ", " : "") + "{\"pattern\": " + jsonString(s.patterns[k].name) +
                ", \"found\": " + std::to_string(k < r.found.size() ? r.found[k] : 0) + "}";
    line += "], \"families\": [";
    for (size_t k = 0; k < s.families.size(); k++) {
        const size_t at = s.patterns.size() + k;
        line += std::string(k > 0 ? ", " : "") + "{\"family\": " + jsonString(s.families[k].name) +
                ", \"found\": " + std::to_string(at < r.found.size() ? r.found[at] : 0) + "}";
    }
    std::fprintf(stderr, "mvtrack: summary %s]}\n", line.c_str());
}

int run(Options &o)
{
    // The libraries print nothing: mvtrack words every message itself.
    mvSetErrorPrinting(0);
    Shared shared;
    shared.options = &o;
    if (load_shared(o, &shared) != 0) return 1;
    struct Release {
        Shared &s;
        ~Release()
        {
            for (LoadedPattern &p : s.patterns) mvPatternRelease(p.pattern);
        }
    } release{shared};

    mvtool::OutputFile outFile;
    FILE *out = stdout;
    std::string error;
    if (!o.out.empty()) {
        // The records replace an older file only when the run completes.
        if (!outFile.open(o.out, &error)) return fail(error);
        out = outFile.stream();
    }
    if (o.csv) std::fputs(csvHeader(o.hasSourceName || o.inputs.size() > 1).c_str(), out);
    RecordWriter records(out);
    std::atomic<long> done{0};
    std::atomic<bool> warned{false};
    shared.records = &records;
    shared.stop = &g_stop;
    shared.framesDone = &done;
    shared.sideWarned = &warned;
    shared.warn = warn;

    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    long total = 0;
    const bool tty = isatty(2) != 0;
    for (const Input &in : o.inputs) {
        const long n = tty ? expectedFrames(in, o) : -1;
        total = n < 0 || total < 0 ? -1 : total + n;
    }
    Progress progress(tty, total);

    // Inputs are handed out in order to `jobs` workers; each report is
    // printed as its input ends.
    std::vector<InputReport> reports(o.inputs.size());
    std::atomic<size_t> next{0};
    std::atomic<int> running{0};
    const auto worker = [&] {
        for (size_t k; (k = next++) < o.inputs.size();) {
            if (g_stop) break;
            trackInput(shared, o.inputs[k], &reports[k]);
            progress.end();
            print_report(o, shared, reports[k]);
        }
        running--;
    };
    const int jobs = std::min<int>(o.jobs, (int)o.inputs.size());
    std::vector<std::thread> threads;
    const auto start = std::chrono::steady_clock::now();
    running = jobs;
    for (int j = 1; j < jobs; j++) threads.emplace_back(worker);
    std::thread main_worker(worker);
    while (running > 0) {
        progress.update(done, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    main_worker.join();
    for (std::thread &t : threads) t.join();
    progress.end();

    // Inputs a signal kept from starting have no report and no fault.
    const auto started = [](const InputReport &r) { return !r.source.empty(); };
    const bool any_ok = std::any_of(reports.begin(), reports.end(), [](const InputReport &r) { return r.ok; });
    const bool all_ok = std::all_of(reports.begin(), reports.end(),
                                    [&](const InputReport &r) { return r.ok || !started(r); });
    // Records of inputs that ran stay; with none, an older file stays too.
    if (!o.out.empty()) {
        if (!any_ok) {
            outFile.discard();
        } else if (!outFile.commit(&error)) {
            return fail(error);
        }
    } else if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        return fail(std::string("cannot write standard output: ") + std::strerror(errno));
    }
    if (!all_ok) return 1;
    return g_stop ? 128 + g_stop : 0;
}

}  // namespace

int main(int argc, char **argv)
{
    Options o;
    std::string error;
    if (!parseOptions(argc, argv, &o, &error)) return fail(error);
    if (o.help) {
        std::fputs(helpText(), stdout);
        return 0;
    }
    return run(o);
}
