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

// q is (x, y, z, w) with w >= 0, in the convention that mvUtilQuatPos2Mat
// turns back into m. Where trace + 1 dominates, q comes from it directly;
// near a half turn (a marker facing the camera is nearly one about the
// camera's x axis) that term vanishes, so q comes from the largest of the
// other three instead of dividing by almost zero.
extern "C" int mvUtilMat2QuatPos(const double m[3][4], double q[4], double p[3])
{
    const double t = m[0][0] + m[1][1] + m[2][2] + 1.0;
    // Rounding can take a half turn's t a little below zero; clearly below
    // means m holds no rotation.
    if (t < -1e-6 || !std::isfinite(t)) return -1;

    const double tx = 1.0 + m[0][0] - m[1][1] - m[2][2];
    const double ty = 1.0 - m[0][0] + m[1][1] - m[2][2];
    const double tz = 1.0 - m[0][0] - m[1][1] + m[2][2];
    if (t >= tx && t >= ty && t >= tz) {
        const double s = std::sqrt(t);
        q[0] = (m[1][2] - m[2][1]) / (s * 2.0);
        q[1] = (m[2][0] - m[0][2]) / (s * 2.0);
        q[2] = (m[0][1] - m[1][0]) / (s * 2.0);
        q[3] = s * 0.5;
    } else {
        double v[4];
        if (tx >= ty && tx >= tz) {
            const double s = std::sqrt(tx) * 2.0;
            v[0] = 0.25 * s;
            v[1] = (m[0][1] + m[1][0]) / s;
            v[2] = (m[0][2] + m[2][0]) / s;
            v[3] = (m[1][2] - m[2][1]) / s;
        } else if (ty >= tz) {
            const double s = std::sqrt(ty) * 2.0;
            v[0] = (m[0][1] + m[1][0]) / s;
            v[1] = 0.25 * s;
            v[2] = (m[1][2] + m[2][1]) / s;
            v[3] = (m[2][0] - m[0][2]) / s;
        } else {
            const double s = std::sqrt(tz) * 2.0;
            v[0] = (m[0][2] + m[2][0]) / s;
            v[1] = (m[1][2] + m[2][1]) / s;
            v[2] = 0.25 * s;
            v[3] = (m[0][1] - m[1][0]) / s;
        }
        const double sign = v[3] < 0.0 ? -1.0 : 1.0;
        for (int i = 0; i < 4; i++) q[i] = sign * v[i];
    }

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
