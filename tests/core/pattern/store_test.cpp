// The pattern store: slot rules and file reading.
#include "morvex/error.h"
#include "morvex/pattern.h"
#include "../../../lib/core/pattern/templates.h"
#include "pattern_test_util.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <cmath>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <string>

using namespace pattern_test;

namespace {

class Store : public ::testing::Test {
protected:
    void SetUp() override { clearStore(); }
    void TearDown() override { clearStore(); }
};

// A file of `count` numbers, value(i) for the i-th number in file order.
template <class F>
std::string numbersFile(const std::string &name, int count, F value) {
    std::string path = tempPath(name);
    FILE *fp = std::fopen(path.c_str(), "w");
    for (int i = 0; i < count; i++) std::fprintf(fp, "%d%c", value(i), i % 7 ? ' ' : '\n');
    std::fclose(fp);
    return path;
}

int openFileCount() {
    int n = 0;
    DIR *d = opendir("/proc/self/fd");
    while (readdir(d) != nullptr) n++;
    closedir(d);
    return n;
}

// Loads take the lowest free slot (a deactivated one stays in use), up to
// fifty; slot operations report free and out-of-range slots with -1.
TEST_F(Store, SlotRules) {
    std::string f = numbersFile("flat", 3072, [](int) { return 128; });
    for (int i = 0; i < 50; i++) ASSERT_EQ(mvLoadPatt(f.c_str()), i);
    EXPECT_EQ(mvLoadPatt(f.c_str()), -1);
    EXPECT_EQ(mvLastError(), MV_ERROR_CAPACITY);
    struct Step { int (*op)(int); int id, expect; } steps[] = {
        {mvFreePatt, 17, 1},       {mvFreePatt, 17, -1},      {mvActivatePatt, 17, -1},
        {mvDeactivatePatt, 17, -1}, {mvFreePatt, 50, -1},     {mvFreePatt, -1, -1},
        {mvActivatePatt, 50, -1},  {mvDeactivatePatt, 1000000, -1},
        {mvFreePatt, 3, 1},        {mvDeactivatePatt, 0, 1},  {mvActivatePatt, 0, 1},
        {mvDeactivatePatt, 0, 1},  {mvDeactivatePatt, 0, 1},
    };
    for (const Step &s : steps) EXPECT_EQ(s.op(s.id), s.expect) << "slot " << s.id;
    EXPECT_EQ(mvLoadPatt(f.c_str()), 3);  // not 0: deactivated is still in use
    EXPECT_EQ(mvLoadPatt(f.c_str()), 17);
}

// (Their messages and error codes: tests/message.)
TEST_F(Store, MissingAndShortFilesLeaveTheSlotFree) {
    EXPECT_EQ(mvLoadPatt("/nonexistent/none.lumo"), -1);

    std::string shortf = numbersFile("short", 3071, [](int) { return 10; });
    std::string words = tempPath("words");
    std::ofstream(words) << "12 34 fifty 56\n";
    const int fds = openFileCount();
    for (const std::string &bad : {shortf, words}) {
        mvClearError();
        EXPECT_EQ(mvLoadPatt(bad.c_str()), -1) << bad;
        EXPECT_EQ(mvLastError(), MV_ERROR_FORMAT) << bad;
    }
    // The file is closed on the error path: no descriptor is left behind.
    for (int i = 0; i < 20; i++) mvLoadPatt(shortf.c_str());
    EXPECT_EQ(openFileCount(), fds);
    // The slot stayed free: a good file now gets slot 0.
    std::string good = numbersFile("good", 3072, [](int) { return 10; });
    EXPECT_EQ(mvLoadPatt(good.c_str()), 0);
}

TEST_F(Store, ValuesFarOutOfRangeDoNotOverflow) {
    // Such files are never written by mvSavePatt; they must load without
    // undefined arithmetic and give finite norms.
    std::string wild = numbersFile("wild", 3072, [](int i) {
        return i % 2 ? 2147483647 : -2147483647; });
    ASSERT_GE(mvLoadPatt(wild.c_str()), 0);
    static int values[mvcore::kFileValues];
    static mvcore::PatternTemplate s, h;
    ASSERT_EQ(mvcore::read_pattern_values(wild.c_str(), values), MV_ERROR_NONE);
    mvcore::template_from_values(values, &s);
    EXPECT_TRUE(std::isfinite(s.colour_norm[0]));
    EXPECT_GT(s.colour_norm[0], 1e6);
    // Numbers past the range of int load as the largest ones do.
    std::string huge = tempPath("huge");
    {
        std::ofstream out(huge);
        for (int i = 0; i < 3072; i++) out << (i % 2 ? " 99999999999999999999" : " -99999999999999999999");
    }
    ASSERT_GE(mvLoadPatt(huge.c_str()), 0);
    ASSERT_EQ(mvcore::read_pattern_values(huge.c_str(), values), MV_ERROR_NONE);
    mvcore::template_from_values(values, &h);
    for (int b = 0; b < 4; b++) {
        EXPECT_EQ(h.colour_norm[b], s.colour_norm[b]);
        EXPECT_EQ(0, std::memcmp(h.colour[b], s.colour[b], sizeof h.colour[b]));
    }
}

}  // namespace
