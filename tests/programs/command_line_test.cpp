// What a newcomer types first, run as they would: every program's -h and
// --help give its usage on standard output with status 0 and nothing on
// standard error, the usage of each program that takes a marker size shows
// the one default, 45 mm; setup.sh refuses a wrong command word at once.
#include "test_util.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Output { int status; std::string out, err; };

Output run(const std::string &command)
{
    char tmpl[] = "/tmp/morvex_cli_XXXXXX";
    if (mkdtemp(tmpl) == nullptr) return {-1, "", "no scratch folder"};
    const std::string dir = tmpl;
    const int s = std::system((command + " >'" + dir + "/out' 2>'" + dir + "/err' </dev/null").c_str());
    Output r{WIFEXITED(s) ? WEXITSTATUS(s) : -1, morvex_test::slurp(dir + "/out"), morvex_test::slurp(dir + "/err")};
    std::system(("rm -rf '" + dir + "'").c_str());
    return r;
}

std::vector<std::string> words(const std::string &text)
{
    std::vector<std::string> v;
    std::istringstream in(text);
    for (std::string w; in >> w;) v.push_back(w);
    return v;
}

TEST(CommandLine, EveryProgramAnswersHelpOnStandardOutput)
{
    const auto programs = words(MORVEX_HELP_PROGRAMS);
    ASSERT_GE(programs.size(), 5u) << MORVEX_HELP_PROGRAMS;
    const auto sized = words(MORVEX_SIZED_PROGRAMS);
    for (const std::string &p : programs)
        for (const char *flag : {"-h", "--help"}) {
            SCOPED_TRACE(p + " " + flag);
            const Output r = run("'" MORVEX_BIN_DIR "/" + p + "' " + flag);
            EXPECT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(r.err, "");
            EXPECT_EQ(r.out.rfind("usage", 0), 0u) << r.out;
            EXPECT_EQ(r.out.back(), '\n');
            if (std::find(sized.begin(), sized.end(), p) != sized.end()) {
                EXPECT_NE(r.out.find("(default 45"), std::string::npos) << r.out;
            }
        }
    // Asked for after other words, help still wins (no file is touched).
    const Output r = run("'" MORVEX_BIN_DIR "/mvcamera' show --help");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("usage", 0), 0u);
}

TEST(CommandLine, SetupRefusesAWrongWordBeforeInstallingOrBuilding)
{
    const std::string build = "/tmp/morvex_cli_build_" + std::to_string(getpid());
    for (const char *word : {"tests", "run extra", "--verbose"}) {
        SCOPED_TRACE(word);
        const auto start = std::chrono::steady_clock::now();
        const Output r = run("BUILD_DIR='" + build + "' '" MORVEX_SOURCE_DIR "/setup.sh' " + word);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(r.status, 2) << r.out << r.err;
        EXPECT_NE(r.err.find("usage:"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("run|test"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");   // no installing, configuring or building said anything
        EXPECT_LT(seconds, 5.0);
        struct stat st;
        EXPECT_NE(stat(build.c_str(), &st), 0) << "setup.sh made " << build;
    }
    const Output help = run("'" MORVEX_SOURCE_DIR "/setup.sh' --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage:", 0), 0u) << help.out;
}

}  // namespace
