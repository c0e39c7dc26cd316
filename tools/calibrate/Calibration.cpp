#include "Calibration.h"

#include <Eigen/Core>
#include <unsupported/Eigen/NonLinearOptimization>
#include <unsupported/Eigen/NumericalDiff>

#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace Calibration {

namespace {

constexpr int kIntrinsics = 7; // fx, fy, cx, cy, distortion centre x and y, factor f
constexpr int kPerView = 6;    // rotation vector, translation
constexpr int kCellsAcross = 8;
constexpr int kCellsDown = 6;

// Rotation matrix of a rotation vector (axis times angle).
void rotationOf(const double r[3], double m[3][3]) {
    const double angle = std::sqrt(r[0] * r[0] + r[1] * r[1] + r[2] * r[2]);
    if (angle < 1e-12) {
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                m[i][j] = i == j ? 1.0 : 0.0;
            }
        }
        m[0][1] = -r[2];
        m[0][2] = r[1];
        m[1][0] = r[2];
        m[1][2] = -r[0];
        m[2][0] = -r[1];
        m[2][1] = r[0];
        return;
    }
    const double x = r[0] / angle, y = r[1] / angle, z = r[2] / angle;
    const double c = std::cos(angle), s = std::sin(angle), v = 1.0 - c;
    m[0][0] = c + x * x * v;
    m[0][1] = x * y * v - z * s;
    m[0][2] = x * z * v + y * s;
    m[1][0] = y * x * v + z * s;
    m[1][1] = c + y * y * v;
    m[1][2] = y * z * v - x * s;
    m[2][0] = z * x * v - y * s;
    m[2][1] = z * y * v + x * s;
    m[2][2] = c + z * z * v;
}

// Every corner of every view reprojected through the camera file's model, against where it
// was found: x and y differences in turn.
struct Reprojection {
    typedef double Scalar;
    enum { InputsAtCompileTime = Eigen::Dynamic, ValuesAtCompileTime = Eigen::Dynamic };
    typedef Eigen::VectorXd InputType;
    typedef Eigen::VectorXd ValueType;
    typedef Eigen::MatrixXd JacobianType;

    const std::vector<View>* views;
    const Board* board;
    int corners; // per view

    int inputs() const { return kIntrinsics + kPerView * static_cast<int>(views->size()); }
    int values() const { return 2 * corners * static_cast<int>(views->size()); }

    int operator()(const Eigen::VectorXd& p, Eigen::VectorXd& residuals) const {
        const double distortion[4] = {p[4], p[5], p[6], 1.0};
        for (size_t v = 0; v < views->size(); ++v) {
            const double* pose = p.data() + kIntrinsics + kPerView * v;
            double r[3][3];
            rotationOf(pose, r);
            for (int k = 0; k < corners; ++k) {
                const double bx = (k % board->columns) * board->square;
                const double by = (k / board->columns) * board->square;
                const double x = r[0][0] * bx + r[0][1] * by + pose[3];
                const double y = r[1][0] * bx + r[1][1] * by + pose[4];
                const double z = r[2][0] * bx + r[2][1] * by + pose[5];
                double u, w;
                Ostrevan::idealToObserved(distortion, p[0] * x / z + p[2], p[1] * y / z + p[3], &u, &w);
                const Point& seen = (*views)[v].corners[static_cast<size_t>(k)];
                residuals[2 * (v * corners + k)] = u - seen.x;
                residuals[2 * (v * corners + k) + 1] = w - seen.y;
            }
        }
        return 0;
    }
};

} // namespace

bool findBoard(const unsigned char* grey, int width, int height, const Board& board, View* view,
               Search search) {
    const cv::Mat picture(height, width, CV_8UC1, const_cast<unsigned char*>(grey));
    std::vector<cv::Point2f> found;
    const cv::Size size(board.columns, board.rows);
    const int flags = cv::CALIB_CB_ADAPTIVE_THRESH | cv::CALIB_CB_NORMALIZE_IMAGE |
                      (search == Search::Quick ? cv::CALIB_CB_FAST_CHECK : 0);
    if (!cv::findChessboardCorners(picture, size, found, flags) ||
        static_cast<int>(found.size()) != board.columns * board.rows) {
        return false;
    }
    cv::cornerSubPix(picture, found, cv::Size(5, 5), cv::Size(-1, -1),
                     cv::TermCriteria(cv::TermCriteria::EPS + cv::TermCriteria::COUNT, 40, 0.001));
    view->corners.clear();
    for (const cv::Point2f& point : found) {
        view->corners.push_back({point.x, point.y});
    }
    return true;
}

double coverageOf(const std::vector<View>& views, int width, int height) {
    bool reached[kCellsDown][kCellsAcross] = {};
    for (const View& view : views) {
        for (const Point& point : view.corners) {
            const int cx = static_cast<int>(point.x * kCellsAcross / width);
            const int cy = static_cast<int>(point.y * kCellsDown / height);
            if (cx >= 0 && cy >= 0 && cx < kCellsAcross && cy < kCellsDown) {
                reached[cy][cx] = true;
            }
        }
    }
    int count = 0;
    for (const auto& row : reached) {
        count += static_cast<int>(std::count(std::begin(row), std::end(row), true));
    }
    return static_cast<double>(count) / (kCellsAcross * kCellsDown);
}

bool calibrate(const std::vector<View>& views, const Board& board, int width, int height, Result* result,
               std::string* error) {
    const int corners = board.columns * board.rows;
    if (board.columns < 2 || board.rows < 2 || !(board.square > 0.0) || width <= 0 || height <= 0) {
        *error = "the board or the frame size is not usable";
        return false;
    }
    if (views.size() < 3) {
        *error = "at least 3 views of the whole board are needed, " + std::to_string(views.size()) + " found";
        return false;
    }
    std::vector<std::vector<cv::Point3f>> model(views.size());
    std::vector<std::vector<cv::Point2f>> seen(views.size());
    for (size_t v = 0; v < views.size(); ++v) {
        if (static_cast<int>(views[v].corners.size()) != corners) {
            *error = views[v].name + ": not every corner of the board";
            return false;
        }
        for (int k = 0; k < corners; ++k) {
            model[v].emplace_back(static_cast<float>((k % board.columns) * board.square),
                                  static_cast<float>((k / board.columns) * board.square), 0.0f);
            seen[v].emplace_back(static_cast<float>(views[v].corners[k].x),
                                 static_cast<float>(views[v].corners[k].y));
        }
    }

    // OpenCV's pinhole camera with one radial term: the start of the fit.
    cv::Mat matrix;
    cv::Mat distortion;
    std::vector<cv::Mat> rotations;
    std::vector<cv::Mat> translations;
    try {
        result->openCvRms = cv::calibrateCamera(
            model, seen, cv::Size(width, height), matrix, distortion, rotations, translations,
            cv::CALIB_FIX_K2 | cv::CALIB_FIX_K3 | cv::CALIB_ZERO_TANGENT_DIST);
    } catch (const cv::Exception& e) {
        *error = std::string("OpenCV's calibration failed: ") + e.what();
        return false;
    }
    const double fx = matrix.at<double>(0, 0);
    const double fy = matrix.at<double>(1, 1);
    Eigen::VectorXd p(kIntrinsics + kPerView * views.size());
    p[0] = fx;
    p[1] = fy;
    p[2] = matrix.at<double>(0, 2);
    p[3] = matrix.at<double>(1, 2);
    p[4] = p[2];
    p[5] = p[3];
    // x (1 + k1 r^2) in units of the focal length against x (1 - f 1e-8 r^2) in pixels.
    p[6] = -distortion.at<double>(0) / (fx * fy) * 1e8;
    for (size_t v = 0; v < views.size(); ++v) {
        for (int i = 0; i < 3; ++i) {
            p[kIntrinsics + kPerView * v + i] = rotations[v].at<double>(i);
            p[kIntrinsics + kPerView * v + 3 + i] = translations[v].at<double>(i);
        }
    }

    Reprojection reprojection{&views, &board, corners};
    Eigen::NumericalDiff<Reprojection> difference(reprojection);
    Eigen::LevenbergMarquardt<Eigen::NumericalDiff<Reprojection>> solver(difference);
    solver.parameters.maxfev = 200 * static_cast<int>(p.size());
    solver.parameters.xtol = 1e-12;
    solver.parameters.ftol = 1e-12;
    solver.minimize(p);
    for (int i = 0; i < p.size(); ++i) {
        if (!std::isfinite(p[i])) {
            *error = "the fit did not converge";
            return false;
        }
    }

    Eigen::VectorXd residuals(reprojection.values());
    reprojection(p, residuals);
    result->viewRms.assign(views.size(), 0.0);
    double total = 0.0;
    for (size_t v = 0; v < views.size(); ++v) {
        double sum = 0.0;
        for (int k = 0; k < 2 * corners; ++k) {
            const double r = residuals[static_cast<Eigen::Index>(2 * v * corners + k)];
            sum += r * r;
        }
        total += sum;
        result->viewRms[v] = std::sqrt(sum / corners);
    }
    result->rms = std::sqrt(total / (corners * static_cast<double>(views.size())));
    result->worstView = static_cast<int>(std::max_element(result->viewRms.begin(), result->viewRms.end()) -
                                         result->viewRms.begin());

    Ostrevan::CameraParameters& camera = result->camera;
    camera = Ostrevan::CameraParameters();
    camera.width = width;
    camera.height = height;
    camera.projection[0][0] = p[0];
    camera.projection[0][2] = p[2];
    camera.projection[1][1] = p[1];
    camera.projection[1][2] = p[3];
    camera.projection[2][2] = 1.0;
    camera.distortion[0] = p[4];
    camera.distortion[1] = p[5];
    camera.distortion[2] = p[6];
    camera.distortion[3] = 1.0;
    if (!Ostrevan::cameraIsUsable(camera)) {
        *error = "the fit gave no usable camera";
        return false;
    }

    result->coverage = coverageOf(views, width, height);
    result->warnings.clear();
    char text[256];
    if (static_cast<int>(views.size()) < kMinimumViews) {
        std::snprintf(text, sizeof text,
                      "only %zu views: take at least %d, with the board at different places, distances and "
                      "angles",
                      views.size(), kMinimumViews);
        result->warnings.push_back(text);
    }
    if (result->coverage < kMinimumCoverage) {
        std::snprintf(
            text, sizeof text,
            "the corners cover only %.0f %% of the frame: take views with the board near every edge "
            "and corner of the picture, together at least %.0f %%",
            100.0 * result->coverage, 100.0 * kMinimumCoverage);
        result->warnings.push_back(text);
    }
    if (result->rms > kMaximumRms) {
        std::snprintf(
            text, sizeof text,
            "the reprojection error is %.2f px RMS (above %.0f px): views blurred by motion, or a board "
            "that is not flat",
            result->rms, kMaximumRms);
        result->warnings.push_back(text);
    }
    return true;
}

Ostrevan::CameraParameters turnedHalf(const Ostrevan::CameraParameters& camera) {
    Ostrevan::CameraParameters turned = camera;
    // Turning by 180 degrees maps pixel x to width - 1 - x; the focal lengths keep their sign
    // because the camera's axes turn with the picture.
    turned.projection[0][2] = camera.width - 1 - camera.projection[0][2];
    turned.projection[1][2] = camera.height - 1 - camera.projection[1][2];
    turned.distortion[0] = camera.width - 1 - camera.distortion[0];
    turned.distortion[1] = camera.height - 1 - camera.distortion[1];
    return turned;
}

View turnedHalf(const View& view, int width, int height) {
    View turned = view;
    for (Point& point : turned.corners) {
        point.x = width - 1 - point.x;
        point.y = height - 1 - point.y;
    }
    return turned;
}

bool writeCoveragePicture(const std::string& path, const std::vector<View>& views, int width, int height) {
    cv::Mat picture(height, width, CV_8UC3, cv::Scalar(70, 70, 70));
    bool reached[kCellsDown][kCellsAcross] = {};
    for (const View& view : views) {
        for (const Point& point : view.corners) {
            const int cx = static_cast<int>(point.x * kCellsAcross / width);
            const int cy = static_cast<int>(point.y * kCellsDown / height);
            if (cx >= 0 && cy >= 0 && cx < kCellsAcross && cy < kCellsDown) {
                reached[cy][cx] = true;
            }
        }
    }
    for (int cy = 0; cy < kCellsDown; ++cy) {
        for (int cx = 0; cx < kCellsAcross; ++cx) {
            const cv::Rect cell(cx * width / kCellsAcross, cy * height / kCellsDown, width / kCellsAcross,
                                height / kCellsDown);
            cv::rectangle(picture, cell, reached[cy][cx] ? cv::Scalar(60, 130, 60) : cv::Scalar(40, 40, 120),
                          cv::FILLED);
            cv::rectangle(picture, cell, cv::Scalar(30, 30, 30), 1);
        }
    }
    for (size_t v = 0; v < views.size(); ++v) {
        // A colour of its own for each view, around the hue circle.
        cv::Mat hue(1, 1, CV_8UC3, cv::Scalar(static_cast<double>((v * 47) % 180), 200, 255));
        cv::Mat colour;
        cv::cvtColor(hue, colour, cv::COLOR_HSV2BGR);
        const cv::Vec3b c = colour.at<cv::Vec3b>(0, 0);
        for (const Point& point : views[v].corners) {
            cv::circle(
                picture,
                cv::Point(static_cast<int>(std::lround(point.x)), static_cast<int>(std::lround(point.y))), 2,
                cv::Scalar(c[0], c[1], c[2]), cv::FILLED);
        }
    }
    try {
        return cv::imwrite(path, picture);
    } catch (const cv::Exception&) {
        return false;
    }
}

} // namespace Calibration
