// Marker point -> ideal and observed pixels.
#include "projection.h"

namespace mvtool {

double projectPoint(const double trans[3][4], const MvCameraParam &cam, const double xyz[3],
                    double ideal[2], double observed[2])
{
    double c[3], h[3];
    for (int r = 0; r < 3; r++)
        c[r] = trans[r][0] * xyz[0] + trans[r][1] * xyz[1] + trans[r][2] * xyz[2] + trans[r][3];
    for (int r = 0; r < 3; r++)
        h[r] = cam.projection[r][0] * c[0] + cam.projection[r][1] * c[1] + cam.projection[r][2] * c[2] +
               cam.projection[r][3];
    ideal[0] = h[0] / h[2];
    ideal[1] = h[1] / h[2];
    if (observed != nullptr)
        mvParamIdeal2Observ(cam.distortion, ideal[0], ideal[1], &observed[0], &observed[1]);
    return h[2];
}

}  // namespace mvtool
