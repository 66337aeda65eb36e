// Principal component analysis on point sets with known axes and shares.
#include "morvex/numerics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

struct Pca {
    MvMatrix *evec;
    MvVector *ev, *mean;
    int result;
    Pca(int rows, int cols, std::vector<double> points)
    {
        MvMatrix input = {points.data(), rows, cols};
        const int r = rows < cols ? rows : cols;
        evec = mvMatrixAlloc(r, cols);
        ev = mvVecAlloc(r);
        mean = mvVecAlloc(cols);
        result = mvMatrixPCA(&input, evec, ev, mean);
    }
    ~Pca()
    {
        mvMatrixFree(evec);
        mvVecFree(ev);
        mvVecFree(mean);
    }
};

}  // namespace

// Exact answers; 1e-12 leaves room for rounding on entries of order 1..10.
// Axes are compared up to their sign and to 1e-6: the QR sweeps stop once
// the off-diagonal falls below that (4e-7 measured on the 4-D case).
TEST(Pca, ExamplesWithKnownAxesAndShares)
{
    const double s3 = std::sqrt(3.0), h = std::sqrt(0.5), r5 = std::sqrt(5.0), r61 = std::sqrt(61.0);
    // Points +-s h_k along the rows h_k of a Hadamard matrix / 2, s = 4, 3,
    // 2, 1: a 4 x 4 covariance whose reduction takes two Householder steps.
    const std::vector<std::vector<double>> had = {
        {.5, .5, .5, .5}, {.5, .5, -.5, -.5}, {.5, -.5, .5, -.5}, {.5, -.5, -.5, .5}};
    std::vector<double> star;
    for (int i = 0; i < 32; i++) star.push_back((i / 4 % 2 ? -1 : 1) * (4 - i / 8) * had[i / 8][i % 4]);
    struct Case {
        const char *name;
        int rows, cols;
        std::vector<double> points, mean, shares;
        std::vector<std::vector<double>> axes;
    } cases[] = {
        {"points on a line", 4, 2, {0, 0, 1, 2, 2, 4, 3, 6}, {1.5, 3}, {1, 0}, {{1 / r5, 2 / r5}}},
        // Larger variance along y: only the sort moves it to the front.
        {"sorted", 4, 2, {1, 0, -1, 0, 0, 2, 0, -2}, {0, 0}, {0.8, 0.2}, {{0, 1}, {1, 0}}},
        // Equal variances: the sort leaves them as they are.
        {"equal", 4, 2, {1, 0, -1, 0, 0, 1, 0, -1}, {0, 0}, {0.5, 0.5}, {{1, 0}, {0, 1}}},
        // Covariance proportional to ((2, 1), (1, 2)): needs QR sweeps.
        {"rotated", 4, 2, {s3, s3, -s3, -s3, 1, -1, -1, 1}, {0, 0}, {0.75, 0.25}, {{h, h}, {h, -h}}},
        // Fewer samples than dimensions: the small product is used.
        {"2 samples in 3-D", 2, 3, {1, 2, 3, 4, 6, 9}, {2.5, 4, 6}, {1}, {{3 / r61, 4 / r61, 6 / r61}}},
        {"4-D", 8, 4, star, {0, 0, 0, 0}, {16 / 30.0, 9 / 30.0, 4 / 30.0, 1 / 30.0}, had},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Pca p(c.rows, c.cols, c.points);
        ASSERT_EQ(p.result, 0);
        for (int j = 0; j < c.cols; j++) EXPECT_NEAR(p.mean->data[j], c.mean[j], 1e-12);
        for (size_t k = 0; k < c.shares.size(); k++) EXPECT_NEAR(p.ev->data[k], c.shares[k], 1e-12);
        for (size_t k = 0; k < c.axes.size(); k++) {
            const double *v = p.evec->data + k * c.cols;
            double dot = 0;
            for (int j = 0; j < c.cols; j++) dot += v[j] * c.axes[k][j];
            for (int j = 0; j < c.cols; j++) EXPECT_NEAR(dot < 0 ? -v[j] : v[j], c.axes[k][j], 1e-6) << k;
        }
    }
}

TEST(Pca, RejectsBadSizes)
{
    std::vector<double> pts = {1, 2, 3, 4, 5, 6};
    MvMatrix one_row = {pts.data(), 1, 2}, two = {pts.data(), 3, 2};
    MvMatrix *evec22 = mvMatrixAlloc(2, 2), *evec21 = mvMatrixAlloc(1, 2);
    MvVector *v2 = mvVecAlloc(2), *v3 = mvVecAlloc(3);
    EXPECT_EQ(mvMatrixPCA(&one_row, evec21, v2, v2), -1);  // too few rows
    EXPECT_EQ(mvMatrixPCA(&two, evec22, v3, v2), -1);      // eigenvalue vector of the wrong size
    EXPECT_EQ(mvVecTridiagonalize(evec22, v2, v2), -1);    // off-diagonal needs n - 1 entries
    mvMatrixFree(evec22), mvMatrixFree(evec21), mvVecFree(v2), mvVecFree(v3);
}
