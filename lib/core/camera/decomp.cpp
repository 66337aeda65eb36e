// Splits a projection matrix into intrinsic and rigid parts by Gram-Schmidt
// on its rows, from the bottom row upwards.
#include "morvex/camera.h"

#include <cmath>
#include <cstring>

static double norm(double a, double b, double c)
{
    return std::sqrt(a * a + b * b + c * c);
}

static double dot(double a1, double a2, double a3, double b1, double b2, double b3)
{
    return a1 * b1 + a2 * b2 + a3 * b3;
}

extern "C" int mvParamDecompMat(const double source[3][4], double cpara[3][4],
                                double trans[3][4])
{
    double Cpara[3][4];
    // Negating when the depth is negative makes the translation's depth
    // non-negative; a zero depth of either sign is kept as it is.
    if (source[2][3] >= 0) {
        for (int r = 0; r < 3; r++)
            for (int c = 0; c < 4; c++) Cpara[r][c] = source[r][c];
    } else {
        for (int r = 0; r < 3; r++)
            for (int c = 0; c < 4; c++) Cpara[r][c] = -(source[r][c]);
    }

    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 4; c++) cpara[r][c] = 0.0;

    cpara[2][2] = norm(Cpara[2][0], Cpara[2][1], Cpara[2][2]);
    trans[2][0] = Cpara[2][0] / cpara[2][2];
    trans[2][1] = Cpara[2][1] / cpara[2][2];
    trans[2][2] = Cpara[2][2] / cpara[2][2];
    trans[2][3] = Cpara[2][3] / cpara[2][2];

    cpara[1][2] = dot(trans[2][0], trans[2][1], trans[2][2], Cpara[1][0], Cpara[1][1], Cpara[1][2]);
    trans[1][0] = Cpara[1][0] - cpara[1][2] * trans[2][0];
    trans[1][1] = Cpara[1][1] - cpara[1][2] * trans[2][1];
    trans[1][2] = Cpara[1][2] - cpara[1][2] * trans[2][2];
    cpara[1][1] = norm(trans[1][0], trans[1][1], trans[1][2]);
    trans[1][0] /= cpara[1][1];
    trans[1][1] /= cpara[1][1];
    trans[1][2] /= cpara[1][1];

    cpara[0][2] = dot(trans[2][0], trans[2][1], trans[2][2], Cpara[0][0], Cpara[0][1], Cpara[0][2]);
    cpara[0][1] = dot(trans[1][0], trans[1][1], trans[1][2], Cpara[0][0], Cpara[0][1], Cpara[0][2]);
    trans[0][0] = Cpara[0][0] - cpara[0][1] * trans[1][0] - cpara[0][2] * trans[2][0];
    trans[0][1] = Cpara[0][1] - cpara[0][1] * trans[1][1] - cpara[0][2] * trans[2][1];
    trans[0][2] = Cpara[0][2] - cpara[0][1] * trans[1][2] - cpara[0][2] * trans[2][2];
    cpara[0][0] = norm(trans[0][0], trans[0][1], trans[0][2]);
    trans[0][0] /= cpara[0][0];
    trans[0][1] /= cpara[0][0];
    trans[0][2] /= cpara[0][0];

    trans[1][3] = (Cpara[1][3] - cpara[1][2] * trans[2][3]) / cpara[1][1];
    trans[0][3] = (Cpara[0][3] - cpara[0][1] * trans[1][3] - cpara[0][2] * trans[2][3]) / cpara[0][0];

    // [2][2] is divided last, so every element is divided by the same value.
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 3; c++) cpara[r][c] /= cpara[2][2];

    return 0;
}

extern "C" int mvParamDecomp(const MvCameraParam *source, MvCameraParam *dest,
                             double trans[3][4])
{
    dest->xsize = source->xsize;
    dest->ysize = source->ysize;
    for (int i = 0; i < 4; i++) dest->distortion[i] = source->distortion[i];
    return mvParamDecompMat(source->projection, dest->projection, trans);
}
