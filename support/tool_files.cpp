// Calibration and pattern files checked before use; outputs written through
// a temporary file and rename(2).
#include "tool_files.h"
#include "replace_file.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mvtool {

namespace {

std::string quoted(const std::string &s) { return "\"" + s + "\""; }

}  // namespace

std::string cameraFault(const MvCameraParam &cam)
{
    char why[160];
    return mvParamCheck(&cam, why, sizeof why) == 0 ? std::string() : std::string(why);
}

bool loadCamera(const std::string &path, MvCameraParam *cam, std::string *error)
{
    const std::string file = "camera file " + quoted(path);
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        *error = "cannot read " + file + ": " + std::strerror(errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        *error = "cannot read " + file + ": it is a folder";
        return false;
    }
    MvCameraParam loaded;
    if (mvParamLoad(path.c_str(), 1, &loaded) < 0) {
        *error = access(path.c_str(), R_OK) != 0
                     ? "cannot read " + file + ": " + std::strerror(errno)
                     : file + " is shorter than one 136-byte camera record";
        return false;
    }
    const std::string fault = cameraFault(loaded);
    if (!fault.empty()) {
        *error = file + ": " + fault;
        return false;
    }
    *cam = loaded;
    return true;
}

bool checkPatternFile(const std::string &path, std::string *error)
{
    const std::string file = "pattern file " + quoted(path);
    FILE *fp = std::fopen(path.c_str(), "r");
    if (fp == nullptr) {
        *error = "cannot read " + file + ": " + std::strerror(errno);
        return false;
    }
    // Word by word, keeping at most 24 characters of each for the message.
    int count = 0;
    std::string word;
    size_t length = 0;
    bool ok = true;
    for (int c = 0; ok && count < 3072;) {
        c = std::fgetc(fp);
        if (c != EOF && !std::isspace(c)) {
            if (length++ < 24) word += std::isprint(c) ? static_cast<char>(c) : '?';
            continue;
        }
        if (length > 0) {
            char *end = nullptr;
            const long v = std::strtol(word.c_str(), &end, 10);
            if (length > 3 || *end != '\0' || !std::isdigit((unsigned char)word[0]) || v > 255) {
                *error = file + ": number " + std::to_string(count + 1) + " is " +
                         quoted(length > 24 ? word + "..." : word) + ", not a whole number 0..255";
                ok = false;
            }
            count++;
            word.clear();
            length = 0;
        }
        if (c == EOF) break;
    }
    if (ok && std::ferror(fp)) {
        *error = "cannot read " + file + (errno == EISDIR ? ": it is a folder" : ": read error");
        ok = false;
    } else if (ok && count < 3072) {
        *error = file + " holds " + std::to_string(count) +
                 " numbers; a pattern has 3072 (four blocks of 3 x 16 x 16, 0..255)";
        ok = false;
    }
    std::fclose(fp);
    return ok;
}

OutputFile::~OutputFile() { discard(); }

bool OutputFile::begin(const std::string &path, std::size_t suffix, std::string *error)
{
    discard();
    given_ = path_ = path;
    inPlace_ = sync_ = false;
    struct stat st;
    const bool exists = stat(path.c_str(), &st) == 0;
    const auto failed = [&](const std::string &why) {
        *error = "cannot write " + quoted(path) + ": " + why;
        return false;
    };
    if (exists && !S_ISREG(st.st_mode)) {
        if (S_ISDIR(st.st_mode)) return failed("it is a folder");
        inPlace_ = true;
        temp_ = path;
        active_ = true;
        return true;
    }
    unsigned mode;
    if (!mvcore::replace_target(path, exists, st.st_mode, &path_, &mode))
        return failed(std::strerror(errno));
    // The extension stays last: FFmpeg picks the container from it.
    const size_t slash = path_.rfind('/'), dot = path_.rfind('.');
    const std::string ext = suffix > 0 && dot != std::string::npos &&
                                    (slash == std::string::npos || dot > slash)
                                ? path_.substr(dot)
                                : std::string();
    temp_ = path_.substr(0, path_.size() - ext.size()) + ".XXXXXX" + ext;
    const int fd = mkstemps(&temp_[0], static_cast<int>(ext.size()));
    if (fd < 0) {
        const std::string why = std::strerror(errno);
        temp_.clear();
        return failed(why);
    }
    fchmod(fd, mode);
    close(fd);
    sync_ = exists;
    active_ = true;
    return true;
}

bool OutputFile::open(const std::string &path, std::string *error)
{
    if (!begin(path, 0, error)) return false;
    fp_ = std::fopen(temp_.c_str(), inPlace_ ? "wb" : "r+b");
    if (fp_ == nullptr) {
        *error = "cannot write " + quoted(path) + ": " + std::strerror(errno);
        discard();
        return false;
    }
    return true;
}

bool OutputFile::reserve(const std::string &path, std::string *error) { return begin(path, 1, error); }

bool OutputFile::commit(std::string *error)
{
    if (!active_) {
        *error = "cannot write " + quoted(given_) + ": not open";
        return false;
    }
    int e = 0;
    errno = 0;
    if (fp_ != nullptr) {
        // A full disk may show only when the buffer is flushed.
        if (std::fflush(fp_) != 0 || std::ferror(fp_)) e = errno ? errno : EIO;
        if (e == 0 && sync_ && fsync(fileno(fp_)) != 0) e = errno;
        if (std::fclose(fp_) != 0 && e == 0) e = errno;
        fp_ = nullptr;
    } else if (sync_ && !inPlace_) {
        const int fd = ::open(temp_.c_str(), O_RDONLY);
        if (fd >= 0) {
            if (fsync(fd) != 0) e = errno;
            close(fd);
        }
    }
    if (e == 0 && !inPlace_ && std::rename(temp_.c_str(), path_.c_str()) != 0) e = errno;
    if (e == 0) {
        active_ = false;
        return true;
    }
    *error = "cannot write " + quoted(given_) + ": " + std::strerror(e);
    discard();
    return false;
}

void OutputFile::discard()
{
    if (fp_ != nullptr) std::fclose(fp_);
    fp_ = nullptr;
    if (active_ && !inPlace_) unlink(temp_.c_str());
    active_ = false;
}

bool writeFile(const std::string &path, const void *data, std::size_t size, std::string *error)
{
    OutputFile out;
    if (!out.open(path, error)) return false;
    if (size > 0) std::fwrite(data, 1, size, out.stream());
    return out.commit(error);
}

int splitSequence(const std::string &t, std::string *head, int *width, std::string *tail)
{
    std::string *part = head;
    int found = 0;
    for (size_t i = 0; i < t.size(); i++) {
        if (t[i] != '%') {
            *part += t[i];
            continue;
        }
        if (i + 1 < t.size() && t[i + 1] == '%') {
            *part += '%';
            i++;
            continue;
        }
        size_t j = i + 1;
        int w = 0;
        while (j < t.size() && t[j] >= '0' && t[j] <= '9' && w < 100) w = w * 10 + (t[j++] - '0');
        if (j >= t.size() || t[j] != 'd' || found || w > 20) return -1;
        found = 1;
        *width = w;
        part = tail;
        i = j;
    }
    return found;
}

}  // namespace mvtool
