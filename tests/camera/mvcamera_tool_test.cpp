// The mvcamera tool: the bundled calibration is reproducible from its
// documented command, and bad input is refused with a message and status 1.
#include "morvex/camera.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct ToolRun {
    int status;
    std::string output;  // stdout and stderr together
};

ToolRun run(const std::string &args)
{
    const std::string cmd = std::string(MVCAMERA_PATH) + " " + args + " 2>&1";
    FILE *p = popen(cmd.c_str(), "r");
    ToolRun r = {-1, ""};
    if (p == nullptr) return r;
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

std::vector<unsigned char> bytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

std::string temp_path(const char *tag)
{
    return std::string("/tmp/morvex_mvcamera_") + tag + "_" + std::to_string(getpid());
}

}  // namespace

TEST(MvcameraTool, RegeneratesBundledCalibrationByteForByte)
{
    const std::string out = temp_path("regen");
    const ToolRun made = run("make " + out +
                         " --size 640 480 --focal 700 700 --principal 318.5 241"
                         " --dist-centre 321 238.5 --dist-factor 40 --scale 1");
    ASSERT_EQ(made.status, 0) << made.output;
    const std::vector<unsigned char> fresh = bytes(out);
    const std::vector<unsigned char> bundled = bytes(std::string(MORVEX_SOURCE_DIR) + "/resources/camera_para.dat");
    std::remove(out.c_str());
    ASSERT_EQ(bundled.size(), 136u);
    EXPECT_EQ(fresh, bundled);
}

TEST(MvcameraTool, ShowAndScaleAgreeWithTheLibrary)
{
    const std::string bundled = std::string(MORVEX_SOURCE_DIR) + "/resources/camera_para.dat";
    const ToolRun shown = run("show " + bundled);
    EXPECT_EQ(shown.status, 0);
    EXPECT_NE(shown.output.find("SIZE = 640, 480\n"), std::string::npos) << shown.output;
    EXPECT_NE(shown.output.find("Distotion factor = 321.000000 238.500000 40.000000 1.000000"),
              std::string::npos);

    const std::string out = temp_path("scale");
    ASSERT_EQ(run("scale " + bundled + " 320 240 " + out).status, 0);
    MvCameraParam full, half, expect;
    ASSERT_EQ(mvParamLoad(bundled.c_str(), 1, &full), 0);
    ASSERT_EQ(mvParamLoad(out.c_str(), 1, &half), 0);
    std::remove(out.c_str());
    mvParamChangeSize(&full, 320, 240, &expect);
    EXPECT_EQ(std::memcmp(&half, &expect, sizeof half), 0);

    const ToolRun help = run("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("example:"), std::string::npos);
    EXPECT_NE(help.output.find("--dist-factor"), std::string::npos);
}

TEST(MvcameraTool, RefusesImpossibleInputNamingTheCulprit)
{
    const std::string out = temp_path("bad");
    const std::string good_rest = " --focal 700 700 --principal 318.5 241";
    const std::string short_file = temp_path("short");
    {
        std::ofstream f(short_file, std::ios::binary);
        f << std::string(100, 'x');
    }
    struct Case {
        std::string args, culprit;
    } cases[] = {
        {"make " + out + " --size 0 480" + good_rest, "'0'"},
        {"make " + out + " --size 640 -480" + good_rest, "'-480'"},
        {"make " + out + " --size 640x 480" + good_rest, "'640x'"},
        {"make " + out + " --size 640 480 --focal 0 700 --principal 1 1", "'0'"},
        {"make " + out + " --size 640 480 --focal 700 -7 --principal 1 1", "'-7'"},
        {"make " + out + " --size 640 480" + good_rest + " --scale 0", "'0'"},
        {"make " + out + " --size 640 480" + good_rest + " --dist-factor nan", "'nan'"},
        {"make " + out + " --size 640 480" + good_rest + " --skew inf", "'inf'"},
        {"make " + out + " --size 640 480" + good_rest + " --dist-factor 1e999", "'1e999'"},
        {"make " + out + " --size 640 480" + good_rest + " --colour red", "'--colour'"},
        {"make " + out + " --size 640 480" + good_rest + " --scale", "--scale"},
        {"make " + out + " --focal 700 700 --principal 1 1", "--size"},
        {"frobnicate", "'frobnicate'"},
        {"show /nonexistent/camera_para.dat", "/nonexistent/camera_para.dat"},
        {"show " + short_file, "shorter than one 136-byte"},
        {"scale " + short_file + " 320 240 " + out, "shorter than one 136-byte"},
        {"scale " + std::string(MORVEX_SOURCE_DIR) + "/resources/camera_para.dat 0 240 " + out, "'0'"},
    };
    for (const Case &c : cases) {
        const ToolRun r = run(c.args);
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_NE(r.output.find(c.culprit), std::string::npos) << c.args << "\n" << r.output;
        // One line: the message alone.
        EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
        EXPECT_NE(access(out.c_str(), F_OK), 0) << "no file for " << c.args;
    }
    std::remove(short_file.c_str());
}
