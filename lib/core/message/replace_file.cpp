// Whole-file replacement through a temporary file and rename(2).
#include "replace_file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace mvcore {

bool replace_target(const std::string &path, bool exists, unsigned st_mode, std::string *real,
                    unsigned *mode)
{
    *real = path;
    if (!exists) {
        const mode_t mask = umask(0);
        umask(mask);
        *mode = 0666 & ~mask;
        return true;
    }
    // A file the user may not write stays as it is, as with fopen.
    if (access(path.c_str(), W_OK) != 0) return false;
    // Through a link, the file it names is replaced, not the link.
    if (char *resolved = realpath(path.c_str(), nullptr)) {
        *real = resolved;
        std::free(resolved);
    }
    *mode = st_mode & 07777;
    return true;
}

bool begin_replace(const char *path, FileReplacement *r)
{
    *r = FileReplacement();
    r->path = path;
    struct stat st;
    const bool exists = stat(path, &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        r->fp = std::fopen(path, "wb");
        return r->fp != nullptr;
    }
    unsigned mode;
    if (!replace_target(path, exists, st.st_mode, &r->path, &mode)) return false;
    r->temp = r->path + ".XXXXXX";
    const int fd = mkstemp(&r->temp[0]);
    if (fd < 0) {
        r->temp.clear();
        return false;
    }
    fchmod(fd, mode);
    r->fp = fdopen(fd, "wb");
    if (r->fp == nullptr) {
        const int e = errno;
        close(fd);
        unlink(r->temp.c_str());
        errno = e;
        return false;
    }
    r->sync = exists;
    return true;
}

bool finish_replace(FileReplacement *r)
{
    int e = 0;
    errno = 0;
    // A full disk may show only when the buffer is flushed.
    if (std::fflush(r->fp) != 0 || std::ferror(r->fp) != 0) e = errno ? errno : EIO;
    if (e == 0 && r->sync && fsync(fileno(r->fp)) != 0) e = errno;
    if (std::fclose(r->fp) != 0 && e == 0) e = errno;
    r->fp = nullptr;
    if (!r->temp.empty()) {
        if (e == 0 && std::rename(r->temp.c_str(), r->path.c_str()) != 0) e = errno;
        if (e != 0) unlink(r->temp.c_str());
    }
    errno = e;
    return e == 0;
}

void abandon_replace(FileReplacement *r)
{
    const int e = errno;
    if (r->fp != nullptr) std::fclose(r->fp);
    r->fp = nullptr;
    if (!r->temp.empty()) unlink(r->temp.c_str());
    errno = e;
}

}  // namespace mvcore
