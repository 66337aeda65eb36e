// The camera projection for OpenGL: the matrix of a centred camera, and
// points of a general one drawn through it and read back. Window: 320 x 240
// camera at zoom 2 with two mini windows below the main area (640 x 720).
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <cmath>

#include "display_checks.h"

MORVEX_TEST_NEEDS_DISPLAY();

namespace {

// K [R | t] for a 320 x 240 frame, R a turn of `deg` about y.
MvCameraParam camera(double fx, double fy, double cx, double cy, double deg, double tx, double ty, double tz)
{
    MvCameraParam c{320, 240, {}, {160, 120, 0, 1}};
    const double a = deg * M_PI / 180.0;
    const double R[3][3] = {{cos(a), 0, sin(a)}, {0, 1, 0}, {-sin(a), 0, cos(a)}}, t[3] = {tx, ty, tz};
    const double K[3][3] = {{fx, 0, cx}, {0, fy, cy}, {0, 0, 1}};
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 4; j++)
            for (int k = 0; k < 3; k++) c.projection[i][j] += K[i][k] * (j < 3 ? R[k][j] : t[k]);
    return c;
}

// Off-centre principal point, turned and moved: nothing trivially zero.
const MvCameraParam kGeneral = camera(420, 410, 150, 112, 10, 15, -10, 30);

// The depth rows, which the read-back below cannot see, and the rest of a
// centred camera's matrix (near 50, far 5000). Scale and sign of the
// camera matrix are the decomposition's business (tests/camera).
TEST(DisplayProjectionMath, CentredCameraGivesTheTextbookMatrix)
{
    const double f = 400;
    double expect[16] = {0};
    expect[0] = 2 * f / 320;
    expect[5] = 2 * f / 240;
    expect[10] = 5050.0 / 4950.0;
    expect[11] = 1.0;
    expect[14] = -500000.0 / 4950.0;
    MvCameraParam c = camera(f, f, 160, 120, 0, 0, 0, 0);
    double m[16];
    EXPECT_EQ(mvgConvGLcpara(&c, 50.0, 5000.0, m), 0);
    for (int k = 0; k < 16; k++) EXPECT_NEAR(m[k], expect[k], 1e-9) << "element " << k;
}

// Points drawn through the main view light the window pixel where the
// camera matrix puts them (the mini windows' viewports are their areas,
// checked with the layout).
TEST(DisplayProjection, CameraPointsLandWhereTheCameraMatrixPutsThem)
{
    const MvCameraParam cam = kGeneral;
    // A second mvgInit opens a window of its own without initialising GLUT
    // again (freeglut would end the process).
    mvgInit(&cam, 1.0, 0, 0, 0, 0);
    glutDestroyWindow(glutGetWindow());
    mvgInit(&cam, 2.0, 0, 2, 1, 0);
    morvex_test::settleWindow();
    ASSERT_EQ(glutGet(GLUT_WINDOW_WIDTH), 640);
    ASSERT_EQ(glutGet(GLUT_WINDOW_HEIGHT), 720);
    display_checks::clearWindow();
    mvgDrawMode3D();
    mvgDraw3dCamera(0, 0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glPointSize(1.0f);
    const double pts[][3] = {{0, 0, 400}, {-60, 40, 500}, {80, -50, 700}, {-120, -70, 900}, {30, 60, 250}};
    for (const auto &p : pts) {
        SCOPED_TRACE(testing::Message() << "point " << p[0] << "," << p[1] << "," << p[2]);
        double img[3] = {0, 0, 0};
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 4; j++) img[i] += cam.projection[i][j] * (j < 3 ? p[j] : 1.0);
        // The view is the top 640 x 480 at zoom 2; window y counts upwards
        // from its bottom row, 240.
        const double wx = 2.0 * img[0] / img[2], wy = 240 + 2.0 * ((cam.ysize - 1) - img[1] / img[2]);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glColor3ub(255, 0, 0);
        glBegin(GL_POINTS);
        glVertex3d(p[0], p[1], p[2]);
        glEnd();
        const morvex_test::Pixels px = morvex_test::readPixels(0, 0, 640, 720);
        int found = 0, fx = -1, fy = -1;
        for (int y = 0; y < 720; y++)
            for (int x = 0; x < 640; x++)
                if (px.at(x, y)[0] > 128) found++, fx = x, fy = y;
        // A one-pixel point lights the pixel around its window position.
        ASSERT_EQ(found, 1);
        EXPECT_NEAR(fx + 0.5, wx, 0.51);
        EXPECT_NEAR(fy + 0.5, wy, 0.51);
    }
}

}  // namespace
