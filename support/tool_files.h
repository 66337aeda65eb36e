// The programs' files: calibration and pattern files checked before use,
// and outputs that replace an existing file only once complete.
//
//   #include "tool_files.h"          // link morvex_tool_support
//
//   MvCameraParam cam;
//   std::string err;
//   if (!mvtool::loadCamera("cam.dat", &cam, &err)) ...   // err names file and field
//   mvtool::OutputFile out;
//   if (!out.open("poses.csv", &err)) ...
//   fputs("...", out.stream());
//   if (!out.commit(&err)) ...        // else "poses.csv" is as it was
//
// Nothing here prints; callers word their own errors from *error.
#ifndef MORVEX_TOOL_FILES_H
#define MORVEX_TOOL_FILES_H

#include "morvex/camera.h"

#include <cstddef>
#include <cstdio>
#include <string>

namespace mvtool {

// The first field of `cam` that cannot be right, described ("xsize 0 is
// not a width in pixels (1..65536)"), or empty: sizes 1..65536, every
// number finite, focal lengths projection[0][0] and [1][1] non-zero, a third
// projection row that is not all zero, a positive distortion scale (the
// lens model divides by it).
std::string cameraFault(const MvCameraParam &cam);

// Loads the first record of `path` for use. False with *error naming the
// file and the cause: cannot be opened, a folder, shorter than a record, or
// the field cameraFault finds.
bool loadCamera(const std::string &path, MvCameraParam *cam, std::string *error);

// Checks that `path` is a pattern file the library reads as written: its
// first 3072 words whole numbers 0..255. False with *error naming the file
// and the first word at fault, or how many numbers it holds.
bool checkPatternFile(const std::string &path, std::string *error);

// A file written under a temporary name beside its destination
// ("<path>.XXXXXX", with the permissions of the file it replaces) and
// renamed over it by commit(). Until then, and whatever happens -- a full
// disk, a failed write, an early return, a crash -- the destination keeps
// its old contents. A destination that exists but is no regular file (a
// device, a pipe) is written in place. Destroying an uncommitted file
// removes the temporary one.
class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;
    ~OutputFile();

    // Opens the temporary file as a stdio stream. False with *error.
    bool open(const std::string &path, std::string *error);
    // For writers that open files by name (FFmpeg): makes an empty
    // temporary file ending in the destination's extension, to be written
    // at tempPath() and committed once closed. False with *error.
    bool reserve(const std::string &path, std::string *error);
    FILE *stream() const { return fp_; }
    const std::string &tempPath() const { return temp_; }
    // Flushes and closes the stream (if open) and renames the file into
    // place. False with *error naming the destination and the cause; the
    // temporary file is removed and the destination untouched.
    bool commit(std::string *error);
    // Removes the temporary file; the destination is untouched.
    void discard();

private:
    bool begin(const std::string &path, std::size_t suffix, std::string *error);
    std::string given_, path_, temp_;   // as given, resolved, temporary
    FILE *fp_ = nullptr;
    bool inPlace_ = false, sync_ = false, active_ = false;
};

// `size` bytes as the whole of `path`, through an OutputFile.
bool writeFile(const std::string &path, const void *data, std::size_t size, std::string *error);

// Splits an image sequence's name such as "frames/%04d.png" into head,
// zero-padded width and tail ("%%" is a literal percent sign). 0: no
// conversion; 1: one; -1: anything else.
int splitSequence(const std::string &name, std::string *head, int *width, std::string *tail);

}  // namespace mvtool

#endif
