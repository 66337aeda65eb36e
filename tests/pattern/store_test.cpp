// The pattern store: slot rules, file reading, templates.
#include "morvex/pattern.h"
#include "../../pattern/pattern_store.h"
#include "pattern_test_util.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <cmath>
#include <cstdio>
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

TEST_F(Store, LoadTakesTheLowestFreeSlot) {
    std::string f = numbersFile("flat", 3072, [](int) { return 128; });
    EXPECT_EQ(mvLoadPatt(f.c_str()), 0);
    EXPECT_EQ(mvLoadPatt(f.c_str()), 1);
    EXPECT_EQ(mvLoadPatt(f.c_str()), 2);
    EXPECT_EQ(mvFreePatt(0), 1);
    EXPECT_EQ(mvLoadPatt(f.c_str()), 0);
    EXPECT_EQ(mvFreePatt(1), 1);
    EXPECT_EQ(mvDeactivatePatt(0), 1);
    // A deactivated slot stays in use: the next load takes slot 1, not 0.
    EXPECT_EQ(mvLoadPatt(f.c_str()), 1);
    EXPECT_EQ(mvpattern::pattern_num, 3);
}

TEST_F(Store, SlotOperationsReportFreeAndOutOfRangeSlots) {
    std::string f = numbersFile("flat", 3072, [](int) { return 128; });
    ASSERT_EQ(mvLoadPatt(f.c_str()), 0);
    struct Case { int id; int expect; } cases[] = {
        {0, 1}, {1, -1}, {49, -1}, {50, -1}, {-1, -1}, {1000000, -1}};
    for (const Case &c : cases) {
        EXPECT_EQ(mvDeactivatePatt(c.id), c.expect) << "slot " << c.id;
        EXPECT_EQ(mvActivatePatt(c.id), c.expect) << "slot " << c.id;
    }
    EXPECT_EQ(mvpattern::patf[0], 1);
    EXPECT_EQ(mvFreePatt(50), -1);
    EXPECT_EQ(mvFreePatt(-1), -1);
    EXPECT_EQ(mvFreePatt(0), 1);
    EXPECT_EQ(mvFreePatt(0), -1);   // already free
    EXPECT_EQ(mvActivatePatt(0), -1);
    EXPECT_EQ(mvpattern::pattern_num, 0);
}

TEST_F(Store, FiftySlotsThenFull) {
    std::string f = numbersFile("flat", 3072, [](int) { return 128; });
    for (int i = 0; i < 50; i++) ASSERT_EQ(mvLoadPatt(f.c_str()), i);
    EXPECT_EQ(mvLoadPatt(f.c_str()), -1);
    EXPECT_EQ(mvFreePatt(17), 1);
    EXPECT_EQ(mvLoadPatt(f.c_str()), 17);
}

TEST_F(Store, MissingAndShortFilesLeaveTheSlotFree) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(mvLoadPatt("/nonexistent/none.lumo"), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\"/nonexistent/none.lumo\" not found!!\n");

    std::string shortf = numbersFile("short", 3071, [](int) { return 10; });
    std::string words = tempPath("words");
    {
        FILE *fp = std::fopen(words.c_str(), "w");
        std::fputs("12 34 fifty 56\n", fp);
        std::fclose(fp);
    }
    const int fds = openFileCount();
    for (const std::string &bad : {shortf, words}) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(mvLoadPatt(bad.c_str()), -1) << bad;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "Pattern Data read error!!\n");
    }
    // The file is closed on the error path: no descriptor is left behind.
    for (int i = 0; i < 20; i++) mvLoadPatt(shortf.c_str());
    EXPECT_EQ(openFileCount(), fds);
    EXPECT_EQ(mvpattern::pattern_num, 0);
    // The slot stayed free: a good file now gets slot 0.
    std::string good = numbersFile("good", 3072, [](int) { return 10; });
    EXPECT_EQ(mvLoadPatt(good.c_str()), 0);
}

TEST_F(Store, TemplatesAreZeroMeanDarknessWithTheirNorms) {
    // Zeros: every entry is 255 before, 0 after the mean; the norms are
    // replaced by 1e-7 so that matching never divides by zero.
    std::string zeros = numbersFile("zeros", 3072, [](int) { return 0; });
    int s = mvLoadPatt(zeros.c_str());
    ASSERT_GE(s, 0);
    for (int b = 0; b < 4; b++) {
        EXPECT_EQ(mvpattern::patpow[s][b], 1e-7);
        EXPECT_EQ(mvpattern::patpowBW[s][b], 1e-7);
        for (int i = 0; i < 768; i++) ASSERT_EQ(mvpattern::pat[s][b][i], 0);
        for (int i = 0; i < 256; i++) ASSERT_EQ(mvpattern::patBW[s][b][i], 0);
    }
    // A horizontal ramp 255 - 10 * column: darkness 10 * column, mean 75,
    // colour norm sqrt(768 * mean of (10k - 75)^2) = sqrt(1632000), grey
    // norm sqrt(544000). A trailing number after the 3072nd is ignored.
    std::string ramp = numbersFile("ramp", 3073, [](int i) { return 255 - 10 * (i % 16); });
    s = mvLoadPatt(ramp.c_str());
    ASSERT_GE(s, 0);
    for (int b = 0; b < 4; b++) {
        EXPECT_NEAR(mvpattern::patpow[s][b], 1277.4976, 5e-5);
        EXPECT_NEAR(mvpattern::patpowBW[s][b], 737.5636, 5e-5);
        for (int r = 0; r < 16; r++)
            for (int k = 0; k < 16; k++) {
                for (int c = 0; c < 3; c++)
                    ASSERT_EQ(mvpattern::pat[s][b][(r * 16 + k) * 3 + c], 10 * k - 75);
                ASSERT_EQ(mvpattern::patBW[s][b][r * 16 + k], 10 * k - 75);
            }
    }
    // Grey entries average the three planes with integer division: planes
    // 0, 1, 2 holding 255 - 1, 255 - 2, 255 - 4 give (1 + 2 + 4) / 3 = 2.
    std::string planes = numbersFile("planes", 3072, [](int i) {
        return 255 - (1 << ((i / 256) % 3)); });
    s = mvLoadPatt(planes.c_str());
    ASSERT_GE(s, 0);
    // Mean of 768 values 1, 2, 4 (256 each): 1792 / 768 = 2 (integer).
    EXPECT_EQ(mvpattern::patBW[s][3][77], 2 - 2);
    EXPECT_EQ(mvpattern::pat[s][3][77 * 3 + 2], 4 - 2);
}

TEST_F(Store, ValuesFarOutOfRangeDoNotOverflow) {
    // Such files are never written by mvSavePatt; they must load without
    // undefined arithmetic and give finite norms.
    std::string wild = numbersFile("wild", 3072, [](int i) {
        return i % 2 ? 2147483647 : -2147483647; });
    int s = mvLoadPatt(wild.c_str());
    ASSERT_GE(s, 0);
    EXPECT_TRUE(std::isfinite(mvpattern::patpow[s][0]));
    EXPECT_GT(mvpattern::patpow[s][0], 1e6);
}

}  // namespace
