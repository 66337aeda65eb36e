// The camera projection for OpenGL: matrices checked against the camera
// matrix, and points drawn through them read back. Window: 320 x 240 camera
// at zoom 2 with two mini windows below the main area (640 x 720).
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

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

TEST(DisplayProjectionMath, CentredCameraGivesTheTextbookMatrixAtAnyScaleOrSign)
{
    const double f = 400;
    double expect[16] = {0};
    expect[0] = 2 * f / 320;
    expect[5] = 2 * f / 240;
    expect[10] = 5050.0 / 4950.0;  // near 50, far 5000
    expect[11] = 1.0;
    expect[14] = -500000.0 / 4950.0;
    for (double scale : {1.0, 3.5, 0.01}) {
        MvCameraParam s = camera(f, f, 160, 120, 0, 0, 0, 0);
        for (auto &row : s.projection)
            for (double &v : row) v *= scale;
        double m[16];
        EXPECT_EQ(mvgConvGLcpara(&s, 50.0, 5000.0, m), 0);
        for (int k = 0; k < 16; k++) EXPECT_NEAR(m[k], expect[k], 1e-9) << "element " << k;
    }
    // A negated camera with depth describes the same projection.
    MvCameraParam cam = kGeneral, neg = cam;
    for (auto &row : neg.projection)
        for (double &v : row) v = -v;
    double m[16], n[16];
    mvgConvGLcpara(&cam, 50.0, 5000.0, m);
    mvgConvGLcpara(&neg, 50.0, 5000.0, n);
    for (int k = 0; k < 16; k++) EXPECT_NEAR(m[k], n[k], 1e-9) << "element " << k;
}

// Points drawn through the 3-D view of the main area and two mini windows
// light the window pixel where the camera matrix puts them.
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
    const double pts[][3] = {{0, 0, 400}, {-60, 40, 500}, {80, -50, 700}, {-120, -70, 900}, {30, 60, 250}};
    struct {
        int xwin, ywin;
        double x0, y0, scale;  // the view's area in window pixels
    } views[] = {{0, 0, 0, 240, 2.0}, {1, 1, 0, 0, 1.0}, {2, 1, 320, 0, 1.0}};
    for (const auto &vw : views) {
        display_checks::clearWindow();
        mvgDrawMode3D();
        mvgDraw3dCamera(vw.xwin, vw.ywin);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glPointSize(1.0f);
        for (const auto &p : pts) {
            SCOPED_TRACE(testing::Message() << "view " << vw.xwin << "," << vw.ywin << " point " << p[0]
                                            << "," << p[1] << "," << p[2]);
            double img[3] = {0, 0, 0};
            for (int i = 0; i < 3; i++)
                for (int j = 0; j < 4; j++) img[i] += cam.projection[i][j] * (j < 3 ? p[j] : 1.0);
            // Window y counts upwards from the view's bottom row.
            const double wx = vw.x0 + vw.scale * img[0] / img[2];
            const double wy = vw.y0 + vw.scale * ((cam.ysize - 1) - img[1] / img[2]);
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
    // (1, 0) is the area right of the main one, as for images.
    GLint vp[4];
    mvgDraw3dCamera(1, 0);
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ((std::vector<GLint>(vp, vp + 4)), (std::vector<GLint>{640, 240, 640, 480}));
}

}  // namespace
