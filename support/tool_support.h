// Helpers shared by the command-line programs (viewer and tools).
//
//   #include "tool_support.h"        // link morvex_tool_support
//
//   const std::string res = mvtool::resourceFolder();   // "" when none
//   long n;
//   if (!mvtool::parseWhole(arg, 0, 255, &n)) ...      // the tool's own message
//
// Nothing here prints; callers word their own errors.
#ifndef MORVEX_TOOL_SUPPORT_H
#define MORVEX_TOOL_SUPPORT_H

#include <string>

namespace mvtool {

// The resource folder of an executable whose absolute path is `exe_path`:
// the first of <its folder>/resources (build tree) and
// <its folder>/../share/morvex (installed) that is an existing folder, as a
// canonical absolute path. Empty when neither exists or `exe_path` has no
// folder part.
std::string resourceFolderFor(const std::string &exe_path);

// resourceFolderFor() of the running executable (/proc/self/exe); empty
// when the executable's path cannot be read or no folder exists.
std::string resourceFolder();

// A whole decimal number in [lo, hi]. False (and *out untouched) for an
// empty text, trailing characters, overflow or a value out of range.
// Leading white space is allowed, as strtol allows it.
bool parseWhole(const std::string &text, long lo, long hi, long *out);

// A finite decimal number in [lo, hi] (strtod syntax). False (and *out
// untouched) for an empty text, trailing characters, overflow, NaN or
// infinity, or a value out of range. A value too small to represent
// becomes its nearest double (possibly 0).
bool parseDecimal(const std::string &text, double lo, double hi, double *out);

// Any finite decimal number.
bool parseDecimal(const std::string &text, double *out);

}  // namespace mvtool

#endif
