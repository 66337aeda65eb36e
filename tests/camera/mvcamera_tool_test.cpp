// The mvcamera tool: the bundled calibration is reproducible from its
// documented command, and bad input is refused with a message and status 1.
#include "morvex/camera.h"

#include <gtest/gtest.h>

#include "../support/test_util.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace {

std::pair<int, std::string> run(const std::string &args)
{
    return morvex_test::runCaptured(std::string(MVCAMERA_PATH) + " " + args);
}

const std::string kBundled = std::string(MORVEX_SOURCE_DIR) + "/resources/camera_para.dat";
const std::string kOut = "/tmp/morvex_mvcamera_" + std::to_string(getpid());

}  // namespace

TEST(MvcameraTool, RegeneratesBundledCalibrationByteForByte)
{
    const auto made = run("make " + kOut +
                          " --size 640 480 --focal 700 700 --principal 318.5 241"
                          " --dist-centre 321 238.5 --dist-factor 40 --scale 1");
    ASSERT_EQ(made.first, 0) << made.second;
    const std::string fresh = morvex_test::slurp(kOut), bundled = morvex_test::slurp(kBundled);
    std::remove(kOut.c_str());
    ASSERT_EQ(bundled.size(), 136u);
    EXPECT_EQ(fresh, bundled);
}

TEST(MvcameraTool, ScaleAgreesWithTheLibrary)
{
    ASSERT_EQ(run("scale " + kBundled + " 320 240 " + kOut).first, 0);
    MvCameraParam full, half, expect;
    ASSERT_EQ(mvParamLoad(kBundled.c_str(), 1, &full), 0);
    ASSERT_EQ(mvParamLoad(kOut.c_str(), 1, &half), 0);
    std::remove(kOut.c_str());
    mvParamChangeSize(&full, 320, 240, &expect);
    EXPECT_EQ(std::memcmp(&half, &expect, sizeof half), 0);
}

TEST(MvcameraTool, RefusesImpossibleInputNamingTheCulprit)
{
    const std::string make = "make " + kOut + " --size 640 480 --focal 700 700 --principal 318.5 241";
    const std::string short_file = kOut + "_short";
    std::ofstream(short_file, std::ios::binary) << std::string(100, 'x');
    const std::pair<std::string, std::string> cases[] = {  // arguments, culprit named
        {"make " + kOut + " --size 640 -480 --focal 700 700 --principal 1 1", "'-480'"},
        {make + " --dist-factor nan", "'nan'"},
        {make + " --colour red", "'--colour'"},
        {make + " --scale", "--scale"},
        {"make " + kOut + " --focal 700 700 --principal 1 1", "--size"},
        {"frobnicate", "'frobnicate'"},
        {"show /nonexistent/camera_para.dat", "/nonexistent/camera_para.dat"},
        {"scale " + short_file + " 320 240 " + kOut, "shorter than one 136-byte"},
    };
    for (const auto &c : cases) {
        const auto r = run(c.first);
        EXPECT_EQ(r.first, 1) << c.first;
        EXPECT_NE(r.second.find(c.second), std::string::npos) << c.first << "\n" << r.second;
        EXPECT_EQ(std::count(r.second.begin(), r.second.end(), '\n'), 1) << r.second;  // one line
        EXPECT_NE(access(kOut.c_str(), F_OK), 0) << "no file for " << c.first;
    }
    std::remove(short_file.c_str());
}
