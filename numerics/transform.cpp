// 3x4 transform composition and inversion, and the conversion between a
// transform and a quaternion plus position.
#include "morvex/numerics.h"

#include <cmath>

extern "C" int mvUtilMatMul(const double s1[3][4], const double s2[3][4], double d[3][4])
{
    for (int j = 0; j < 3; j++) {
        for (int i = 0; i < 4; i++) {
            d[j][i] = s1[j][0] * s2[0][i] + s1[j][1] * s2[1][i] + s1[j][2] * s2[2][i];
        }
        d[j][3] += s1[j][3];
    }
    return 0;
}

extern "C" int mvUtilMatInv(const double s[3][4], double d[3][4])
{
    MvMatrix *mat = mvMatrixAlloc(4, 4);
    if (mat == nullptr) return -1;

    for (int j = 0; j < 3; j++)
        for (int i = 0; i < 4; i++) mat->data[j * 4 + i] = s[j][i];
    mat->data[12] = 0.0;
    mat->data[13] = 0.0;
    mat->data[14] = 0.0;
    mat->data[15] = 1.0;

    // A singular transform is not reported; d then holds unusable values.
    mvMatrixSelfInv(mat);

    for (int j = 0; j < 3; j++)
        for (int i = 0; i < 4; i++) d[j][i] = mat->data[j * 4 + i];
    mvMatrixFree(mat);
    return 0;
}

extern "C" int mvUtilMat2QuatPos(const double m[3][4], double q[4], double p[3])
{
    const double t = m[0][0] + m[1][1] + m[2][2] + 1.0;
    if (t < 0.0) return -1;

    const double s = std::sqrt(t);
    q[0] = (m[1][2] - m[2][1]) / (s * 2.0);
    q[1] = (m[2][0] - m[0][2]) / (s * 2.0);
    q[2] = (m[0][1] - m[1][0]) / (s * 2.0);
    q[3] = s * 0.5;

    p[0] = m[0][3];
    p[1] = m[1][3];
    p[2] = m[2][3];
    return 0;
}

extern "C" int mvUtilQuatPos2Mat(const double q[4], const double p[3], double m[3][4])
{
    const double x2 = q[0] * q[0];
    const double y2 = q[1] * q[1];
    const double z2 = q[2] * q[2];
    const double xy = q[0] * q[1];
    const double xz = q[0] * q[2];
    const double yz = q[1] * q[2];
    const double xw = q[0] * q[3];
    const double yw = q[1] * q[3];
    const double zw = q[2] * q[3];

    m[0][0] = 1.0 - 2.0 * (y2 + z2);
    m[0][1] = 2.0 * (xy + zw);
    m[0][2] = 2.0 * (xz - yw);
    m[1][0] = 2.0 * (xy - zw);
    m[1][1] = 1.0 - 2.0 * (x2 + z2);
    m[1][2] = 2.0 * (yz + xw);
    m[2][0] = 2.0 * (xz + yw);
    m[2][1] = 2.0 * (yz - xw);
    m[2][2] = 1.0 - 2.0 * (x2 + y2);

    m[0][3] = p[0];
    m[1][3] = p[1];
    m[2][3] = p[2];
    return 0;
}
