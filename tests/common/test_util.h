// test_util.h - header-only helpers for tests that run programs and read
// files: include as "../support/test_util.h"; nothing to link.
#ifndef MORVEX_TEST_UTIL_H
#define MORVEX_TEST_UTIL_H

#include <sys/resource.h>
#include <sys/wait.h>
#include <dirent.h>
#include <unistd.h>

#include <csignal>

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

// Runs `body` in a forked child whose files may grow to `bytes` at most
// (a full disk: writes beyond fail with EFBIG, SIGXFSZ ignored, both kept
// by programs the child starts): the child's exit status, -1 when it did
// not exit.
template <class Body>
int underFileSizeLimit(long bytes, Body body)
{
    const pid_t pid = fork();
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit lim = {(rlim_t)bytes, (rlim_t)bytes};
        _exit(setrlimit(RLIMIT_FSIZE, &lim) == 0 ? body() : 99);
    }
    int st = 0;
    waitpid(pid, &st, 0);
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

// The entries of `dir` whose names start with `prefix`: what a failed
// save might have left beside its destination.
inline int countEntries(const std::string &dir, const std::string &prefix)
{
    int n = 0;
    if (DIR *d = opendir(dir.c_str())) {
        while (const dirent *e = readdir(d)) n += std::string(e->d_name).rfind(prefix, 0) == 0;
        closedir(d);
    }
    return n;
}

}  // namespace morvex_test

#endif
