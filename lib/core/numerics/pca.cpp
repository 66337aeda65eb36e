// Principal component analysis: covariance (or its small dual), Householder
// tridiagonal reduction, then implicitly shifted QR with Givens rotations.
#include "morvex/numerics.h"
#include "numerics_internal.h"

#include <cmath>
#include <cstddef>
#include <cstdlib>

// Eigenvalues below this (and every one after, in descending order) count
// as zero.
static constexpr double VZERO = 1e-16;
// Relative tolerance of an off-diagonal element against its neighbours.
static constexpr double EPS = 1e-6;
static constexpr int MAX_ITER = 100;

// Room for n doubles: on the stack when small (an edge fit needs 4), on the
// heap otherwise; data is null when the heap refuses.
namespace {
struct Scratch {
    double local[16];
    double *data;
    explicit Scratch(int n)
        : data(n <= 16 ? local : (double *)std::malloc(sizeof(double) * (size_t)n)) {}
    ~Scratch()
    {
        if (data != local) std::free(data);
    }
    Scratch(const Scratch &) = delete;
    Scratch &operator=(const Scratch &) = delete;
};

}  // namespace

static int EX(MvMatrix *input, MvVector *mean)
{
    const int row = input->rows;
    const int clm = input->cols;
    if (row <= 0 || clm <= 0) return -1;
    if (mean->length != clm) return -1;

    for (int i = 0; i < clm; i++) mean->data[i] = 0.0;
    const double *m = input->data;
    for (int i = 0; i < row; i++)
        for (int j = 0; j < clm; j++) mean->data[j] += *(m++);
    for (int i = 0; i < clm; i++) mean->data[i] /= row;
    return 0;
}

static int CENTER(MvMatrix *inout, const MvVector *mean)
{
    const int row = inout->rows;
    const int clm = inout->cols;
    if (mean->length != clm) return -1;

    double *m = inout->data;
    for (int i = 0; i < row; i++)
        for (int j = 0; j < clm; j++) *(m++) -= mean->data[j];
    return 0;
}

static int x_by_xt(const MvMatrix *input, MvMatrix *output)
{
    const int row = input->rows;
    const int clm = input->cols;
    if (output->rows != row || output->cols != row) return -1;

    for (int i = 0; i < row; i++) {
        for (int j = 0; j < row; j++) {
            double *out = &output->data[i * row + j];
            if (j < i) {
                *out = output->data[j * row + i];
                continue;
            }
            const double *in1 = &input->data[clm * i];
            const double *in2 = &input->data[clm * j];
            *out = 0.0;
            for (int k = 0; k < clm; k++) *out += *(in1++) * *(in2++);
        }
    }
    return 0;
}

static int xt_by_x(const MvMatrix *input, MvMatrix *output)
{
    const int row = input->rows;
    const int clm = input->cols;
    if (output->rows != clm || output->cols != clm) return -1;

    for (int i = 0; i < clm; i++) {
        for (int j = 0; j < clm; j++) {
            double *out = &output->data[i * clm + j];
            if (j < i) {
                *out = output->data[j * clm + i];
                continue;
            }
            const double *in1 = &input->data[i];
            const double *in2 = &input->data[j];
            *out = 0.0;
            for (int k = 0; k < row; k++) {
                *out += *in1 * *in2;
                in1 += clm;
                in2 += clm;
            }
        }
    }
    return 0;
}

// Eigen-decomposition of the symmetric matrix a in place: dv gets the
// eigenvalues in descending order, row i of a the unit eigenvector of dv[i].
static int QRM(MvMatrix *a, MvVector *dv)
{
    const int dim = a->rows;
    if (dim != a->cols || dim < 2) return -1;
    if (dv->length != dim) return -1;

    Scratch ev(dim);
    if (ev.data == nullptr) return -1;

    MvVector ev1 = {&ev.data[1], dim - 1};
    if (mvVecTridiagonalize(a, dv, &ev1) < 0) return -1;
    ev.data[0] = 0.0;

    double *d = dv->data;
    double *e = ev.data;
    double *A = a->data;

    for (int h = dim - 1; h > 0; h--) {
        int j = h;
        while (j > 0 && std::fabs(e[j]) > EPS * (std::fabs(d[j - 1]) + std::fabs(d[j]))) j--;
        if (j == h) continue;

        int iter = 0;
        do {
            iter++;
            if (iter > MAX_ITER) break;  // left unconverged; not an error

            double w = (d[h - 1] - d[h]) * 0.5;
            double t = e[h] * e[h];
            double s = std::sqrt(w * w + t);
            if (w < 0) s = -s;
            double x = (d[j] - d[h]) + t / (w + s);
            double y = e[j + 1];

            for (int k = j; k < h; k++) {
                double c;
                if (std::fabs(x) >= std::fabs(y)) {
                    if (std::fabs(x) > VZERO) {
                        t = -y / x;
                        c = 1 / std::sqrt(t * t + 1);
                        s = t * c;
                    } else {
                        c = 1.0;
                        s = 0.0;
                    }
                } else {
                    t = -x / y;
                    s = 1.0 / std::sqrt(t * t + 1);
                    c = t * s;
                }
                w = d[k] - d[k + 1];
                t = (w * s + 2 * c * e[k + 1]) * s;
                d[k] -= t;
                d[k + 1] += t;
                if (k > j) e[k] = c * e[k] - s * y;
                e[k + 1] += s * (c * w - 2 * s * e[k + 1]);

                for (int i = 0; i < dim; i++) {
                    const double p = A[k * dim + i];
                    const double q = A[(k + 1) * dim + i];
                    A[k * dim + i] = c * p - s * q;
                    A[(k + 1) * dim + i] = s * p + c * q;
                }
                if (k < h - 1) {
                    x = e[k + 1];
                    y = -s * e[k + 2];
                    e[k + 2] *= c;
                }
            }
        } while (std::fabs(e[h]) > EPS * (std::fabs(d[h - 1]) + std::fabs(d[h])));
    }

    // Selection sort, descending; of equal values the lowest index stays first.
    for (int k = 0; k < dim - 1; k++) {
        double t = d[k];
        int h = k;
        for (int i = k + 1; i < dim; i++) {
            if (d[i] > t) {
                t = d[i];
                h = i;
            }
        }
        d[h] = d[k];
        d[k] = t;
        for (int i = 0; i < dim; i++) {
            const double w = A[k * dim + i];
            A[k * dim + i] = A[h * dim + i];
            A[h * dim + i] = w;
        }
    }
    return 0;
}

// Eigenvectors of x^T x from those of the smaller x x^T (fewer samples than
// dimensions): evec_i = x^T u_i / sqrt(ev_i).
static int EV_create(const MvMatrix *input, const MvMatrix *u, MvMatrix *output,
                     MvVector *ev)
{
    const int row = input->rows;
    const int clm = input->cols;
    if (row <= 0 || clm <= 0) return -1;
    if (u->rows != row || u->cols != row) return -1;
    if (output->rows != row || output->cols != clm) return -1;
    if (ev->length != row) return -1;

    int i;
    for (i = 0; i < row; i++) {
        if (ev->data[i] < VZERO) break;
        const double work = 1 / std::sqrt(std::fabs(ev->data[i]));
        for (int j = 0; j < clm; j++) {
            double sum = 0.0;
            const double *m1 = &u->data[i * row];
            const double *m2 = &input->data[j];
            for (int k = 0; k < row; k++) {
                sum += *m1 * *m2;
                m1++;
                m2 += clm;
            }
            output->data[i * clm + j] = sum * work;
        }
    }
    for (; i < row; i++) {
        ev->data[i] = 0.0;
        for (int j = 0; j < clm; j++) output->data[i * clm + j] = 0.0;
    }
    return 0;
}

static int PCA(MvMatrix *input, MvMatrix *output, MvVector *ev)
{
    const int row = input->rows;
    const int clm = input->cols;
    const int min = (clm < row) ? clm : row;
    if (row < 2 || clm < 2) return -1;
    if (output->cols != clm) return -1;
    if (output->rows != min) return -1;
    if (ev->length != min) return -1;

    Scratch u_data(min * min);
    if (u_data.data == nullptr) return -1;
    MvMatrix u_matrix = {u_data.data, min, min};
    MvMatrix *u = &u_matrix;

    const int product = (row < clm) ? x_by_xt(input, u) : xt_by_x(input, u);
    if (product < 0 || QRM(u, ev) < 0) return -1;

    if (row >= clm) {
        int i;
        for (i = 0; i < min; i++) {
            if (ev->data[i] < VZERO) break;
            for (int j = 0; j < min; j++) output->data[i * clm + j] = u->data[i * min + j];
        }
        for (; i < min; i++) {
            ev->data[i] = 0.0;
            for (int j = 0; j < min; j++) output->data[i * clm + j] = 0.0;
        }
    } else if (EV_create(input, u, output, ev) < 0) {
        return -1;
    }
    return 0;
}

int mvcore::matrix_pca(const MvMatrix *input, MvMatrix *evec, MvVector *ev, MvVector *mean,
                       double *copy)
{
    const int row = input->rows;
    const int clm = input->cols;
    const int check = (row < clm) ? row : clm;
    if (row < 2 || clm < 2) return -1;
    if (evec->cols != clm || evec->rows != check) return -1;
    if (ev->length != check) return -1;
    if (mean->length != clm) return -1;

    MvMatrix work_matrix = {copy, row, clm};
    MvMatrix *work = &work_matrix;
    if (mvMatrixDup(work, input) < 0) return -1;

    if (EX(work, mean) < 0 || CENTER(work, mean) < 0) return -1;

    // Scaled so that work^T work is the covariance with divisor n.
    const double srow = std::sqrt((double)row);
    for (int i = 0; i < row * clm; i++) work->data[i] /= srow;

    const int result = PCA(work, evec, ev);
    if (result < 0) return -1;   // out of memory: ev holds nothing to share out

    // Shares of the total variance; all-equal samples give 0/0 here.
    double sum = 0.0;
    for (int i = 0; i < ev->length; i++) sum += ev->data[i];
    for (int i = 0; i < ev->length; i++) ev->data[i] /= sum;
    return 0;
}

extern "C" int mvMatrixPCA(const MvMatrix *input, MvMatrix *evec, MvVector *ev,
                           MvVector *mean)
{
    if (input->rows < 2 || input->cols < 2) return -1;
    // The centred copy lives for this call only.
    Scratch copy(input->rows * input->cols);
    if (copy.data == nullptr) return -1;
    return mvcore::matrix_pca(input, evec, ev, mean, copy.data);
}
