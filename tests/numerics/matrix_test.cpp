// Matrices and vectors: inversion (pivoting, singular thresholds, size
// limit), products, Householder vectors and the tridiagonal reduction.
#include "morvex/numerics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

MvMatrix *make(int rows, int cols, std::vector<double> values)
{
    MvMatrix *m = mvMatrixAlloc(rows, cols);
    for (int i = 0; i < rows * cols; i++) m->data[i] = values[i];
    return m;
}

MvMatrix *random_matrix(int rows, int cols, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    MvMatrix *m = mvMatrixAlloc(rows, cols);
    for (int i = 0; i < rows * cols; i++) m->data[i] = dist(gen);
    return m;
}

double at(const MvMatrix *m, int r, int c) { return m->data[r * m->cols + c]; }

}  // namespace

TEST(MatrixInverse, ExactExamples)
{
    struct Case {
        int n;
        std::vector<double> in, out;
    } cases[] = {
        // Zero pivot in the first column: only a row exchange makes it work.
        {2, {0, 1, 1, 0}, {0, 1, 1, 0}},
        {3, {2, 0, 0, 0, 4, 0, 0, 0, 8}, {0.5, 0, 0, 0, 0.25, 0, 0, 0, 0.125}},
        {1, {4.0}, {0.25}},
        // Just above the singular threshold.
        {2, {2e-10, 0, 0, 1}, {5e9, 0, 0, 1}},
        // Pivots in reverse order: several exchanges, undone on the columns.
        {3, {0, 0, 2, 0, 4, 0, 8, 0, 0}, {0, 0, 0.125, 0, 0.25, 0, 0.5, 0, 0}},
    };
    for (const Case &c : cases) {
        MvMatrix *m = make(c.n, c.n, c.in);
        ASSERT_EQ(mvMatrixSelfInv(m), 0);
        for (int i = 0; i < c.n * c.n; i++) EXPECT_DOUBLE_EQ(m->data[i], c.out[i]) << "n=" << c.n << " i=" << i;
        mvMatrixFree(m);
    }
}

TEST(MatrixInverse, OneByOneZeroIsNotReportedSingular)
{
    MvMatrix *m = make(1, 1, {0.0});
    EXPECT_EQ(mvMatrixSelfInv(m), 0);
    EXPECT_TRUE(std::isinf(m->data[0]));
    mvMatrixFree(m);
}

TEST(MatrixInverse, SingularAtOrBelowPivotThreshold)
{
    const std::vector<std::vector<double>> singular = {
        {1e-11, 0, 0, 1},         // below 1e-10
        {1e-10, 0, 0, 1},         // exactly at the threshold counts as singular
        {1, 2, 3, 1, 2, 3, 0, 1, 5},  // two equal rows (3x3 below)
    };
    for (const auto &values : singular) {
        const int n = values.size() == 4 ? 2 : 3;
        MvMatrix *m = make(n, n, values);
        EXPECT_EQ(mvMatrixSelfInv(m), -1) << values[0];
        mvMatrixFree(m);
    }
}

TEST(MatrixInverse, RandomMatricesTimesInverseGiveIdentity)
{
    // Up to the largest size the pivot record holds. Well-conditioned random
    // matrices: the residual stays within a few hundred ulps of 1.
    for (int n : {2, 3, 4, 6, 8, 50}) {
        MvMatrix *a = random_matrix(n, n, 100 + n);
        MvMatrix *inv = mvMatrixAllocDup(a);
        ASSERT_EQ(mvMatrixSelfInv(inv), 0) << n;
        MvMatrix *prod = mvMatrixAlloc(n, n);
        ASSERT_EQ(mvMatrixMul(prod, a, inv), 0);
        double worst = 0;
        for (int r = 0; r < n; r++)
            for (int c = 0; c < n; c++) worst = std::fmax(worst, std::fabs(at(prod, r, c) - (r == c)));
        EXPECT_LT(worst, 1e-11) << "n=" << n;
        mvMatrixFree(a);
        mvMatrixFree(inv);
        mvMatrixFree(prod);
    }
}

TEST(MatrixInverse, MoreThanFiftyRowsRefusedUntouched)
{
    MvMatrix *m = random_matrix(51, 51, 7);
    MvMatrix *copy = mvMatrixAllocDup(m);
    EXPECT_EQ(mvMatrixSelfInv(m), -1);
    for (int i = 0; i < 51 * 51; i++) ASSERT_EQ(m->data[i], copy->data[i]);
    mvMatrixFree(m);
    mvMatrixFree(copy);
}

TEST(MatrixOps, ProductDupAndSizeChecksLeaveOutputsUntouched)
{
    MvMatrix *a = make(2, 3, {1, 2, 3, 4, 5, 6});
    MvMatrix *b = make(3, 2, {7, 8, 9, 10, 11, 12});
    MvMatrix *d = make(2, 2, {0, 0, 0, 0});
    ASSERT_EQ(mvMatrixMul(d, a, b), 0);
    EXPECT_EQ(std::vector<double>(d->data, d->data + 4), (std::vector<double>{58, 64, 139, 154}));

    MvMatrix *wrong = make(3, 3, {9, 9, 9, 9, 9, 9, 9, 9, 9});
    EXPECT_EQ(mvMatrixMul(wrong, a, b), -1);
    EXPECT_EQ(mvMatrixMul(d, a, a), -1);  // inner sizes differ
    EXPECT_EQ(mvMatrixDup(a, b), -1);
    for (int i = 0; i < 9; i++) EXPECT_EQ(wrong->data[i], 9);
    EXPECT_EQ(a->data[0], 1);

    MvMatrix *copy = mvMatrixAllocDup(b);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->rows, 3);
    EXPECT_EQ(copy->cols, 2);
    EXPECT_EQ(std::vector<double>(copy->data, copy->data + 6), std::vector<double>(b->data, b->data + 6));
    for (MvMatrix *m : {a, b, d, wrong, copy}) mvMatrixFree(m);
}

TEST(VectorOps, InnerProductOfDifferentLengthsStopsWithStatusOne)
{
    double xs[3] = {1, 2, 3};
    MvVector x = {xs, 3}, y = {xs, 2};
    EXPECT_EXIT(mvVecInnerproduct(&x, &y), testing::ExitedWithCode(1), "lengths differ");
    MvVector empty = {xs, 0};
    EXPECT_EQ(mvVecInnerproduct(&empty, &empty), 0.0);
    EXPECT_EQ(mvVecInnerproduct(&x, &x), 14.0);
}

TEST(VectorOps, HouseholderExamples)
{
    struct Case {
        double in[2], ret, out[2];
    } cases[] = {
        {{3, 4}, -5, {8 / std::sqrt(40.0), 4 / std::sqrt(40.0)}},
        {{-3, 4}, 5, {-8 / std::sqrt(40.0), 4 / std::sqrt(40.0)}},
    };
    for (const Case &c : cases) {
        double v[2] = {c.in[0], c.in[1]};
        MvVector x = {v, 2};
        EXPECT_DOUBLE_EQ(mvVecHousehold(&x), c.ret);
        EXPECT_DOUBLE_EQ(v[0], c.out[0]);
        EXPECT_DOUBLE_EQ(v[1], c.out[1]);
    }
    double z[2] = {0, 0};
    MvVector zero = {z, 2};
    const double r = mvVecHousehold(&zero);
    EXPECT_EQ(r, 0.0);
    EXPECT_TRUE(std::signbit(r));
    EXPECT_EQ(z[0], 0.0);
    EXPECT_EQ(z[1], 0.0);
}

TEST(Tridiagonal, RejectsMismatchedSizes)
{
    MvMatrix *a = make(3, 3, {1, 2, 3, 2, 4, 5, 3, 5, 6});
    MvVector *d2 = mvVecAlloc(2), *d3 = mvVecAlloc(3), *e2 = mvVecAlloc(2), *e3 = mvVecAlloc(3);
    EXPECT_EQ(mvVecTridiagonalize(a, d2, e2), -1);
    EXPECT_EQ(mvVecTridiagonalize(a, d3, e3), -1);
    EXPECT_EQ(a->data[1], 2);
    for (MvVector *v : {d2, d3, e2, e3}) mvVecFree(v);
    mvMatrixFree(a);
}

// Q left in a is orthogonal and Q^T T Q rebuilds A. Tolerance: a few
// hundred ulps of the matrix's size (entries of order 1..10).
static void check_tridiagonal(const std::vector<double> &A, int n)
{
    MvMatrix *a = make(n, n, A);
    MvVector *d = mvVecAlloc(n), *e = mvVecAlloc(n - 1);
    ASSERT_EQ(mvVecTridiagonalize(a, d, e), 0);
    std::vector<double> T(n * n, 0.0);
    for (int i = 0; i < n; i++) T[i * n + i] = d->data[i];
    for (int i = 0; i + 1 < n; i++) T[i * n + i + 1] = T[(i + 1) * n + i] = e->data[i];
    for (int r = 0; r < n; r++) {
        for (int c = 0; c < n; c++) {
            double qq = 0, rebuilt = 0;
            for (int k = 0; k < n; k++) qq += at(a, k, r) * at(a, k, c);
            for (int k = 0; k < n; k++)
                for (int l = 0; l < n; l++) rebuilt += at(a, k, r) * T[k * n + l] * at(a, l, c);
            EXPECT_NEAR(qq, r == c ? 1.0 : 0.0, 1e-13) << r << "," << c;
            EXPECT_NEAR(rebuilt, A[r * n + c], 1e-12) << r << "," << c;
        }
    }
    mvVecFree(d);
    mvVecFree(e);
    mvMatrixFree(a);
}

TEST(Tridiagonal, ReducesSymmetricMatricesOrthogonally)
{
    check_tridiagonal({4, 1, -2, 2, 1, 2, 0, 1, -2, 0, 3, -2, 2, 1, -2, -1}, 4);

    std::mt19937 gen(42);
    std::uniform_real_distribution<double> dist(-5.0, 5.0);
    std::vector<double> A(36);
    for (int r = 0; r < 6; r++)
        for (int c = r; c < 6; c++) A[r * 6 + c] = A[c * 6 + r] = dist(gen);
    check_tridiagonal(A, 6);
}

