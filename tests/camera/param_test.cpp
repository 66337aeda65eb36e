// The camera record: big-endian file, rescaling, printing, active camera.
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

MvCameraParam sample(int xsize = 640, int ysize = 480)
{
    MvCameraParam c = {xsize, ysize,
                       {{700.0, 0.5, 318.5, 1.25}, {0.0, 690.0, 241.0, -2.5}, {0.0, 0.0, 1.0, 0.0}},
                       {321.0, 238.5, 40.0, 1.0}};
    return c;
}

class TempFile {
public:
    TempFile()
    {
        char name[] = "/tmp/morvex_camXXXXXX";
        int fd = mkstemp(name);
        close(fd);
        path_ = name;
    }
    ~TempFile() { std::remove(path_.c_str()); }
    const char *path() const { return path_.c_str(); }
    std::vector<unsigned char> bytes() const
    {
        std::ifstream in(path_, std::ios::binary);
        return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
    }
    void write(const std::vector<unsigned char> &b) const
    {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out.write((const char *)b.data(), (std::streamsize)b.size());
    }

private:
    std::string path_;
};

}  // namespace

TEST(CameraFile, SaveWritesBigEndianAndLoadRestoresEveryByte)
{
    TempFile f;
    const MvCameraParam c = sample();
    ASSERT_EQ(mvParamSave(f.path(), 1, &c), 0);
    const std::vector<unsigned char> b = f.bytes();
    ASSERT_EQ(b.size(), 136u);
    // 640, 480, then 700.0 = 0x4085E00000000000 and 318.5 = 0x4073E80000000000.
    const unsigned char head[16] = {0, 0, 2, 0x80, 0, 0, 1, 0xe0, 0x40, 0x85, 0xe0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(b.data(), head, 16), 0);
    const unsigned char cx[8] = {0x40, 0x73, 0xe8, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(b.data() + 8 + 2 * 8, cx, 8), 0);
    // Distortion factor 40.0 = 0x4044000000000000 at offset 104 + 16.
    const unsigned char factor[8] = {0x40, 0x44, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(b.data() + 120, factor, 8), 0);

    MvCameraParam back;
    std::memset(&back, 0xff, sizeof back);
    ASSERT_EQ(mvParamLoad(f.path(), 1, &back), 0);
    EXPECT_EQ(std::memcmp(&back, &c, sizeof c), 0);
}

TEST(CameraFile, SeveralRecordsInArgumentOrder)
{
    TempFile f;
    const MvCameraParam a = sample(640, 480), b = sample(320, 240);
    ASSERT_EQ(mvParamSave(f.path(), 2, &a, &b), 0);
    EXPECT_EQ(f.bytes().size(), 272u);
    MvCameraParam ra, rb;
    ASSERT_EQ(mvParamLoad(f.path(), 2, &ra, &rb), 0);
    EXPECT_EQ(std::memcmp(&ra, &a, sizeof a), 0);
    EXPECT_EQ(std::memcmp(&rb, &b, sizeof b), 0);
    // A longer file: the first record only.
    MvCameraParam first;
    ASSERT_EQ(mvParamLoad(f.path(), 1, &first), 0);
    EXPECT_EQ(first.xsize, 640);
}

TEST(CameraFile, FailuresLeaveUnreadRecordsAlone)
{
    TempFile f;
    const MvCameraParam c = sample();
    ASSERT_EQ(mvParamSave(f.path(), 1, &c), 0);

    MvCameraParam untouched;
    std::memset(&untouched, 0x11, sizeof untouched);
    MvCameraParam r = untouched;
    EXPECT_EQ(mvParamLoad(f.path(), 0, &r), -1);
    EXPECT_EQ(mvParamSave(f.path(), 0, &c), -1);
    EXPECT_EQ(f.bytes().size(), 136u);  // num = 0 did not truncate the file
    EXPECT_EQ(std::memcmp(&r, &untouched, sizeof r), 0);

    // Two records asked, one present: the first is filled, the second not.
    MvCameraParam second = untouched;
    EXPECT_EQ(mvParamLoad(f.path(), 2, &r, &second), -1);
    EXPECT_EQ(std::memcmp(&r, &c, sizeof r), 0);
    EXPECT_EQ(std::memcmp(&second, &untouched, sizeof second), 0);

    std::vector<unsigned char> b = f.bytes();
    b.resize(135);
    f.write(b);
    r = untouched;
    EXPECT_EQ(mvParamLoad(f.path(), 1, &r), -1);
    EXPECT_EQ(std::memcmp(&r, &untouched, sizeof r), 0);

    EXPECT_EQ(mvParamLoad("/nonexistent/dir/camera_para.dat", 1, &r), -1);
    EXPECT_EQ(mvParamSave("/nonexistent/dir/camera_para.dat", 1, &c), -1);
}

TEST(CameraRescale, HalvesRowsZeroAndOneAndQuadruplesTheFactor)
{
    const MvCameraParam src = sample();
    MvCameraParam d;
    ASSERT_EQ(mvParamChangeSize(&src, 320, 240, &d), 0);
    EXPECT_EQ(d.xsize, 320);
    EXPECT_EQ(d.ysize, 240);
    for (int j = 0; j < 4; j++) {
        EXPECT_EQ(d.projection[0][j], src.projection[0][j] / 2);
        EXPECT_EQ(d.projection[1][j], src.projection[1][j] / 2);
        EXPECT_EQ(d.projection[2][j], src.projection[2][j]);
    }
    EXPECT_EQ(d.distortion[0], 160.5);
    EXPECT_EQ(d.distortion[1], 119.25);
    EXPECT_EQ(d.distortion[2], 160.0);
    EXPECT_EQ(d.distortion[3], 1.0);

    // Own width: only the size fields change (the height does not scale).
    ASSERT_EQ(mvParamChangeSize(&src, 640, 100, &d), 0);
    EXPECT_EQ(d.ysize, 100);
    EXPECT_EQ(std::memcmp(d.projection, src.projection, sizeof d.projection), 0);
    EXPECT_EQ(std::memcmp(d.distortion, src.distortion, sizeof d.distortion), 0);
}

TEST(CameraDisplay, PrintsTheBlock)
{
    const MvCameraParam c = {320, 240,
                             {{350.0, 0.0, 159.25, 0.0}, {0.0, 350.0, 120.5, 0.0}, {0.0, 0.0, 1.0, 0.0}},
                             {160.5, 119.25, 160.0, 1.0}};
    testing::internal::CaptureStdout();
    EXPECT_EQ(mvParamDisp(&c), 0);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "--------------------------------------\n"
              "SIZE = 320, 240\n"
              "Distotion factor = 160.500000 119.250000 160.000000 1.000000\n"
              "350.00000 0.00000 159.25000 0.00000 \n"
              "0.00000 350.00000 120.50000 0.00000 \n"
              "0.00000 0.00000 1.00000 0.00000 \n"
              "--------------------------------------\n");
}

TEST(ActiveCamera, InitCopiesTheRecordAndSize)
{
    MvCameraParam c = sample(320, 240);
    ASSERT_EQ(mvInitCparam(&c), 0);
    EXPECT_EQ(std::memcmp(&mvParam, &c, sizeof c), 0);
    EXPECT_EQ(mvImXsize, 320);
    EXPECT_EQ(mvImYsize, 240);
    c.projection[0][0] = 1.0;  // a copy, not a reference
    EXPECT_EQ(mvParam.projection[0][0], 700.0);
}
