// Writing a user's file so that a failure never costs the old one: the
// bytes go to a temporary file beside it, which replaces it by rename only
// once complete. Internal to the core (camera and pattern files).
#ifndef MORVEX_REPLACE_FILE_H
#define MORVEX_REPLACE_FILE_H

#include <cstdio>
#include <string>

namespace mvcore {

struct FileReplacement {
    FILE *fp = nullptr;  // where to write, between begin and finish
    std::string path;    // the destination (a symbolic link resolved)
    std::string temp;    // the temporary file; empty when written in place
    bool sync = false;   // an old file is replaced: flushed to the disk first
};

// Where a replacement of the existing regular file or new file `path` goes
// and with which permissions: *real is the file a symbolic link names (or
// path itself), *mode the old file's permissions or those a new file gets.
// False, with errno set, when an existing file may not be written.
bool replace_target(const std::string &path, bool exists, unsigned st_mode, std::string *real,
                    unsigned *mode);

// Opens a temporary file beside `path` (mode "wb"), with the permissions of
// the file it will replace, or those a new file gets. A destination that
// exists but is no regular file (a device, a pipe) is opened in place.
// False, with errno set, when the destination exists but may not be written
// or no temporary file can be made beside it.
bool begin_replace(const char *path, FileReplacement *r);

// Closes the file and renames it over the destination. False (errno kept)
// when any write, the flush or the rename failed; the temporary file is
// gone and the destination untouched either way.
bool finish_replace(FileReplacement *r);

// Gives up: closes and removes the temporary file.
void abandon_replace(FileReplacement *r);

}  // namespace mvcore

#endif
