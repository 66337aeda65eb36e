// The camera record: big-endian file, rescaling, printing.
#include "morvex/camera.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

MvCameraParam sample(int xsize, int ysize)
{
    return MvCameraParam{xsize, ysize,
                         {{700.0, 0.5, 318.5, 1.25}, {0.0, 690.0, 241.0, -2.5}, {0.0, 0.0, 1.0, 0.0}},
                         {321.0, 238.5, 40.0, 1.0}};
}

std::vector<unsigned char> bytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

const std::string kPath = "/tmp/morvex_cam_" + std::to_string(getpid());
const std::string kPath2 = kPath + "_again";

}  // namespace

TEST(CameraFile, RoundTripIsByteIdenticalAndBigEndian)
{
    const MvCameraParam a = sample(640, 480), b = sample(320, 240);
    ASSERT_EQ(mvParamSave(kPath.c_str(), 2, &a, &b), 0);
    const std::vector<unsigned char> file = bytes(kPath);
    ASSERT_EQ(file.size(), 272u);
    // 640, 480, then 700.0 = 0x4085E0..; 318.5 = 0x4073E8.. at 24; the
    // distortion factor 40.0 = 0x4044.. at 120.
    const unsigned char head[16] = {0, 0, 2, 0x80, 0, 0, 1, 0xe0, 0x40, 0x85, 0xe0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(file.data(), head, 16), 0);
    EXPECT_EQ((std::vector<unsigned char>{file[24], file[25], file[26], file[120], file[121]}),
              (std::vector<unsigned char>{0x40, 0x73, 0xe8, 0x40, 0x44}));

    MvCameraParam ra, rb;
    ASSERT_EQ(mvParamLoad(kPath.c_str(), 2, &ra, &rb), 0);
    EXPECT_EQ(std::memcmp(&ra, &a, sizeof a), 0);
    EXPECT_EQ(std::memcmp(&rb, &b, sizeof b), 0);
    ASSERT_EQ(mvParamSave(kPath2.c_str(), 2, &ra, &rb), 0);
    EXPECT_EQ(bytes(kPath2), file);
    std::remove(kPath2.c_str());
}

TEST(CameraFile, FailuresLeaveUnreadRecordsAlone)
{
    const MvCameraParam c = sample(640, 480);
    ASSERT_EQ(mvParamSave(kPath.c_str(), 1, &c), 0);
    MvCameraParam untouched, r, second;
    std::memset(&untouched, 0x11, sizeof untouched);
    r = second = untouched;
    EXPECT_EQ(mvParamLoad(kPath.c_str(), 0, &r), -1);
    EXPECT_EQ(mvParamSave(kPath.c_str(), 0, &c), -1);
    EXPECT_EQ(bytes(kPath).size(), 136u);  // num = 0 did not truncate the file
    EXPECT_EQ(std::memcmp(&r, &untouched, sizeof r), 0);
    // Two records asked, one present: the first is filled, the second not.
    EXPECT_EQ(mvParamLoad(kPath.c_str(), 2, &r, &second), -1);
    EXPECT_EQ(std::memcmp(&r, &c, sizeof r), 0);
    EXPECT_EQ(std::memcmp(&second, &untouched, sizeof second), 0);
    // A file one byte short.
    ASSERT_EQ(truncate(kPath.c_str(), 135), 0);
    EXPECT_EQ(mvParamLoad(kPath.c_str(), 1, &second), -1);
    EXPECT_EQ(std::memcmp(&second, &untouched, sizeof second), 0);
    std::remove(kPath.c_str());
    EXPECT_EQ(mvParamLoad("/nonexistent/dir/camera_para.dat", 1, &r), -1);
    EXPECT_EQ(mvParamSave("/nonexistent/dir/camera_para.dat", 1, &c), -1);
}

TEST(CameraRescale, HalvesRowsZeroAndOneAndQuadruplesTheFactor)
{
    const MvCameraParam src = sample(640, 480);
    MvCameraParam d;
    ASSERT_EQ(mvParamChangeSize(&src, 320, 240, &d), 0);
    EXPECT_EQ(d.xsize, 320);
    EXPECT_EQ(d.ysize, 240);
    for (int j = 0; j < 4; j++) {
        EXPECT_EQ(d.projection[0][j], src.projection[0][j] / 2);
        EXPECT_EQ(d.projection[1][j], src.projection[1][j] / 2);
        EXPECT_EQ(d.projection[2][j], src.projection[2][j]);
    }
    const double dist[4] = {160.5, 119.25, 160.0, 1.0};
    EXPECT_EQ(std::memcmp(d.distortion, dist, sizeof dist), 0);
    // Own width: only the size fields change (the height does not scale).
    ASSERT_EQ(mvParamChangeSize(&src, 640, 100, &d), 0);
    EXPECT_EQ(d.ysize, 100);
    EXPECT_EQ(std::memcmp(d.projection, src.projection, sizeof d.projection), 0);
}

