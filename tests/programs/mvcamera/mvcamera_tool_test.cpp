// The mvcamera tool: the bundled calibration is reproducible from its
// documented command, and bad input is refused with a message and status 1.
#include "morvex/camera.h"

#include <gtest/gtest.h>

#include "test_util.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

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
    // Records that cannot be right, each refused naming its field.
    std::vector<std::string> bad;
    const auto record = [&](void (*spoil)(MvCameraParam *)) {
        MvCameraParam c;
        mvParamLoad(kBundled.c_str(), 1, &c);
        spoil(&c);
        bad.push_back(kOut + "_bad" + std::to_string(bad.size()));
        mvParamSave(bad.back().c_str(), 1, &c);
        return bad.back();
    };
    const std::pair<std::string, std::string> cases[] = {  // arguments, culprit named
        {"make " + kOut + " --size 640 -480 --focal 700 700 --principal 1 1", "'-480'"},
        {make + " --dist-factor nan", "'nan'"},
        {make + " --colour red", "'--colour'"},
        {make + " --scale", "--scale"},
        {"make " + kOut + " --focal 700 700 --principal 1 1", "--size"},
        {"frobnicate", "'frobnicate'"},
        {"show /nonexistent/camera_para.dat", "/nonexistent/camera_para.dat"},
        {"scale " + short_file + " 320 240 " + kOut, "shorter than one 136-byte"},
        {"show " + record([](MvCameraParam *c) { c->xsize = 0; }), "xsize 0"},
        {"scale " + record([](MvCameraParam *c) { c->ysize = -480; }) + " 320 240 " + kOut, "ysize -480"},
        {"show " + record([](MvCameraParam *c) { c->projection[1][2] = NAN; }), "projection[1][2] is nan"},
        {"show " + record([](MvCameraParam *c) { c->distortion[2] = INFINITY; }), "distortion[2] is inf"},
        {"show " + record([](MvCameraParam *c) { std::memset(c->projection[2], 0, 32); }),
         "projection[2], the third projection row, is all zero"},
        {"show " + record([](MvCameraParam *c) { c->distortion[3] = 0; }), "distortion[3] (the lens scale) is 0"},
        {"show " + record([](MvCameraParam *c) { c->projection[0][0] = 0; }), "projection[0][0] (the focal length in x) is 0"},
        {"show /tmp", "camera file \"/tmp\": it is a folder"},
    };
    for (const auto &c : cases) {
        const auto r = run(c.first);
        EXPECT_EQ(r.first, 1) << c.first;
        EXPECT_NE(r.second.find(c.second), std::string::npos) << c.first << "\n" << r.second;
        EXPECT_EQ(std::count(r.second.begin(), r.second.end(), '\n'), 1) << r.second;  // one line
        EXPECT_NE(access(kOut.c_str(), F_OK), 0) << "no file for " << c.first;
    }
    std::remove(short_file.c_str());
    for (const std::string &f : bad) std::remove(f.c_str());
}

// A make that cannot finish (a full disk) keeps the file made before.
TEST(MvcameraTool, FailedMakeKeepsTheOldFile)
{
    const std::string make = "make " + kOut + " --size 640 480 --focal 700 700 --principal 318.5 241";
    ASSERT_EQ(run(make).first, 0);
    const std::string before = morvex_test::slurp(kOut);
    const auto r = morvex_test::underFileSizeLimit(0, [&] { return run(make + " --skew 1").first; });
    EXPECT_EQ(r, 1);
    EXPECT_EQ(morvex_test::slurp(kOut), before);
    const std::string name = kOut.substr(kOut.rfind('/') + 1);
    EXPECT_EQ(morvex_test::countEntries("/tmp", name), 1);  // no temporary file left
    std::remove(kOut.c_str());
}
