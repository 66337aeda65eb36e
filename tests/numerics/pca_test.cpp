// Principal component analysis on point sets with known axes and shares.
#include "morvex/numerics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

struct Pca {
    MvMatrix *evec;
    MvVector *ev, *mean;
    int result;
};

Pca run(int rows, int cols, std::vector<double> points)
{
    MvMatrix input = {points.data(), rows, cols};
    const int r = rows < cols ? rows : cols;
    Pca out = {mvMatrixAlloc(r, cols), mvVecAlloc(r), mvVecAlloc(cols), 0};
    out.result = mvMatrixPCA(&input, out.evec, out.ev, out.mean);
    return out;
}

void release(Pca &p)
{
    mvMatrixFree(p.evec);
    mvVecFree(p.ev);
    mvVecFree(p.mean);
}

}  // namespace

// The examples below have exact answers; 1e-12 leaves room for the rounding
// of the QR sweeps on matrices with entries of order 1..10.
TEST(Pca, PointsOnALine)
{
    Pca p = run(4, 2, {0, 0, 1, 2, 2, 4, 3, 6});
    ASSERT_EQ(p.result, 0);
    EXPECT_DOUBLE_EQ(p.mean->data[0], 1.5);
    EXPECT_DOUBLE_EQ(p.mean->data[1], 3.0);
    const double sign = p.evec->data[0] < 0 ? -1 : 1;
    EXPECT_NEAR(sign * p.evec->data[0], 1 / std::sqrt(5.0), 1e-12);
    EXPECT_NEAR(sign * p.evec->data[1], 2 / std::sqrt(5.0), 1e-12);
    EXPECT_NEAR(p.ev->data[0], 1.0, 1e-12);
    EXPECT_NEAR(p.ev->data[1], 0.0, 1e-12);
    release(p);
}

TEST(Pca, DiagonalCovarianceSortsAxesAndEqualValuesKeepTheirOrder)
{
    struct Case {
        std::vector<double> points;
        double share0, axis0[2], axis1[2];
    } cases[] = {
        // Larger variance along y: only the sort moves it to the front.
        {{1, 0, -1, 0, 0, 2, 0, -2}, 0.8, {0, 1}, {1, 0}},
        // Equal variances: the sort leaves them as they are.
        {{1, 0, -1, 0, 0, 1, 0, -1}, 0.5, {1, 0}, {0, 1}},
    };
    for (const Case &c : cases) {
        Pca p = run(4, 2, c.points);
        ASSERT_EQ(p.result, 0);
        EXPECT_EQ(p.mean->data[0], 0.0);
        EXPECT_EQ(p.mean->data[1], 0.0);
        EXPECT_DOUBLE_EQ(p.ev->data[0], c.share0);
        EXPECT_DOUBLE_EQ(p.ev->data[1], 1.0 - c.share0);
        EXPECT_EQ(std::fabs(p.evec->data[0]), c.axis0[0]);
        EXPECT_EQ(std::fabs(p.evec->data[1]), c.axis0[1]);
        EXPECT_EQ(std::fabs(p.evec->data[2]), c.axis1[0]);
        EXPECT_EQ(std::fabs(p.evec->data[3]), c.axis1[1]);
        release(p);
    }
}

TEST(Pca, RotatedCovarianceNeedsQrSweeps)
{
    // Covariance proportional to ((2, 1), (1, 2)): eigenvalues 3 and 1 along
    // (1, 1) and (1, -1).
    const double a = std::sqrt(3.0);
    Pca p = run(4, 2, {a, a, -a, -a, 1, -1, -1, 1});
    ASSERT_EQ(p.result, 0);
    EXPECT_NEAR(p.ev->data[0], 0.75, 1e-12);
    EXPECT_NEAR(p.ev->data[1], 0.25, 1e-12);
    const double h = 1 / std::sqrt(2.0);
    EXPECT_NEAR(std::fabs(p.evec->data[0]), h, 1e-12);
    EXPECT_NEAR(p.evec->data[0] * p.evec->data[1], 0.5, 1e-12);   // same signs
    EXPECT_NEAR(p.evec->data[2] * p.evec->data[3], -0.5, 1e-12);  // opposite signs
    release(p);
}

TEST(Pca, FewerSamplesThanDimensionsUsesTheSmallProduct)
{
    Pca p = run(2, 3, {1, 2, 3, 4, 6, 9});
    ASSERT_EQ(p.result, 0);
    const double d[3] = {3, 4, 6}, len = std::sqrt(61.0);
    const double sign = p.evec->data[0] < 0 ? -1 : 1;
    for (int j = 0; j < 3; j++) EXPECT_NEAR(sign * p.evec->data[j], d[j] / len, 1e-12);
    EXPECT_NEAR(p.ev->data[0], 1.0, 1e-12);
    EXPECT_DOUBLE_EQ(p.mean->data[2], 6.0);
    release(p);
}

TEST(Pca, RejectsBadSizes)
{
    std::vector<double> pts = {1, 2, 3, 4, 5, 6};
    MvMatrix one_row = {pts.data(), 1, 2}, one_col = {pts.data(), 2, 1}, two = {pts.data(), 3, 2};
    MvMatrix *evec22 = mvMatrixAlloc(2, 2), *evec23 = mvMatrixAlloc(2, 3), *evec21 = mvMatrixAlloc(1, 2);
    MvVector *ev2 = mvVecAlloc(2), *ev3 = mvVecAlloc(3), *mean2 = mvVecAlloc(2), *mean3 = mvVecAlloc(3);
    EXPECT_EQ(mvMatrixPCA(&one_row, evec21, ev2, mean2), -1);
    EXPECT_EQ(mvMatrixPCA(&one_col, evec21, ev2, mean2), -1);
    EXPECT_EQ(mvMatrixPCA(&two, evec23, ev2, mean2), -1);
    EXPECT_EQ(mvMatrixPCA(&two, evec22, ev3, mean2), -1);
    EXPECT_EQ(mvMatrixPCA(&two, evec22, ev2, mean3), -1);
    EXPECT_EQ(mvMatrixPCA(&two, evec22, ev2, mean2), 0);
    for (MvMatrix *m : {evec22, evec23, evec21}) mvMatrixFree(m);
    for (MvVector *v : {ev2, ev3, mean2, mean3}) mvVecFree(v);
}

TEST(Pca, RandomCloudGivesOrthonormalEigenvectorsOfTheCovariance)
{
    // 300 points in 5-D with very different spreads per axis, then mixed.
    const int n = 300, m = 5;
    std::mt19937 gen(5);
    std::normal_distribution<double> g(0.0, 1.0);
    std::vector<double> pts(n * m);
    const double spread[m] = {9, 4, 2, 1, 0.3};
    for (int i = 0; i < n; i++) {
        double v[m];
        for (int j = 0; j < m; j++) v[j] = spread[j] * g(gen);
        for (int j = 0; j < m; j++) pts[i * m + j] = 0.5 * v[j] + 0.3 * v[(j + 1) % m] + 1.0;
    }
    std::vector<double> cov(m * m, 0.0), mean(m, 0.0);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < m; j++) mean[j] += pts[i * m + j] / n;
    for (int i = 0; i < n; i++)
        for (int a = 0; a < m; a++)
            for (int b = 0; b < m; b++) cov[a * m + b] += (pts[i * m + a] - mean[a]) * (pts[i * m + b] - mean[b]) / n;
    double trace = 0;
    for (int j = 0; j < m; j++) trace += cov[j * m + j];

    Pca p = run(n, m, pts);
    ASSERT_EQ(p.result, 0);
    for (int k = 0; k < m; k++) {
        if (k > 0) {
            EXPECT_GE(p.ev->data[k - 1], p.ev->data[k]);
        }
        const double lambda = p.ev->data[k] * trace;
        // The QR iteration stops at a relative off-diagonal of 1e-6, so the
        // residual is bounded by about 1e-6 of the largest eigenvalue.
        for (int a = 0; a < m; a++) {
            double cv = 0;
            for (int b = 0; b < m; b++) cv += cov[a * m + b] * p.evec->data[k * m + b];
            EXPECT_NEAR(cv, lambda * p.evec->data[k * m + a], 1e-6 * trace) << k << "," << a;
        }
        for (int l = 0; l < m; l++) {
            double dot = 0;
            for (int j = 0; j < m; j++) dot += p.evec->data[k * m + j] * p.evec->data[l * m + j];
            EXPECT_NEAR(dot, k == l ? 1.0 : 0.0, 1e-12);
        }
    }
    release(p);
}
