// Resource lookup: the viewer's "bundle" is a resource folder found from
// the executable's own path.
#ifndef MORVEX_APP_RESOURCE_H
#define MORVEX_APP_RESOURCE_H

#include <cstddef>
#include <string>

// Size of the path buffer a resource path is written into, terminator
// included.
constexpr std::size_t kPathBufferSize = 1026;

// The resource folder of an executable whose absolute path is `exe_path`:
// the first of <its folder>/resources and <its folder>/../share/morvex that
// is an existing folder, as a canonical absolute path. Empty when neither
// exists.
std::string bundleFor(const std::string &exe_path);

// bundleFor() of the running executable (/proc/self/exe); empty when the
// executable's path cannot be read or no folder exists.
std::string mainBundle();

// Looks up the resource `name` in `bundle` (empty: no bundle) and prints the
// start-up messages. Found (a regular file of exactly that name): its
// absolute path goes into `path` (kPathBufferSize bytes) and `found_fmt` is
// printed with it. Not found, or the path does not fit: `path` is left as it
// was and `missing_fmt` is printed with it. Without a bundle only
// "failure: bundle is NULL" is printed. Both formats take one %s.
void findResource(const std::string &bundle, const char *name,
                  const char *found_fmt, const char *missing_fmt, char *path);

#endif
