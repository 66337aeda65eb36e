// test_util.h - header-only helpers for tests that run programs and read
// files: include as "../support/test_util.h"; nothing to link.
#ifndef MORVEX_TEST_UTIL_H
#define MORVEX_TEST_UTIL_H

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>

namespace morvex_test {

// The whole file as bytes; empty when it cannot be read.
inline std::string slurp(const std::string &path)
{
    std::stringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

// Runs `command` through the shell with stderr folded into stdout: the exit
// status (-1 when it did not exit) and the output.
inline std::pair<int, std::string> runCaptured(const std::string &command)
{
    FILE *p = popen((command + " 2>&1").c_str(), "r");
    std::string out;
    char buf[512];
    for (size_t n; p && (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    const int st = p ? pclose(p) : -1;
    return {WIFEXITED(st) ? WEXITSTATUS(st) : -1, out};
}

}  // namespace morvex_test

#endif
