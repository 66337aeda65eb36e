// Resource folder lookup and number parsing for the programs.
#include "tool_support.h"

#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace mvtool {

static bool is_folder(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string resourceFolderFor(const std::string &exe_path)
{
    const std::size_t slash = exe_path.rfind('/');
    if (slash == std::string::npos) return std::string();
    const std::string dir = exe_path.substr(0, slash);
    for (const char *sub : {"/resources", "/../share/morvex"}) {
        const std::string candidate = dir + sub;
        if (!is_folder(candidate)) continue;
        // Canonical, so printed paths carry no "..".
        char resolved[PATH_MAX];
        if (realpath(candidate.c_str(), resolved) != nullptr) return resolved;
        return candidate;
    }
    return std::string();
}

std::string resourceFolder()
{
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return std::string();
    exe[n] = '\0';
    return resourceFolderFor(exe);
}

bool parseWhole(const std::string &text, long lo, long hi, long *out)
{
    const char *s = text.c_str();
    char *end = nullptr;
    errno = 0;
    const long v = std::strtol(s, &end, 10);
    if (end == s || end != s + text.size() || errno == ERANGE || v < lo || v > hi) return false;
    *out = v;
    return true;
}

bool parseDecimal(const std::string &text, double lo, double hi, double *out)
{
    const char *s = text.c_str();
    char *end = nullptr;
    // Overflow gives infinity, rejected below; underflow (ERANGE with a tiny
    // result) is a representable answer and accepted.
    const double v = std::strtod(s, &end);
    if (end == s || end != s + text.size() || !std::isfinite(v) || v < lo || v > hi) return false;
    *out = v;
    return true;
}

bool parseDecimal(const std::string &text, double *out)
{
    return parseDecimal(text, -DBL_MAX, DBL_MAX, out);
}

}  // namespace mvtool
