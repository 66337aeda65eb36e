// The camera record: big-endian file and rescaling.
#include "morvex/camera.h"
#include "morvex/error.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "test_util.h"

namespace {

MvCameraParam sample(int xsize, int ysize)
{
    return MvCameraParam{xsize, ysize,
                         {{700.0, 0.5, 318.5, 1.25}, {0.0, 690.0, 241.0, -2.5}, {0.0, 0.0, 1.0, 0.0}},
                         {321.0, 238.5, 40.0, 1.0}};
}

const std::string kPath = "/tmp/morvex_cam_" + std::to_string(getpid());

}  // namespace

// The byte layout (big-endian) is checked where mvcamera regenerates the
// bundled file byte for byte; here several records come back as saved.
TEST(CameraFile, SeveralRecordsRoundTrip)
{
    const MvCameraParam a = sample(640, 480), b = sample(320, 240);
    ASSERT_EQ(mvParamSave(kPath.c_str(), 2, &a, &b), 0);
    EXPECT_EQ(morvex_test::slurp(kPath).size(), 272u);
    MvCameraParam ra, rb;
    ASSERT_EQ(mvParamLoad(kPath.c_str(), 2, &ra, &rb), 0);
    EXPECT_EQ(std::memcmp(&ra, &a, sizeof a), 0);
    EXPECT_EQ(std::memcmp(&rb, &b, sizeof b), 0);
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
    EXPECT_EQ(morvex_test::slurp(kPath).size(), 136u);  // num = 0 did not truncate the file
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

// A save that fails (a full disk; a folder it may not write in) leaves the
// old file as it was and nothing beside it.
TEST(CameraFile, FailedSaveKeepsTheOldFile)
{
    const std::string dir = kPath + "_dir", path = dir + "/cam.dat";
    ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
    const MvCameraParam good = sample(640, 480), other = sample(320, 240);
    ASSERT_EQ(mvParamSave(path.c_str(), 1, &good), 0);
    const std::string before = morvex_test::slurp(path);
    EXPECT_EQ(morvex_test::underFileSizeLimit(0, [&] {
                  return mvParamSave(path.c_str(), 2, &other, &other) == -1 &&
                         mvLastError() == MV_ERROR_WRITE;
              }),
              1);
    if (geteuid() != 0) {  // permissions do not stop root
        ASSERT_EQ(chmod(dir.c_str(), 0555), 0);
        EXPECT_EQ(mvParamSave(path.c_str(), 1, &other), -1);
        chmod(dir.c_str(), 0755);
    }
    EXPECT_EQ(morvex_test::slurp(path), before);
    EXPECT_EQ(morvex_test::countEntries(dir, "cam.dat"), 1);
    std::remove(path.c_str());
    rmdir(dir.c_str());
}

// Rows 0 and 1 and the distortion centre scale with the width, the
// distortion factor with its inverse square; the height never sets the scale.
TEST(CameraRescale, ScalesByTheWidthOnly)
{
    const MvCameraParam src = sample(640, 480);
    MvCameraParam d, expect = {320, 240,
                               {{350.0, 0.25, 159.25, 0.625}, {0.0, 345.0, 120.5, -1.25}, {0.0, 0.0, 1.0, 0.0}},
                               {160.5, 119.25, 160.0, 1.0}};
    ASSERT_EQ(mvParamChangeSize(&src, 320, 240, &d), 0);
    EXPECT_EQ(std::memcmp(&d, &expect, sizeof d), 0);
    expect = src;
    expect.ysize = 100;
    ASSERT_EQ(mvParamChangeSize(&src, 640, 100, &d), 0);
    EXPECT_EQ(std::memcmp(&d, &expect, sizeof d), 0);
}
