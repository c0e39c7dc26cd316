#include "support/ChessboardViews.h"

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <random>

namespace ChessboardViews {

Ostrevan::CameraParameters strongLens() {
    Ostrevan::CameraParameters c;
    c.width = 640;
    c.height = 480;
    c.projection[0][0] = 600.0;
    c.projection[1][1] = 612.0;
    c.projection[0][2] = 331.0;
    c.projection[1][2] = 236.5;
    c.projection[2][2] = 1.0;
    c.distortion[0] = 331.0;
    c.distortion[1] = 236.5;
    c.distortion[2] = 60.0;
    c.distortion[3] = 1.0;
    return c;
}

void boardPose(double x, double y, double z, double roll, double tilt, double axis, double r[3][3],
               double t[3]) {
    const double cr = std::cos(roll), sr = std::sin(roll);
    const double ax = std::cos(axis), ay = std::sin(axis);
    const double ct = std::cos(tilt), st = std::sin(tilt), vt = 1 - ct;
    const double lean[3][3] = {{ct + ax * ax * vt, ax * ay * vt, ay * st},
                               {ax * ay * vt, ct + ay * ay * vt, -ax * st},
                               {-ay * st, ax * st, ct}};
    const double turn[3][3] = {{cr, -sr, 0}, {sr, cr, 0}, {0, 0, 1}};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            r[i][j] = 0;
            for (int k = 0; k < 3; ++k) {
                r[i][j] += lean[i][k] * turn[k][j];
            }
        }
    }
    // The board's middle, (5 squares, 3.5 squares) from its first inner corner, at the centre.
    const double mx = 4 * kBoard.square, my = 2.5 * kBoard.square;
    for (int i = 0; i < 3; ++i) {
        t[i] = (i == 0 ? x : i == 1 ? y : z) - (r[i][0] * mx + r[i][1] * my);
    }
}

cv::Mat render(const Ostrevan::CameraParameters& c, const double r[3][3], const double t[3], unsigned seed) {
    cv::Mat picture(c.height, c.width, CV_32FC1);
    const double n[3] = {r[0][2], r[1][2], r[2][2]};
    const double nt = n[0] * t[0] + n[1] * t[1] + n[2] * t[2];
    for (int v = 0; v < c.height; ++v) {
        for (int u = 0; u < c.width; ++u) {
            double sum = 0;
            for (int s = 0; s < 4; ++s) {
                double ix, iy;
                Ostrevan::observedToIdeal(c.distortion, u - 0.25 + 0.5 * (s % 2), v - 0.25 + 0.5 * (s / 2),
                                          &ix, &iy);
                const double d[3] = {(ix - c.projection[0][2]) / c.projection[0][0],
                                     (iy - c.projection[1][2]) / c.projection[1][1], 1.0};
                const double nd = n[0] * d[0] + n[1] * d[1] + n[2] * d[2];
                double grey = 90; // the room behind the board
                if (std::abs(nd) > 1e-9 && nt / nd > 0) {
                    const double p[3] = {d[0] * nt / nd - t[0], d[1] * nt / nd - t[1], nt / nd - t[2]};
                    const double bx = r[0][0] * p[0] + r[1][0] * p[1] + r[2][0] * p[2];
                    const double by = r[0][1] * p[0] + r[1][1] * p[1] + r[2][1] * p[2];
                    // Squares from one square before the first inner corner; a white margin.
                    const int sx = static_cast<int>(std::floor(bx / kBoard.square)) + 1;
                    const int sy = static_cast<int>(std::floor(by / kBoard.square)) + 1;
                    const double margin = 0.8 * kBoard.square;
                    if (bx > -kBoard.square - margin && bx < kBoard.columns * kBoard.square + margin &&
                        by > -kBoard.square - margin && by < kBoard.rows * kBoard.square + margin) {
                        const bool inside = sx >= 0 && sx <= kBoard.columns && sy >= 0 && sy <= kBoard.rows;
                        grey = inside && (sx + sy) % 2 == 0 ? 25 : 225;
                    }
                }
                sum += grey;
            }
            picture.at<float>(v, u) = static_cast<float>(sum / 4);
        }
    }
    cv::GaussianBlur(picture, picture, cv::Size(0, 0), 0.7);
    std::mt19937 random(seed);
    std::normal_distribution<float> noise(0.0f, 2.0f);
    cv::Mat grey(c.height, c.width, CV_8UC1);
    for (int v = 0; v < c.height; ++v) {
        for (int u = 0; u < c.width; ++u) {
            grey.at<uint8_t>(v, u) = cv::saturate_cast<uint8_t>(picture.at<float>(v, u) + noise(random));
        }
    }
    return grey;
}

std::vector<cv::Mat> spreadViews(const Ostrevan::CameraParameters& c) {
    const double places[][6] = {
        {0, 0, 600, 0.0, 0.0, 0.0},       {-150, -110, 650, 0.2, 0.5, 0.3}, {150, -110, 650, -0.2, 0.5, 2.0},
        {-150, 110, 650, 0.1, 0.45, 1.2}, {150, 110, 650, -0.1, 0.45, 4.0}, {0, -120, 700, 0.3, 0.6, 1.57},
        {0, 120, 700, -0.3, 0.6, 0.0},    {-170, 0, 680, 0.0, 0.55, 3.0},   {170, 0, 680, 0.5, 0.55, 5.5},
        {0, 0, 480, 0.7, 0.35, 2.5},      {-90, 60, 520, -0.6, 0.3, 0.8},   {90, -60, 560, 0.4, 0.7, 4.7},
    };
    std::vector<cv::Mat> views;
    unsigned seed = 1;
    for (const auto& p : places) {
        double r[3][3], t[3];
        boardPose(p[0], p[1], p[2], p[3], p[4], p[5], r, t);
        views.push_back(render(c, r, t, seed++));
    }
    return views;
}

} // namespace ChessboardViews
