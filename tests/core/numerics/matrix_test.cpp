// Matrices and vectors: inversion (pivoting, singular threshold, size
// limit), products and Householder vectors. (The tridiagonal reduction:
// pca_test's 4-D case.)
#include "morvex/numerics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

// A rows x cols matrix of `values`, or of uniform values in -1..1 from `seed`.
MvMatrix *make(int rows, int cols, std::vector<double> values, unsigned seed = 0)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    MvMatrix *m = mvMatrixAlloc(rows, cols);
    for (int i = 0; i < rows * cols; i++) m->data[i] = values.empty() ? dist(gen) : values[i];
    return m;
}

std::vector<double> entries(const MvMatrix *m) { return {m->data, m->data + m->rows * m->cols}; }

double at(const MvMatrix *m, int r, int c) { return m->data[r * m->cols + c]; }

}  // namespace

TEST(MatrixInverse, ExactExamplesSingularThresholdAndSizeLimit)
{
    struct Case {
        int n, result;
        std::vector<double> in, out;  // out empty: not checked
    } cases[] = {
        // Zero pivot in the first column: only a row exchange makes it work.
        {2, 0, {0, 1, 1, 0}, {0, 1, 1, 0}},
        {3, 0, {2, 0, 0, 0, 4, 0, 0, 0, 8}, {0.5, 0, 0, 0, 0.25, 0, 0, 0, 0.125}},
        // Pivots in reverse order: several exchanges, undone on the columns.
        {3, 0, {0, 0, 2, 0, 4, 0, 8, 0, 0}, {0, 0, 0.125, 0, 0.25, 0, 0.5, 0, 0}},
        {2, 0, {2e-10, 0, 0, 1}, {5e9, 0, 0, 1}},  // just above the threshold
        {2, -1, {1e-10, 0, 0, 1}, {}},             // at the threshold: singular
        {2, -1, {1e-11, 0, 0, 1}, {}},
        {3, -1, {1, 2, 3, 1, 2, 3, 0, 1, 5}, {}},  // two equal rows
        {1, 0, {0.0}, {INFINITY}},                 // 1x1 is divided, never tested
    };
    for (const Case &c : cases) {
        MvMatrix *m = make(c.n, c.n, c.in);
        EXPECT_EQ(mvMatrixSelfInv(m), c.result) << "n=" << c.n << " a0=" << c.in[0];
        for (size_t i = 0; i < c.out.size(); i++) EXPECT_DOUBLE_EQ(m->data[i], c.out[i]) << "i=" << i;
        mvMatrixFree(m);
    }
    // Well-conditioned random matrices up to 50 x 50: A A^-1 is the identity
    // within a few hundred ulps. 51 x 51 is refused and left as it was.
    for (int n : {3, 8, 50, 51}) {
        MvMatrix *a = make(n, n, {}, 100 + n), *inv = mvMatrixAllocDup(a), *prod = mvMatrixAlloc(n, n);
        ASSERT_EQ(mvMatrixSelfInv(inv), n > 50 ? -1 : 0) << n;
        ASSERT_EQ(mvMatrixMul(prod, a, inv), 0);
        double worst = 0;
        for (int r = 0; r < n; r++)
            for (int c = 0; c < n; c++) worst = std::fmax(worst, std::fabs(at(prod, r, c) - (r == c)));
        EXPECT_TRUE(n > 50 ? entries(inv) == entries(a) : worst < 1e-11) << n << ": " << worst;
        for (MvMatrix *m : {a, inv, prod}) mvMatrixFree(m);
    }
}

TEST(MatrixOps, ProductAndSizeChecksLeaveOutputsUntouched)
{
    MvMatrix *a = make(2, 3, {1, 2, 3, 4, 5, 6}), *b = make(3, 2, {7, 8, 9, 10, 11, 12});
    MvMatrix *d = mvMatrixAlloc(2, 2), *wrong = make(3, 3, std::vector<double>(9, 9.0));
    ASSERT_EQ(mvMatrixMul(d, a, b), 0);
    EXPECT_EQ(entries(d), (std::vector<double>{58, 64, 139, 154}));
    EXPECT_EQ(mvMatrixMul(wrong, a, b), -1);
    EXPECT_EQ(mvMatrixMul(d, a, a), -1);  // inner sizes differ
    EXPECT_EQ(mvMatrixDup(a, b), -1);
    EXPECT_EQ(entries(wrong), std::vector<double>(9, 9.0));
    EXPECT_EQ(a->data[0], 1);
    for (MvMatrix *m : {a, b, d, wrong}) mvMatrixFree(m);
}

TEST(VectorOps, InnerProductOfDifferentLengthsStopsWithStatusOne)
{
    double xs[3] = {1, 2, 3};
    MvVector x = {xs, 3}, y = {xs, 2};
    EXPECT_EXIT(mvVecInnerproduct(&x, &y), testing::ExitedWithCode(1), "lengths differ");
    EXPECT_EQ(mvVecInnerproduct(&x, &x), 14.0);
}

TEST(VectorOps, HouseholderExamples)
{
    const double r40 = std::sqrt(40.0);
    struct Case {
        double in[2], ret, out[2];
    } cases[] = {
        {{3, 4}, -5, {8 / r40, 4 / r40}},
        {{-3, 4}, 5, {-8 / r40, 4 / r40}},
        {{0, 0}, -0.0, {0, 0}},  // the zero vector stays, and -0 says so
    };
    for (const Case &c : cases) {
        double v[2] = {c.in[0], c.in[1]};
        MvVector x = {v, 2};
        const double r = mvVecHousehold(&x);
        EXPECT_DOUBLE_EQ(r, c.ret);
        EXPECT_EQ(std::signbit(r), std::signbit(c.ret));
        EXPECT_DOUBLE_EQ(v[0], c.out[0]);
        EXPECT_DOUBLE_EQ(v[1], c.out[1]);
    }
}
