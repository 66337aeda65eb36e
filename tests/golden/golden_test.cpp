// The detection and pose outputs of the golden corpus, compared with the
// recorded ones: integers exactly, doubles bit for bit. A difference means an
// output moved; golden_record.cpp says how to regenerate the file when that
// is intended.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "test_util.h"
#include "golden_corpus.h"

TEST(Golden, DetectionAndPoseOutputsUnchanged)
{
    const std::string expected =
        morvex_test::slurp(std::string(MORVEX_SOURCE_DIR) + "/tests/golden/golden_outputs.txt");
    ASSERT_FALSE(expected.empty()) << "tests/golden/golden_outputs.txt is missing";
    std::string actual, error;
    ASSERT_TRUE(golden::recordGolden(MORVEX_RESOURCE_DIR, &actual, &error)) << error;

    // Report the first differing line with the frame and mode it belongs to.
    std::istringstream a(actual), e(expected);
    std::string la, le, frame, mode;
    int line = 0, differing = 0;
    while (true) {
        const bool ga = (bool)std::getline(a, la), ge = (bool)std::getline(e, le);
        if (!ga && !ge) break;
        line++;
        if (ga && la.rfind("mode ", 0) == 0) mode = la;
        if (ga && la.rfind("frame ", 0) == 0) frame = la;
        if (ga && ge && la == le) continue;
        if (differing++ == 0)
            ADD_FAILURE() << "line " << line << " (" << mode << ", " << frame << ")\n expected: "
                          << (ge ? le : "<end>") << "\n actual:   " << (ga ? la : "<end>");
    }
    EXPECT_EQ(differing, 0) << "differing lines";
}
