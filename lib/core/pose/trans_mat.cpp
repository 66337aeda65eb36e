// trans_mat.cpp - the pose estimators' driver: one detected marker, or a
// list of point correspondences with a starting rotation.
//
// Every estimate ends in one pass that alternates the least-squares
// translation and the angle search: translation, search, translation again,
// search again. The transform pairs the rotation of the second search with
// the translation solved before it.

#include "morvex/camera.h"
#include "morvex/pose.h"
#include "pose_internal.h"

namespace mvcore {

namespace {

const double kConvergedError = 1.0;  // square pixels
const int kMaxPasses = 5;

// rot is read and refined; conv is written only on success. -1.0 when the
// points cannot fix a translation.
double pass_centred(double rot[3][3], const double image[][2], const double model[][3], int num,
                    double conv[3][4], const double distortion[4], const double camera[3][4],
                    bool observed)
{
    TransSolve solve(num);
    PointBuffer<16> points(num * 2);
    double(*pos2d)[2] = reinterpret_cast<double(*)[2]>(points.data());
    for (int i = 0; i < num; i++) {
        if (observed) {
            mvParamIdeal2Observ(distortion, image[i][0], image[i][1], &pos2d[i][0], &pos2d[i][1]);
        } else {
            pos2d[i][0] = image[i][0];
            pos2d[i][1] = image[i][1];
        }
    }
    double trans[3];
    double err = -1.0;
    if (solve.solve(rot, camera, model, pos2d, trans) == 0) {
        mvModifyMatrix(rot, trans, camera, model, pos2d, num);
        if (solve.solve(rot, camera, model, pos2d, trans) == 0)
            err = mvModifyMatrix(rot, trans, camera, model, pos2d, num);
    }
    if (err < 0.0) return -1.0;

    for (int r = 0; r < 3; r++) {
        for (int c = 0; c < 3; c++) conv[r][c] = rot[r][c];
        conv[r][3] = trans[r];
    }
    return err;
}

}  // namespace

double trans_mat_pass(double rot[3][3], const double image[][2], const double *model, int stride,
                      int dims, int num, double conv[3][4], const double distortion[4],
                      const double camera[3][4], bool observed)
{
    if (num < 1) return -1.0;
    double off[3] = {0.0, 0.0, 0.0};
    for (int k = 0; k < dims; k++) {
        double mx = -1e10, mn = 1e10;
        for (int i = 0; i < num; i++) {
            double x = model[i * stride + k];
            if (x > mx) mx = x;
            if (x < mn) mn = x;
        }
        off[k] = -(mx + mn) * 0.5;
    }
    PointBuffer<24> centred(num * 3);
    double(*pos3d)[3] = reinterpret_cast<double(*)[3]>(centred.data());
    for (int i = 0; i < num; i++)
        for (int k = 0; k < 3; k++) pos3d[i][k] = k < dims ? model[i * stride + k] + off[k] : 0.0;

    // The pass overwrites the starting rotation, so work on a copy until it
    // is known to have run.
    double r[3][3], c[3][4];
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) r[i][j] = rot[i][j];
    double err = pass_centred(r, image, pos3d, num, c, distortion, camera, observed);
    if (err < 0.0) return -1.0;

    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) rot[i][j] = r[i][j];
    for (int row = 0; row < 3; row++) {
        for (int col = 0; col < 3; col++) conv[row][col] = c[row][col];
        conv[row][3] = c[row][0] * off[0] + c[row][1] * off[1] + c[row][2] * off[2] + c[row][3];
    }
    return err;
}

namespace {

// The model corners (mm, z = 0) and the marker's vertices in its own corner
// order (ideal pixels).
void marker_points(const MvMarkerInfo &marker, const double center[2], double width,
                   double model[4][3], double image[4][2])
{
    const double half = width * 0.5;
    const double sx[4] = {-1, 1, 1, -1}, sy[4] = {1, 1, -1, -1};
    for (int k = 0; k < 4; k++) {
        model[k][0] = center[0] + sx[k] * half;
        model[k][1] = center[1] + sy[k] * half;
        model[k][2] = 0.0;
        const double *v = marker.vertices[own_index(k, marker.direction)];
        image[k][0] = v[0];
        image[k][1] = v[1];
    }
}

}  // namespace

int marker_pose_start(const MvMarkerInfo &marker, const double center[2], double width,
                      const double camera[3][4], double conv[3][4])
{
    double rot[3][3];
    if (mvGetInitRot(&marker, camera, rot) < 0) return -1;
    double model[4][3], image[4][2], trans[3];
    marker_points(marker, center, width, model, image);
    TransSolve solve(4);
    if (solve.solve(rot, camera, model, image, trans) != 0) return -1;
    for (int r = 0; r < 3; r++) {
        for (int c = 0; c < 3; c++) conv[r][c] = rot[r][c];
        conv[r][3] = trans[r];
    }
    return 0;
}

double marker_pose(const MvMarkerInfo &marker, const double center[2], double width,
                   const MvCameraParam &camera, bool observed, double conv[3][4])
{
    double rot[3][3];
    if (mvGetInitRot(&marker, camera.projection, rot) < 0) return -1.0;

    double model[4][3], image[4][2];
    marker_points(marker, center, width, model, image);

    // conv is written once all passes have run, so a failure leaves it as
    // it was.
    double result[3][4];
    double err = -1.0;
    for (int pass = 0; pass < kMaxPasses; pass++) {
        err = trans_mat_pass(rot, image, &model[0][0], 3, 2, 4, result, camera.distortion,
                             camera.projection, observed);
        if (err < 0.0) return -1.0;
        if (err < kConvergedError) break;
    }
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 4; c++) conv[r][c] = result[r][c];
    return err;
}

}  // namespace mvcore
