// The camera projection for OpenGL and the drawing modes: matrices checked
// against the camera matrix, and points drawn through them read back.
// Window: 320 x 240 camera at zoom 2 with two mini windows below the main
// area (640 x 720).
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>

#include "display_internal.h"
#include "test_display.h"

MORVEX_TEST_NEEDS_DISPLAY();

namespace {

MvCameraParam centredCamera(double f, int w, int h)
{
    MvCameraParam c{};
    c.xsize = w;
    c.ysize = h;
    const double p[3][4] = {{f, 0, w / 2.0, 0}, {0, f, h / 2.0, 0}, {0, 0, 1, 0}};
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 4; j++) c.projection[i][j] = p[i][j];
    c.distortion[0] = w / 2.0;
    c.distortion[1] = h / 2.0;
    c.distortion[3] = 1.0;
    return c;
}

// K [R | t] with R a turn of 10 degrees about y, t = (15, -10, 30) mm, and
// an off-centre principal point: nothing in it is trivially zero.
MvCameraParam generalCamera()
{
    MvCameraParam c = centredCamera(0, 320, 240);
    const double a = 10.0 * M_PI / 180.0;
    const double R[3][3] = {{cos(a), 0, sin(a)}, {0, 1, 0}, {-sin(a), 0, cos(a)}};
    const double t[3] = {15, -10, 30};
    const double K[3][3] = {{420, 0, 150}, {0, 410, 112}, {0, 0, 1}};
    for (int i = 0; i < 3; i++) {
        for (int j = 0; j < 4; j++) {
            double s = 0;
            for (int k = 0; k < 3; k++) s += K[i][k] * (j < 3 ? R[k][j] : t[k]);
            c.projection[i][j] = s;
        }
    }
    return c;
}

class DisplayProjection : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        MvCameraParam cam = generalCamera();
        mvgInit(&cam, 2.0, 0, 2, 1, 0);
        morvex_test::settleWindow();
    }
};

TEST(DisplayProjectionMath, CentredCameraGivesTheTextbookMatrix)
{
    const double f = 400, w = 320, h = 240;
    MvCameraParam cam = centredCamera(f, 320, 240);
    double expect[16] = {0};
    expect[0] = 2 * f / w;
    expect[5] = 2 * f / h;
    expect[10] = 5050.0 / 4950.0;
    expect[11] = 1.0;
    expect[14] = -500000.0 / 4950.0;

    // Scaling a homogeneous camera by a positive factor changes nothing.
    for (double scale : {1.0, 3.5, 0.01}) {
        MvCameraParam s = cam;
        for (auto &row : s.projection)
            for (double &v : row) v *= scale;
        double m[16];
        EXPECT_EQ(mvgConvGLcpara(&s, 50.0, 5000.0, m), 0);
        for (int k = 0; k < 16; k++) EXPECT_NEAR(m[k], expect[k], 1e-9) << "element " << k;
    }
}

TEST(DisplayProjectionMath, NegatedCameraWithDepthGivesTheSameMatrix)
{
    MvCameraParam cam = generalCamera();
    MvCameraParam neg = cam;
    for (auto &row : neg.projection)
        for (double &v : row) v = -v;
    double m[16], n[16];
    mvgConvGLcpara(&cam, 50.0, 5000.0, m);
    mvgConvGLcpara(&neg, 50.0, 5000.0, n);
    for (int k = 0; k < 16; k++) EXPECT_NEAR(m[k], n[k], 1e-9) << "element " << k;
}

TEST(DisplayProjectionMath, ModelviewIsTheTransformColumnMajor)
{
    double trans[3][4] = {{0, -1, 0, 12}, {1, 0, 0, -7}, {0, 0, 1, 350}};
    double m[16];
    for (double &v : m) v = 99;  // every element must be written
    mvgConvGlpara(trans, m);
    const double expect[16] = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 12, -7, 350, 1};
    for (int k = 0; k < 16; k++) EXPECT_EQ(m[k], expect[k]) << "element " << k;
}

TEST_F(DisplayProjection, DisplayCameraIsFlippedUpsideDown)
{
    // The flip of a centred camera only turns the y terms.
    const double f = 400, h = 240;
    MvCameraParam cam = centredCamera(f, 320, 240);
    gCparam = cam;
    double saved[16];
    for (int k = 0; k < 16; k++) saved[k] = gl_cpara[k];
    mvg_setup_display_camera();
    double plain[16];
    mvgConvGLcpara(&cam, 50.0, 5000.0, plain);
    for (int k = 0; k < 16; k++) {
        double expect = plain[k];
        if (k == 5) expect = -2 * f / h;
        if (k == 9) expect = -2 / h;
        EXPECT_NEAR(gl_cpara[k], expect, 1e-9) << "element " << k;
    }
    for (int k = 0; k < 16; k++) gl_cpara[k] = saved[k];
}

TEST_F(DisplayProjection, CameraPointsLandWhereTheCameraMatrixPutsThem)
{
    const MvCameraParam cam = generalCamera();
    const double pts[][3] = {{0, 0, 400}, {-60, 40, 500}, {80, -50, 700}, {-120, -70, 900}, {30, 60, 250}};

    // The viewport each position uses, in window pixels: x0, y0, scale.
    struct View {
        int xwin, ywin;
        double x0, y0, scale;
    } views[] = {{0, 0, 0, 240, 2.0}, {1, 1, 0, 0, 1.0}, {2, 1, 320, 0, 1.0}};

    for (const View &vw : views) {
        glClearColor(0, 0, 0, 0);
        glDisable(GL_SCISSOR_TEST);
        mvgDrawMode2D();
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        mvgDrawMode3D();
        mvgDraw3dCamera(vw.xwin, vw.ywin);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glPointSize(1.0f);
        for (const auto &p : pts) {
            SCOPED_TRACE(testing::Message() << "view " << vw.xwin << "," << vw.ywin << " point "
                                            << p[0] << "," << p[1] << "," << p[2]);
            const double X[4] = {p[0], p[1], p[2], 1};
            double img[3] = {0, 0, 0};
            for (int i = 0; i < 3; i++)
                for (int j = 0; j < 4; j++) img[i] += cam.projection[i][j] * X[j];
            const double u = img[0] / img[2], v = img[1] / img[2];

            // Clip coordinates: w is the depth; x and y are 2u/W - 1 and
            // 2v'/H - 1 with v' counted from the bottom row.
            double clip[4] = {0, 0, 0, 0};
            for (int i = 0; i < 4; i++)
                for (int j = 0; j < 4; j++) clip[i] += gl_cpara[4 * j + i] * X[j];
            const double vflip = (cam.ysize - 1) - v;
            EXPECT_NEAR(clip[3], img[2] / std::sqrt(cam.projection[2][0] * cam.projection[2][0] +
                                                    cam.projection[2][1] * cam.projection[2][1] +
                                                    cam.projection[2][2] * cam.projection[2][2]),
                        1e-6);
            EXPECT_NEAR(clip[0] / clip[3], 2 * u / cam.xsize - 1, 1e-9);
            EXPECT_NEAR(clip[1] / clip[3], 2 * vflip / cam.ysize - 1, 1e-9);

            glClear(GL_COLOR_BUFFER_BIT);
            glColor3ub(255, 0, 0);
            glBegin(GL_POINTS);
            glVertex3d(p[0], p[1], p[2]);
            glEnd();
            const morvex_test::Pixels px = morvex_test::readPixels(0, 0, gWinXsize, gWinYsize);
            const double wx = vw.x0 + vw.scale * u, wy = vw.y0 + vw.scale * vflip;
            int found = 0, fx = -1, fy = -1;
            for (int y = 0; y < gWinYsize; y++)
                for (int x = 0; x < gWinXsize; x++)
                    if (px.at(x, y)[0] > 128) {
                        found++;
                        fx = x;
                        fy = y;
                    }
            // A one-pixel point lights the pixel around its window position.
            ASSERT_EQ(found, 1);
            EXPECT_NEAR(fx + 0.5, wx, 0.51);
            EXPECT_NEAR(fy + 0.5, wy, 0.51);
        }
    }
}

// The point test covers the main view and the mini windows; (1, 0) is the
// area right of the main one, as for images (beyond this 640-wide window).
// Without an HMD the eye variants change nothing.
TEST_F(DisplayProjection, OtherViewsAndEyeVariants)
{
    GLint vp[4];
    mvgDraw3dCamera(1, 0);
    glGetIntegerv(GL_VIEWPORT, vp);
    const GLint right[4] = {640, 240, 640, 480};
    for (int k = 0; k < 4; k++) EXPECT_EQ(vp[k], right[k]);

    mvgDraw3dCamera(2, 1);
    MvCameraParam eye = generalCamera();
    mvgLoadHMDparam(&eye, &eye);
    mvgDraw3dLeft();
    mvgDraw2dRight();
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(vp[0], 320);
    EXPECT_FALSE(glIsEnabled(GL_STENCIL_TEST));
}

}  // namespace
