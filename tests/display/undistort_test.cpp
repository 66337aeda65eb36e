// The bundled camera (640 x 480 calibration rescaled to 320 x 240, zoom 2,
// a 640 x 480 window): frames rendered through its lens distortion come out
// undistorted on the texture mesh, and overlays given in ideal coordinates
// land on the video in either drawing mode.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "display_checks.h"
#include "render.h"

MORVEX_TEST_NEEDS_DISPLAY();

using namespace display_checks;

namespace {

MvCameraParam bundled;

class DisplayUndistort : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        MvCameraParam file;
        const std::string path = std::string(MORVEX_RESOURCE_DIR) + "/camera_para.dat";
        ASSERT_EQ(mvParamLoad(path.c_str(), 1, &file), 0) << path;
        mvParamChangeSize(&file, 320, 240, &bundled);
        mvgInit(&bundled, 2.0, 0, 0, 0, 0);
        morvex_test::settleWindow();
    }
    void SetUp() override { mvgTexmapMode = 0; }
};

TEST_F(DisplayUndistort, StraightEdgeThroughTheLensComesOutStraight)
{
    // A picture dark in its top 40 % and light below, on a marker 100 mm
    // wide seen face-on from 35 mm: 1000 pixels wide, so its edge crosses
    // the whole frame 100 ideal pixels above the principal point, where the
    // lens bends it by about 3 pixels between the middle and the ends.
    render::Image picture{100, 100, 1, std::vector<uint8_t>(100 * 100, 255)};
    std::fill(picture.pixels.begin(), picture.pixels.begin() + 40 * 100, 0);
    const double cx = bundled.projection[0][2], cy = bundled.projection[1][2];
    double trans[3][4];
    render::poseAt(bundled, cx, cy, 35.0, 0.0, 0.0, trans);
    render::Image frame;  // 4 bytes per pixel, as the display takes it
    render::renderFrame(picture, 100.0, trans, bundled, render::Options(), &frame);

    double residual[2], mid[2];
    for (int mode : {1, 0}) {
        mvgDrawMode = mode;
        clearWindow();
        mvgDispImage(frame.pixels.data(), 0, 0);
        const morvex_test::Pixels px = morvex_test::readPixels(0, 0, 640, 480);
        // Least-squares line through the first light row below the dark top
        // of every fourth column.
        double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
        std::vector<std::pair<int, int>> pts;
        for (int x = 40; x <= 600; x += 4) {
            int y = 479;
            while (y >= 0 && px.at(x, y)[0] <= 128) y--;
            ASSERT_GE(y, 0) << "column " << x;
            pts.push_back({x, y});
            n++, sx += x, sy += y, sxx += x * x, sxy += x * y;
        }
        const double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx), icpt = (sy - slope * sx) / n;
        residual[mode] = 0;
        for (const auto &p : pts) residual[mode] = std::max(residual[mode], std::fabs(p.second - icpt - slope * p.first));
        mid[mode] = icpt + slope * 320.0;
    }
    // The frame's edge crosses texel rows as the lens bends it, and each
    // texel row is 2 window rows high, so the undistorted edge steps by up
    // to a row either side of a straight line (plus the mesh's straight
    // pieces, far below a pixel): within 1.6. The video as captured (pixel
    // copy) bows by 6 rows, 4.5 from its best line.
    EXPECT_LT(residual[1], 1.6);
    EXPECT_GT(residual[0], 3.0);
    // And it lies where the ideal camera puts it: the mesh puts ideal row v
    // at window height 478.5 - 2 v, so the first light row is 478 - 2 v
    // rounded down, give or take the texel steps above.
    EXPECT_NEAR(mid[1], std::floor(478.0 - 2.0 * (cy - 100.0)), 1.5);
}

TEST_F(DisplayUndistort, MarkerOutlineLandsOnTheMarkerInEitherMode)
{
    const render::Image marker = render::makeProjectMarker(256);
    double trans[3][4], ideal[4][2], centre[2] = {0, 0};
    render::poseAt(bundled, 225.0, 155.0, 420.0, 15.0, 20.0, trans);
    render::Image frame;
    const render::Truth truth = render::renderFrame(marker, 80.0, trans, bundled, render::Options(), &frame);
    for (int k = 0; k < 4; k++)
        for (int c = 0; c < 2; c++) centre[c] += (ideal[k][c] = truth.ideal[k][c]) / 4;

    for (int mode : {1, 0}) {
        SCOPED_TRACE(mode == 1 ? "texture mapping" : "pixel copy");
        mvgDrawMode = mode;
        clearWindow();
        mvgDispImage(frame.pixels.data(), 0, 0);
        const morvex_test::Pixels video = morvex_test::readPixels(0, 0, 640, 480);
        glColor3ub(0, 255, 0);
        glLineWidth(1.0f);
        mvgDrawSquare(ideal, 0, 0);
        const morvex_test::Pixels over = morvex_test::readPixels(0, 0, 640, 480);
        for (int k = 0; k < 4; k++) {
            SCOPED_TRACE(testing::Message() << "corner " << k);
            // The texture mesh shows ideal pixels, pixel copy observed ones.
            const double *where = mode == 1 ? truth.ideal[k] : truth.observed[k];
            const double wx = 2.0 * where[0], wy = 479.0 - 2.0 * where[1];
            bool hit = false;
            for (int dy = -1; dy <= 1; dy++)
                for (int dx = -1; dx <= 1; dx++)
                    hit = hit || same(over.at((int)std::lround(wx) + dx, (int)std::lround(wy) + dy), {0, 255, 0});
            EXPECT_TRUE(hit) << "no outline at the corner";
            // On the video, 6 window pixels (3 image pixels) from the corner
            // towards the marker's centre is its black border, 6 outwards
            // the grey background (190): clear of the anti-aliased edge and
            // of the pixel by which either drawing mode may be off.
            double ux = centre[0] - truth.ideal[k][0], uy = -(centre[1] - truth.ideal[k][1]);
            const double len = std::hypot(ux, uy);
            ux /= len, uy /= len;
            const unsigned char *in = video.at((int)std::lround(wx + 6 * ux), (int)std::lround(wy + 6 * uy));
            const unsigned char *out = video.at((int)std::lround(wx - 6 * ux), (int)std::lround(wy - 6 * uy));
            EXPECT_LT(in[0] + in[1] + in[2], 3 * 60);
            EXPECT_GT(out[0] + out[1] + out[2], 3 * 150);
        }
    }
}

}  // namespace
