// trans_mat.cpp - the pose estimators: one detected marker, or lists of
// point correspondences with a caller-supplied starting rotation.
//
// Every estimator ends in one driver that alternates the least-squares
// translation and the angle search: translation, search, translation again,
// search again. The transform pairs the rotation of the second search with
// the translation solved before it.

#include "morvex/camera.h"
#include "morvex/pose.h"
#include "pose_internal.h"

using namespace mvcore;

extern "C" {
int mvFittingMode = 0;
}

// Scratch for the image points handed to the search and the centred model
// points; overwritten by every call, hence the limit on point pairs.
static double pos2d[MV_POSE_POINT_MAX][2];
static double pos3d[MV_POSE_POINT_MAX][3];

static const double kConvergedError = 1.0;  // square pixels
static const int kMaxPasses = 5;

// rot is read and refined; conv is written only on success. -1.0 when the
// points cannot fix a translation.
static double get_trans_mat_sub(double rot[3][3], const double imagePoints[][2],
                                const double modelPoints[][3], int num, double conv[3][4],
                                const double distortion[4], const double camera[3][4])
{
    TransSolve solve;
    if (trans_solve_init(&solve, num) < 0) return -1.0;

    for (int i = 0; i < num; i++) {
        if (mvFittingMode == 1) {
            mvParamIdeal2Observ(distortion, imagePoints[i][0], imagePoints[i][1],
                                &pos2d[i][0], &pos2d[i][1]);
        } else {
            pos2d[i][0] = imagePoints[i][0];
            pos2d[i][1] = imagePoints[i][1];
        }
    }
    double trans[3];
    double err = -1.0;
    if (trans_solve(&solve, rot, camera, modelPoints, pos2d, trans) == 0) {
        mvModifyMatrix(rot, trans, camera, modelPoints, pos2d, num);
        if (trans_solve(&solve, rot, camera, modelPoints, pos2d, trans) == 0)
            err = mvModifyMatrix(rot, trans, camera, modelPoints, pos2d, num);
    }
    if (err < 0.0) return -1.0;

    for (int r = 0; r < 3; r++) {
        for (int c = 0; c < 3; c++) conv[r][c] = rot[r][c];
        conv[r][3] = trans[r];
    }
    return err;
}

// Centres the model points on their bounding box (in `dims` coordinates,
// the rest 0) into pos3d, runs the driver, and moves the transform back to
// the caller's model origin.
static double get_trans_mat_centred(double rot[3][3], const double imagePoints[][2],
                                    const double *model, int stride, int dims, int num,
                                    double conv[3][4], const double distortion[4],
                                    const double camera[3][4])
{
    if (num < 1 || num > MV_POSE_POINT_MAX) return -1.0;
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
    for (int i = 0; i < num; i++)
        for (int k = 0; k < 3; k++)
            pos3d[i][k] = k < dims ? model[i * stride + k] + off[k] : 0.0;

    // The driver overwrites the starting rotation, so work on a copy until
    // the pass is known to have run.
    double r[3][3], c[3][4];
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) r[i][j] = rot[i][j];
    double err = get_trans_mat_sub(r, imagePoints, pos3d, num, c, distortion, camera);
    if (err < 0.0) return -1.0;

    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) rot[i][j] = r[i][j];
    for (int row = 0; row < 3; row++) {
        for (int col = 0; col < 3; col++) conv[row][col] = c[row][col];
        conv[row][3] = c[row][0] * off[0] + c[row][1] * off[1] + c[row][2] * off[2] +
                       c[row][3];
    }
    return err;
}

extern "C" double mvGetTransMat3(double rot[3][3], const double imagePoints[][2],
                                 const double modelPoints[][2], int num, double conv[3][4],
                                 const double distortion[4], const double camera[3][4])
{
    return get_trans_mat_centred(rot, imagePoints, &modelPoints[0][0], 2, 2, num, conv,
                                 distortion, camera);
}

extern "C" double mvGetTransMat5(double rot[3][3], const double imagePoints[][2],
                                 const double modelPoints[][3], int num, double conv[3][4],
                                 const double distortion[4], const double camera[3][4])
{
    return get_trans_mat_centred(rot, imagePoints, &modelPoints[0][0], 3, 3, num, conv,
                                 distortion, camera);
}

extern "C" double mvGetTransMat2(double rot[3][3], const double imagePoints[][2],
                                 const double modelPoints[][2], int num, double conv[3][4])
{
    return mvGetTransMat3(rot, imagePoints, modelPoints, num, conv, mvParam.distortion,
                          mvParam.projection);
}

extern "C" double mvGetTransMat4(double rot[3][3], const double imagePoints[][2],
                                 const double modelPoints[][3], int num, double conv[3][4])
{
    return mvGetTransMat5(rot, imagePoints, modelPoints, num, conv, mvParam.distortion,
                          mvParam.projection);
}

extern "C" double mvGetTransMat(const MvMarkerInfo *marker, const double center[2],
                                double width, double conv[3][4])
{
    double rot[3][3];
    if (mvGetInitRot(marker, mvParam.projection, rot) < 0) return -1.0;

    const int d = marker->direction;
    const double half = width * 0.5;
    double model[4][2] = {{center[0] - half, center[1] + half},
                          {center[0] + half, center[1] + half},
                          {center[0] + half, center[1] - half},
                          {center[0] - half, center[1] - half}};
    double image[4][2];
    for (int k = 0; k < 4; k++) {
        const double *v = marker->vertices[own_index(k, d)];
        image[k][0] = v[0];
        image[k][1] = v[1];
    }

    // conv is written once all passes have run, so a failure leaves it as
    // it was.
    double result[3][4];
    double err = -1.0;
    for (int pass = 0; pass < kMaxPasses; pass++) {
        err = mvGetTransMat3(rot, image, model, 4, result, mvParam.distortion,
                             mvParam.projection);
        if (err < 0.0) return -1.0;
        if (err < kConvergedError) break;
    }
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 4; c++) conv[r][c] = result[r][c];
    return err;
}
