// Shared helpers of the pattern tests: temporary paths and a clean store.
#ifndef MORVEX_TESTS_PATTERN_UTIL_H
#define MORVEX_TESTS_PATTERN_UTIL_H

#include "morvex/pattern.h"

#include <string>
#include <unistd.h>

namespace pattern_test {

// A path in the temporary folder, unique to this process.
inline std::string tempPath(const std::string &name) {
    return "/tmp/morvex-pattern-" + std::to_string(getpid()) + "-" + name;
}

// Frees every slot, so that each test starts from an empty store.
inline void clearStore() {
    for (int i = 0; i < 50; i++) mvFreePatt(i);
}

}  // namespace pattern_test

#endif
