// Corner finding and the first estimate are OpenCV's; the fit of the
// library's own model (and its uncertainty) is Ceres'.
#include "calib.h"

#include "lens_model.h"

#include <ceres/ceres.h>
#include <ceres/rotation.h>
#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

namespace mvcalib {

const char *const kParamNames[PARAM_COUNT] = {
    "focal x (px)", "focal y (px)", "principal x (px)", "principal y (px)",
    "dist. centre x (px)", "dist. centre y (px)", "dist. factor (x1e8)", "dist. scale"};

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

cv::Mat grey_of(const mvtool::Image &img)
{
    cv::Mat grey(img.height, img.width, CV_8UC1);
    const size_t n = (size_t)img.width * img.height;
    for (size_t i = 0; i < n; i++) {
        const uint8_t *p = &img.pixels[i * img.channels];
        grey.data[i] = img.channels == 1 ? p[0] : (uint8_t)((p[0] * 77 + p[1] * 150 + p[2] * 29 + 128) >> 8);
    }
    return grey;
}

// Residual of a point in camera coordinates against its observed pixel
// (u, v), through the camera's projection and the library's lens.
template <class T>
void lens_residual(const T *intr, const T *dist, const T cam[3], double u, double v, T *res)
{
    T ix, iy, ox, oy;
    camera_to_ideal(intr, cam, &ix, &iy);
    ideal_to_observed(dist, ix, iy, &ox, &oy);
    res[0] = ox - u;
    res[1] = oy - v;
}

// One board corner seen in one view.
struct CornerCost {
    CornerCost(double bx, double by, double u, double v) : bx(bx), by(by), u(u), v(v) {}
    template <class T>
    bool operator()(const T *intr, const T *dist, const T *pose, T *res) const
    {
        const T board[3] = {T(bx), T(by), T(0.0)};
        T cam[3];
        ceres::AngleAxisRotatePoint(pose, board, cam);
        for (int i = 0; i < 3; i++) cam[i] += pose[3 + i];
        if (!(cam[2] > T(0.0))) return false;   // behind the camera: not a step to take
        lens_residual(intr, dist, cam, u, v, res);
        return true;
    }
    double bx, by, u, v;
};

// Where the lens barely distorts, its centre is not determined by the
// corners; this faint pull towards the principal point keeps the problem
// well posed without moving a centre the corners do determine.
struct CentrePrior {
    template <class T>
    bool operator()(const T *intr, const T *dist, T *res) const
    {
        res[0] = (dist[0] - intr[2]) * 1e-3;
        res[1] = (dist[1] - intr[3]) * 1e-3;
        return true;
    }
};

// One frame point: its OpenCV ray (normalised ideal coordinates) and where
// OpenCV's lens puts it.
struct RayCost {
    RayCost(double xn, double yn, double u, double v) : xn(xn), yn(yn), u(u), v(v) {}
    template <class T>
    bool operator()(const T *intr, const T *dist, T *res) const
    {
        const T ray[3] = {T(xn), T(yn), T(1.0)};
        lens_residual(intr, dist, ray, u, v, res);
        return true;
    }
    double xn, yn, u, v;
};

ceres::Solver::Options solver_options()
{
    ceres::Solver::Options so;
    so.linear_solver_type = ceres::DENSE_SCHUR;
    so.max_num_iterations = 200;
    so.function_tolerance = 1e-14;
    so.parameter_tolerance = 1e-14;
    so.gradient_tolerance = 1e-16;
    so.logging_type = ceres::SILENT;
    so.num_threads = 1;
    return so;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

std::string fmt(const char *f, double a, double b = 0.0)
{
    char buf[160];
    std::snprintf(buf, sizeof buf, f, a, b);
    return buf;
}

}  // namespace

bool findCorners(const mvtool::Image &img, const Board &board, std::vector<Point> *corners, bool quick)
{
    if (img.width < 8 || img.height < 8) return false;
    const cv::Mat grey = grey_of(img);
    std::vector<cv::Point2f> pts;
    const cv::Size size(board.cols, board.rows);
    if (!cv::findChessboardCorners(grey, size, pts,
                                   cv::CALIB_CB_ADAPTIVE_THRESH | cv::CALIB_CB_NORMALIZE_IMAGE |
                                       (quick ? cv::CALIB_CB_FAST_CHECK : 0)))
        return false;
    // The refinement window must stay inside the squares around a corner.
    double spacing = 1e9;
    for (int r = 0; r < board.rows; r++)
        for (int c = 0; c < board.cols; c++) {
            const cv::Point2f p = pts[r * board.cols + c];
            if (c + 1 < board.cols)
                spacing = std::min(spacing, (double)cv::norm(p - pts[r * board.cols + c + 1]));
            if (r + 1 < board.rows)
                spacing = std::min(spacing, (double)cv::norm(p - pts[(r + 1) * board.cols + c]));
        }
    const int half = std::clamp((int)(spacing * 0.4), 2, 11);
    cv::cornerSubPix(grey, pts, cv::Size(half, half), cv::Size(-1, -1),
                     cv::TermCriteria(cv::TermCriteria::EPS + cv::TermCriteria::COUNT, 100, 1e-6));
    corners->clear();
    for (const cv::Point2f &p : pts) corners->push_back({p.x, p.y});
    return true;
}

bool calibrate(const std::vector<View> &views, int width, int height, const Board &board,
               const Options &opt, Estimate *out, std::string *error)
{
    const int n = (int)views.size(), per = board.cols * board.rows;
    const int need = std::max(opt.min_views, 3);
    if (n < need) {
        *error = "too few views: " + std::to_string(n) + " with the board found, at least " +
                 std::to_string(need) + " needed";
        return false;
    }
    std::vector<cv::Point3f> model;
    for (int r = 0; r < board.rows; r++)
        for (int c = 0; c < board.cols; c++)
            model.emplace_back((float)(c * board.square_mm), (float)(r * board.square_mm), 0.0f);
    std::vector<std::vector<cv::Point3f>> obj(n, model);
    std::vector<std::vector<cv::Point2f>> img(n);
    for (int v = 0; v < n; v++) {
        if ((int)views[v].corners.size() != per) {
            *error = views[v].name + ": " + std::to_string(views[v].corners.size()) + " corners, the board has " +
                     std::to_string(per);
            return false;
        }
        for (const Point &p : views[v].corners) img[v].emplace_back((float)p.x, (float)p.y);
    }

    // First estimate: OpenCV's pinhole with two radial terms.
    cv::Mat K, D;
    std::vector<cv::Mat> rvecs, tvecs;
    Estimate est;
    try {
        est.first_rms = cv::calibrateCamera(obj, img, cv::Size(width, height), K, D, rvecs, tvecs,
                                            cv::CALIB_FIX_K3 | cv::CALIB_ZERO_TANGENT_DIST);
    } catch (const cv::Exception &e) {
        *error = std::string("first estimate failed: ") + e.what();
        return false;
    }
    double intr[4] = {K.at<double>(0, 0), K.at<double>(1, 1), K.at<double>(0, 2), K.at<double>(1, 2)};
    // OpenCV's k1 scales normalised radii; the library's factor pixel radii, with the opposite sign.
    double dist[4] = {intr[2], intr[3], -D.at<double>(0) / (intr[0] * intr[1]) * 1e8, 1.0};
    std::vector<std::array<double, 6>> pose(n);
    for (int v = 0; v < n; v++)
        for (int i = 0; i < 3; i++) {
            pose[v][i] = rvecs[v].at<double>(i);
            pose[v][3 + i] = tvecs[v].at<double>(i);
        }

    est.views.resize(n);
    for (int v = 0; v < n; v++) est.views[v].name = views[v].name;
    auto view_residuals = [&](int v) {
        ViewResult &vr = est.views[v];
        vr.residuals.clear();
        double ss = 0.0;
        for (int k = 0; k < per; k++) {
            double r[2] = {0.0, 0.0};
            const CornerCost cost(model[k].x, model[k].y, views[v].corners[k].x, views[v].corners[k].y);
            cost(intr, dist, pose[v].data(), r);
            vr.residuals.push_back({-r[0], -r[1]});
            ss += r[0] * r[0] + r[1] * r[1];
        }
        vr.rms = std::sqrt(ss / per);
    };

    // Fit, then drop the worst view while it stands out, and fit again.
    for (;;) {
        ceres::Problem problem;
        int kept = 0;
        for (int v = 0; v < n; v++) {
            if (est.views[v].rejected) continue;
            kept++;
            for (int k = 0; k < per; k++)
                problem.AddResidualBlock(
                    new ceres::AutoDiffCostFunction<CornerCost, 2, 4, 4, 6>(
                        new CornerCost(model[k].x, model[k].y, views[v].corners[k].x, views[v].corners[k].y)),
                    nullptr, intr, dist, pose[v].data());
        }
        problem.AddResidualBlock(new ceres::AutoDiffCostFunction<CentrePrior, 2, 4, 4>(new CentrePrior), nullptr,
                                 intr, dist);
        if (!opt.fit_scale) problem.SetManifold(dist, new ceres::SubsetManifold(4, {3}));
        ceres::Solver::Summary sum;
        ceres::Solve(solver_options(), &problem, &sum);
        if (!sum.IsSolutionUsable() || !(intr[0] > 0.0) || !(intr[1] > 0.0) || !(dist[3] > 0.0)) {
            *error = "the fit of the camera model failed: " + sum.message;
            return false;
        }
        est.iterations = (int)sum.iterations.size();
        std::vector<double> rms;
        int worst = -1;
        for (int v = 0; v < n; v++) {
            if (est.views[v].rejected) continue;
            view_residuals(v);
            rms.push_back(est.views[v].rms);
            if (worst < 0 || est.views[v].rms > est.views[worst].rms) worst = v;
        }
        const double limit = opt.max_view_rms > 0.0 ? opt.max_view_rms : std::max(3.0 * median(rms), 0.3);
        if (est.views[worst].rms > limit && kept > need) {
            est.views[worst].rejected = true;
            est.views[worst].why = fmt("RMS %.3f px, over the limit of %.3f px", est.views[worst].rms, limit);
            continue;
        }
        if (est.views[worst].rms > limit) {
            *error = fmt("views fit badly (worst %.3f px over the limit %.3f px) and too few would be left; "
                         "check --board and --square",
                         est.views[worst].rms, limit) + " (worst: " + views[worst].name + ")";
            return false;
        }

        // Uncertainty: the inverse normal matrix scaled by the residual variance.
        int residuals = 0;
        double ss = 0.0;
        for (int v = 0; v < n; v++)
            if (!est.views[v].rejected) {
                residuals += 2 * per;
                ss += est.views[v].rms * est.views[v].rms * per;
            }
        est.rms = std::sqrt(ss / (residuals / 2));
        const int params = 4 + (opt.fit_scale ? 4 : 3) + 6 * kept;
        const double sigma2 = 2.0 * sum.final_cost / std::max(1, residuals - params);
        for (int i = 0; i < PARAM_COUNT; i++) est.sd[i] = kNaN;
        ceres::Covariance::Options co;
        co.algorithm_type = ceres::DENSE_SVD;
        // A free scale trades exactly against the focal lengths and the
        // principal point's offset from the distortion centre: leave that
        // direction out.
        co.null_space_rank = opt.fit_scale ? 1 : 0;
        ceres::Covariance cov(co);
        std::vector<std::pair<const double *, const double *>> blocks = {{intr, intr}, {dist, dist}};
        double ci[16], cd[16];
        if (cov.Compute(blocks, &problem) && cov.GetCovarianceBlock(intr, intr, ci) &&
            cov.GetCovarianceBlock(dist, dist, cd))
            for (int i = 0; i < 4; i++) {
                est.sd[i] = std::sqrt(ci[i * 5] * sigma2);
                est.sd[4 + i] = std::sqrt(cd[i * 5] * sigma2);
            }
        if (!opt.fit_scale) est.sd[SCALE] = 0.0;
        break;
    }

    for (int v = 0; v < n; v++) {
        ViewResult &vr = est.views[v];
        double R[9];
        ceres::AngleAxisToRotationMatrix(pose[v].data(), ceres::RowMajorAdapter3x3(R));
        for (int r = 0; r < 3; r++) {
            for (int c = 0; c < 3; c++) vr.trans[r][c] = R[r * 3 + c];
            vr.trans[r][3] = pose[v][3 + r];
        }
        vr.tilt_deg = std::acos(std::min(1.0, std::fabs(R[8]))) * 180.0 / M_PI;
    }

    // Coverage: the corners of the frame are where the lens shows most.
    const char *names[4] = {"top-left", "top-right", "bottom-left", "bottom-right"};
    bool seen[4] = {false, false, false, false};
    int tilted = 0;
    for (int v = 0; v < n; v++) {
        if (est.views[v].rejected) continue;
        tilted += est.views[v].tilt_deg >= 20.0;
        for (const Point &p : views[v].corners) {
            const int col = p.x < width / 3.0 ? 0 : p.x >= width * 2.0 / 3.0 ? 1 : -1;
            const int row = p.y < height / 3.0 ? 0 : p.y >= height * 2.0 / 3.0 ? 1 : -1;
            if (col >= 0 && row >= 0) seen[row * 2 + col] = true;
        }
    }
    std::string missing;
    for (int i = 0; i < 4; i++)
        if (!seen[i]) missing += std::string(missing.empty() ? "" : ", ") + names[i];
    if (!missing.empty())
        est.warnings.push_back("no corner seen in the " + missing +
                               " ninth(s) of the frame: take views with the board there, or the lens is "
                               "extrapolated");
    if (opt.fit_scale)
        est.warnings.push_back("the scale is not determined by the views: every scale fits as well with the "
                               "focal lengths and the principal point's offset from the distortion centre "
                               "scaled to match; the file holds one of these equal cameras, and the standard "
                               "deviations leave that trade-off out");
    if (tilted < 3)
        est.warnings.push_back("only " + std::to_string(tilted) +
                               " view(s) tilted 20 degrees or more: tilt the board several ways, or the "
                               "focal length is poorly determined");

    std::memset(&est.cam, 0, sizeof est.cam);
    est.cam.xsize = width;
    est.cam.ysize = height;
    est.cam.projection[0][0] = intr[0];
    est.cam.projection[0][2] = intr[2];
    est.cam.projection[1][1] = intr[1];
    est.cam.projection[1][2] = intr[3];
    est.cam.projection[2][2] = 1.0;
    for (int i = 0; i < 4; i++) {
        est.cam.distortion[i] = dist[i];
        est.value[i] = intr[i];
        est.value[4 + i] = dist[i];
    }
    *out = std::move(est);
    return true;
}

bool readOpenCvCamera(const std::string &path, OpenCvCamera *out, std::string *error)
{
    if (FILE *f = std::fopen(path.c_str(), "rb")) {
        std::fclose(f);
    } else {
        *error = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    OpenCvCamera cam;
    try {
        cv::FileStorage fs(path, cv::FileStorage::READ);
        if (!fs.isOpened()) {
            *error = path + ": not OpenCV file storage (YAML or XML)";
            return false;
        }
        cv::Mat K, D;
        fs["camera_matrix"] >> K;
        if (K.rows != 3 || K.cols != 3) {
            *error = path + ": no 3 x 3 camera_matrix";
            return false;
        }
        K.convertTo(K, CV_64F);
        for (int i = 0; i < 9; i++) cam.k[i] = K.at<double>(i / 3, i % 3);
        fs["distortion_coefficients"] >> D;
        const int count = (int)D.total();
        if (D.empty() || (count != 4 && count != 5 && count != 8 && count != 12 && count != 14)) {
            *error = path + ": distortion_coefficients must hold 4, 5, 8, 12 or 14 numbers, it holds " +
                     std::to_string(count);
            return false;
        }
        D.convertTo(D, CV_64F);
        cam.dist.assign(D.ptr<double>(), D.ptr<double>() + count);
        for (const char *key : {"image_width", "image_height"}) {
            const cv::FileNode node = fs[key];
            if (!node.isInt() || (int)node < 1 || (int)node > 65536) {
                *error = path + ": " + key + " missing or not a size 1..65536";
                return false;
            }
            (key[6] == 'w' ? cam.width : cam.height) = (int)node;
        }
    } catch (const cv::Exception &e) {
        *error = path + ": cannot be read as OpenCV file storage: " + e.err + " (" + e.func + ")";
        return false;
    }
    for (double v : cam.k)
        if (!std::isfinite(v)) {
            *error = path + ": camera_matrix holds a number that is not finite";
            return false;
        }
    for (double v : cam.dist)
        if (!std::isfinite(v)) {
            *error = path + ": distortion_coefficients holds a number that is not finite";
            return false;
        }
    if (!(cam.k[0] > 0.0) || !(cam.k[4] > 0.0) || cam.k[8] != 1.0) {
        *error = path + ": camera_matrix is no camera matrix (focal lengths positive, last entry 1)";
        return false;
    }
    *out = cam;
    return true;
}

bool fitOpenCvCamera(const OpenCvCamera &cvcam, ModelFit *out, std::string *error)
{
    const cv::Mat K(3, 3, CV_64F, const_cast<double *>(cvcam.k));
    const cv::Mat D(1, (int)cvcam.dist.size(), CV_64F, const_cast<double *>(cvcam.dist.data()));
    // A grid over the whole frame, its edges included.
    const int steps = 40;
    std::vector<cv::Point2d> observed, rays;
    for (int j = 0; j <= steps; j++)
        for (int i = 0; i <= steps; i++)
            observed.emplace_back((cvcam.width - 1) * (double)i / steps, (cvcam.height - 1) * (double)j / steps);
    std::vector<cv::Point3d> rays3;
    std::vector<cv::Point2d> back;
    try {
        cv::undistortPoints(observed, rays, K, D, cv::noArray(), cv::noArray(),
                            cv::TermCriteria(cv::TermCriteria::COUNT + cv::TermCriteria::EPS, 200, 1e-14));
        for (const cv::Point2d &r : rays) rays3.emplace_back(r.x, r.y, 1.0);
        cv::projectPoints(rays3, cv::Vec3d(0, 0, 0), cv::Vec3d(0, 0, 0), K, D, back);
    } catch (const cv::Exception &e) {
        *error = std::string("OpenCV model cannot be evaluated: ") + e.msg;
        return false;
    }
    double intr[4] = {cvcam.k[0], cvcam.k[4], cvcam.k[2], cvcam.k[5]};
    double dist[4] = {intr[2], intr[3], -cvcam.dist[0] / (intr[0] * intr[1]) * 1e8, 1.0};
    ceres::Problem problem;
    std::vector<int> used;
    for (size_t i = 0; i < observed.size(); i++) {
        // Points OpenCV's own inverse does not bring back are not its model's.
        if (!std::isfinite(rays[i].x) || cv::norm(back[i] - observed[i]) > 1e-3) continue;
        used.push_back((int)i);
        problem.AddResidualBlock(new ceres::AutoDiffCostFunction<RayCost, 2, 4, 4>(
                                     new RayCost(rays[i].x, rays[i].y, observed[i].x, observed[i].y)),
                                 nullptr, intr, dist);
    }
    if (used.size() < observed.size() / 2) {
        *error = "only " + std::to_string(used.size()) + " of " + std::to_string(observed.size()) +
                 " frame points map back through the OpenCV model";
        return false;
    }
    problem.SetManifold(dist, new ceres::SubsetManifold(4, {3}));
    ceres::Solver::Options so = solver_options();
    so.linear_solver_type = ceres::DENSE_QR;
    ceres::Solver::Summary sum;
    ceres::Solve(so, &problem, &sum);
    if (!sum.IsSolutionUsable()) {
        *error = "the fit of the camera model failed: " + sum.message;
        return false;
    }
    ModelFit fit;
    double ss = 0.0;
    for (int i : used) {
        double r[2];
        RayCost(rays[i].x, rays[i].y, observed[i].x, observed[i].y)(intr, dist, r);
        const double e2 = r[0] * r[0] + r[1] * r[1];
        ss += e2;
        fit.max_px = std::max(fit.max_px, std::sqrt(e2));
    }
    fit.points = (int)used.size();
    fit.rms_px = std::sqrt(ss / fit.points);
    std::memset(&fit.cam, 0, sizeof fit.cam);
    fit.cam.xsize = cvcam.width;
    fit.cam.ysize = cvcam.height;
    fit.cam.projection[0][0] = intr[0];
    fit.cam.projection[0][2] = intr[2];
    fit.cam.projection[1][1] = intr[1];
    fit.cam.projection[1][2] = intr[3];
    fit.cam.projection[2][2] = 1.0;
    for (int i = 0; i < 4; i++) fit.cam.distortion[i] = dist[i];
    *out = fit;
    return true;
}

}  // namespace mvcalib
