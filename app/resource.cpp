// The resource folder beside the executable and the lookups in it.
#include "resource.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

static bool is_folder(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

static bool is_regular_file(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string bundleFor(const std::string &exe_path)
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

std::string mainBundle()
{
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return std::string();
    exe[n] = '\0';
    return bundleFor(exe);
}

void findResource(const std::string &bundle, const char *name,
                  const char *found_fmt, const char *missing_fmt, char *path)
{
    if (bundle.empty()) {
        printf("failure: bundle is NULL\n");
        return;
    }
    printf("trying to find the file...");
    const std::string candidate = bundle + "/" + name;
    if (!is_regular_file(candidate)) {
        printf("could not find file.");
        printf(missing_fmt, path);
        return;
    }
    printf("found it...");
    if (candidate.size() + 1 > kPathBufferSize) {
        // Too long for the buffer: reported like a failed conversion.
        printf(missing_fmt, path);
        return;
    }
    memcpy(path, candidate.c_str(), candidate.size() + 1);
    printf(found_fmt, path);
}
