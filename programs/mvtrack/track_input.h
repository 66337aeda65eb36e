// track_input.h - one input tracked to its end: its capture, its tracker,
// its records and its report.
#ifndef MVTRACK_TRACK_INPUT_H
#define MVTRACK_TRACK_INPUT_H

#include "options.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace mvtrack {

// Where every input's records go: whole records, one writer at a time.
class RecordWriter {
public:
    explicit RecordWriter(FILE *fp) : fp_(fp) {}
    void write(const std::string &record)
    {
        std::lock_guard<std::mutex> lock(m_);
        std::fputs(record.c_str(), fp_);
    }

private:
    FILE *fp_;
    std::mutex m_;
};

// A pattern loaded once and given to every input's tracker.
struct LoadedPattern {
    MvPattern *pattern = nullptr;
    std::string name;   // as the records show it
    double side = kDefaultSideMm;
    bool sideGiven = false;
};

// What all inputs share, set up before any of them opens.
struct Shared {
    const Options *options = nullptr;
    MvCameraParam fileCamera;                 // as loaded
    std::vector<LoadedPattern> patterns;
    std::vector<FamilyOption> families;       // coded markers, after the patterns in the tallies
    RecordWriter *records = nullptr;
    std::atomic<int> *stop = nullptr;          // the signal that asked to stop, or 0
    std::atomic<long> *framesDone = nullptr;   // all inputs' frames, for progress
    std::atomic<bool> *sideWarned = nullptr;   // the default-side warning was given
    void (*warn)(const std::string &text) = nullptr;   // a warning, at once
};

// How one input went.
struct InputReport {
    std::string source;          // the input as given
    bool ok = false;             // tracked to its end (or --frames, or a stop)
    std::string error;           // why not, one line
    std::vector<std::string> warnings;
    long frames = 0, failed = 0;
    long announced = -1;         // frames a file (not looped) says it holds
    bool shortInput = false;
    double elapsed = 0.0;
    MvTrackerStats stats = {0, 0.0, 0.0};
    // Per pattern, then per family: frames with it, poses made, their fit
    // errors.
    std::vector<long> found, poses;
    std::vector<double> errorSum;
};

// Expected frames of an input for the progress line, -1 when unknown;
// probes the source.
long expectedFrames(const Input &input, const Options &o);

// Opens the input, tracks it to its end and fills *report.
void trackInput(const Shared &shared, const Input &input, InputReport *report);

}  // namespace mvtrack

#endif
