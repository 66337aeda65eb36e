// Patterns as objects of their own, made from files or values.
#include "pattern_object.h"

#include <cstdio>
#include <new>

namespace {

void say(char *why, const char *format, const char *path)
{
    if (why != nullptr) std::snprintf(why, MV_MESSAGE_MAX, format, path);
}

}  // namespace

extern "C" MvPattern *mvPatternLoad(const char *path, char *why, int *code)
{
    MvError failure = MV_ERROR_NONE;
    if (path == nullptr) {
        say(why, "no pattern file given%s", "");
        failure = MV_ERROR_ARGUMENT;
    } else {
        int values[mvcore::kFileValues];
        const MvError r = mvcore::read_pattern_values(path, values);
        if (r == MV_ERROR_NONE) {
            MvPattern *p = new (std::nothrow) MvPattern;
            if (p != nullptr) {
                try {
                    p->name = path;
                    mvcore::template_from_values(values, &p->templates);
                    mvcore::profile_from_values(values, &p->profile);
                    if (code) *code = MV_ERROR_NONE;
                    return p;
                } catch (const std::bad_alloc &) {
                    delete p;
                }
            }
            say(why, "no memory for pattern \"%s\"", path);
            failure = MV_ERROR_MEMORY;
        } else if (r == MV_ERROR_NOT_FOUND) {
            say(why, "cannot open pattern file \"%s\"", path);
            failure = r;
        } else {
            say(why, "pattern file \"%s\" holds fewer than 3072 whole numbers", path);
            failure = r;
        }
    }
    if (code) *code = failure;
    return nullptr;
}

extern "C" MvPattern *mvPatternFromValues(const unsigned char values[3072], const char *name)
{
    if (values == nullptr) return nullptr;
    MvPattern *p = new (std::nothrow) MvPattern;
    if (p == nullptr) return nullptr;
    try {
        p->name = name ? name : "pattern";
    } catch (const std::bad_alloc &) {
        delete p;
        return nullptr;
    }
    int v[mvcore::kFileValues];
    for (int i = 0; i < mvcore::kFileValues; i++) v[i] = values[i];
    mvcore::template_from_values(v, &p->templates);
    mvcore::profile_from_values(v, &p->profile);
    return p;
}

extern "C" const char *mvPatternName(const MvPattern *pattern)
{
    return pattern ? pattern->name.c_str() : nullptr;
}

extern "C" void mvPatternRelease(MvPattern *pattern)
{
    if (pattern != nullptr && pattern->holds.fetch_sub(1, std::memory_order_acq_rel) == 1) delete pattern;
}
