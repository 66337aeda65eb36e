// The resource folder beside the executable and the lookups in it.
#include "resource.h"
#include "tool_support.h"

#include <cstdio>
#include <cstring>
#include <sys/stat.h>

static bool is_regular_file(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string bundleFor(const std::string &exe_path)
{
    return mvtool::resourceFolderFor(exe_path);
}

std::string mainBundle()
{
    return mvtool::resourceFolder();
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
