// The process-wide pose interface: the estimators with the active camera
// and mvFittingMode.
#include "../pose/pose_internal.h"
#include "morvex/camera.h"
#include "morvex/pose.h"
#include "morvex/pose_refine.h"

#include <new>

extern "C" {
int mvFittingMode = 0;
}

namespace {

using namespace mvcore;

double points_pass(double rot[3][3], const double imagePoints[][2], const double *model, int dims,
                   int num, double conv[3][4], const double distortion[4], const double camera[3][4])
{
    if (num < 1 || num > MV_POSE_POINT_MAX) return -1.0;
    try {
        return trans_mat_pass(rot, imagePoints, model, dims, dims, num, conv, distortion, camera,
                              mvFittingMode == 1);
    } catch (const std::bad_alloc &) {
        return -1.0;
    }
}

}  // namespace

extern "C" double mvGetTransMat3(double rot[3][3], const double imagePoints[][2],
                                 const double modelPoints[][2], int num, double conv[3][4],
                                 const double distortion[4], const double camera[3][4])
{
    return points_pass(rot, imagePoints, &modelPoints[0][0], 2, num, conv, distortion, camera);
}

extern "C" double mvGetTransMat5(double rot[3][3], const double imagePoints[][2],
                                 const double modelPoints[][3], int num, double conv[3][4],
                                 const double distortion[4], const double camera[3][4])
{
    return points_pass(rot, imagePoints, &modelPoints[0][0], 3, num, conv, distortion, camera);
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

extern "C" double mvGetTransMat(const MvMarkerInfo *marker, const double center[2], double width,
                                double conv[3][4])
{
    return marker_pose(*marker, center, width, mvParam, mvFittingMode == 1, conv);
}

extern "C" double mvRefinePose(const double corners[4][2], const double center[2], double width,
                               const double prev[3][4], double conv[3][4])
{
    return refine_pose(corners, center, width, prev, mvParam.projection, conv);
}

extern "C" double mvRefineTransMat(const MvMarkerInfo *marker, const double center[2],
                                   double width, const double prev[3][4], double conv[3][4])
{
    return refine_marker_pose(*marker, center, width, prev, mvParam.projection, conv);
}
