#include "Calibration.h"
#include "support/ScratchDirectory.h"
#include "tracking/camera.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

// A camera with strong radial distortion (a tenth at the frame's corners), fx and fy apart and
// the centre off the middle.
Ostrevan::CameraParameters truth() {
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

const Calibration::Board kBoard{9, 6, 25.0};

// Board -> camera: turned by `roll` in its plane, tilted by `tilt` about an axis at `axis`, its
// centre at (x, y, z) millimetres.
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

// The camera's own picture of the board: every pixel traced back through the lens model onto
// the board's plane (4 samples a pixel), then blurred and noisy as a webcam's.
cv::Mat renderView(const Ostrevan::CameraParameters& c, const double r[3][3], const double t[3],
                   unsigned seed) {
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

// Views over the whole frame: the board near each edge and corner, tilted every way.
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
        views.push_back(renderView(c, r, t, seed++));
    }
    return views;
}

std::vector<Calibration::View> findAll(const std::vector<cv::Mat>& pictures) {
    std::vector<Calibration::View> views;
    for (size_t i = 0; i < pictures.size(); ++i) {
        Calibration::View view;
        view.name = "view " + std::to_string(i + 1);
        EXPECT_TRUE(
            Calibration::findBoard(pictures[i].data, pictures[i].cols, pictures[i].rows, kBoard, &view))
            << view.name;
        if (!view.corners.empty()) {
            views.push_back(view);
        }
    }
    return views;
}

TEST(Calibrate, RecoversAStronglyDistortingCameraFromRenderedViews) {
    const Ostrevan::CameraParameters camera = truth();
    const std::vector<Calibration::View> views = findAll(spreadViews(camera));
    ASSERT_EQ(12u, views.size());
    Calibration::Result result;
    std::string error;
    ASSERT_TRUE(Calibration::calibrate(views, kBoard, 640, 480, &result, &error)) << error;
    const Ostrevan::CameraParameters& found = result.camera;
    std::printf("truth fx %.2f fy %.2f centre %.2f %.2f f %.2f; found fx %.2f fy %.2f centre %.2f %.2f "
                "distortion centre %.2f %.2f f %.2f; RMS %.3f px (OpenCV %.3f), coverage %.0f %%\n",
                camera.projection[0][0], camera.projection[1][1], camera.projection[0][2],
                camera.projection[1][2], camera.distortion[2], found.projection[0][0], found.projection[1][1],
                found.projection[0][2], found.projection[1][2], found.distortion[0], found.distortion[1],
                found.distortion[2], result.rms, result.openCvRms, 100 * result.coverage);
    EXPECT_NEAR(camera.projection[0][0], found.projection[0][0], 0.005 * camera.projection[0][0]);
    EXPECT_NEAR(camera.projection[1][1], found.projection[1][1], 0.005 * camera.projection[1][1]);
    EXPECT_NEAR(camera.projection[0][2], found.projection[0][2], 2.0);
    EXPECT_NEAR(camera.projection[1][2], found.projection[1][2], 2.0);
    EXPECT_NEAR(camera.distortion[2], found.distortion[2], 0.05 * camera.distortion[2]);
    EXPECT_LT(result.rms, 0.3);
    EXPECT_TRUE(result.warnings.empty()) << result.warnings.front();
    // What the player reads: the same camera for frames turned by 180 degrees.
    const Ostrevan::CameraParameters turned = Calibration::turnedHalf(found);
    EXPECT_DOUBLE_EQ(639.0 - found.projection[0][2], turned.projection[0][2]);
    EXPECT_DOUBLE_EQ(479.0 - found.distortion[1], turned.distortion[1]);
    EXPECT_DOUBLE_EQ(found.projection[0][0], turned.projection[0][0]);
}

// Every view with the board in the top-left corner: the fit may look fine there, but says
// nothing about the rest of the frame. The tool refuses the set and writes no file.
TEST(Calibrate, BoardInOneCornerOnlyIsRefusedWithTheCoverageWarning) {
    const Ostrevan::CameraParameters camera = truth();
    ScratchDirectory scratch;
    std::vector<std::string> names;
    std::vector<cv::Mat> pictures;
    for (int i = 0; i < 9; ++i) {
        double r[3][3], t[3];
        boardPose(-215 - 8 * (i % 3), -160 - 6 * (i / 3), 1100 + 40 * i, 0.1 * (i - 4), 0.3, 0.7 * i, r, t);
        pictures.push_back(renderView(camera, r, t, 100 + i));
        names.push_back(scratch.path() + "corner" + std::to_string(i) + ".png");
        ASSERT_TRUE(cv::imwrite(names.back(), pictures.back()));
    }
    const std::vector<Calibration::View> views = findAll(pictures);
    ASSERT_EQ(9u, views.size());
    Calibration::Result result;
    std::string error;
    ASSERT_TRUE(Calibration::calibrate(views, kBoard, 640, 480, &result, &error)) << error;
    EXPECT_LT(result.coverage, 0.5);
    ASSERT_EQ(1u, result.warnings.size());
    EXPECT_NE(std::string::npos, result.warnings[0].find("cover")) << result.warnings[0];

    const std::string output = scratch.path() + "camera_para.dat";
    std::string command = std::string(VELQUIN_CALIBRATE_TOOL) + " --chessboard 9x6 --square 25 -o " + output;
    for (const std::string& name : names) {
        command += " " + name;
    }
    command += " 2>" + scratch.path() + "stderr.txt >/dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(1, WEXITSTATUS(status));
    EXPECT_EQ(nullptr, std::fopen(output.c_str(), "rb"));
    FILE* file = std::fopen((scratch.path() + "stderr.txt").c_str(), "rb");
    ASSERT_NE(nullptr, file);
    char text[2048] = {};
    const size_t length = std::fread(text, 1, sizeof text - 1, file);
    std::fclose(file);
    EXPECT_NE(std::string::npos, std::string(text, length).find("the corners cover only")) << text;
    // With --force it is written all the same.
    EXPECT_EQ(0, std::system((command.substr(0, command.find(" 2>")) + " --force >/dev/null 2>&1").c_str()));
    Ostrevan::CameraParameters written;
    EXPECT_EQ(0, Ostrevan::loadCameraParameters(output.c_str(), &written));
}

} // namespace

// The printed board: velquin-marker's A4 page at 300 dots per inch holds a board that
// velquin-calibrate finds, with its corners a square's true size apart.
TEST(Calibrate, PrintedBoardIsFoundAtTrueSize) {
    ScratchDirectory scratch;
    const std::string command =
        std::string(VELQUIN_MARKER_TOOL) + " --chessboard 9x6 --square 25 " + scratch.path() + " >/dev/null";
    ASSERT_EQ(0, std::system(command.c_str()));
    const cv::Mat page = cv::imread(scratch.path() + "chessboard-9x6-25mm-a4.png", cv::IMREAD_GRAYSCALE);
    ASSERT_FALSE(page.empty());
    EXPECT_EQ(3508, page.cols); // 297 mm across, landscape
    EXPECT_EQ(2480, page.rows);
    cv::Mat small;
    cv::resize(page, small, cv::Size(), 0.25, 0.25, cv::INTER_AREA);
    Calibration::View view;
    ASSERT_TRUE(Calibration::findBoard(small.data, small.cols, small.rows, kBoard, &view));
    const double dotsPerSquare = 25.0 / 25.4 * 300.0 * 0.25;
    EXPECT_NEAR(dotsPerSquare,
                std::hypot(view.corners[1].x - view.corners[0].x, view.corners[1].y - view.corners[0].y),
                0.5);
    FILE* pdf = std::fopen((scratch.path() + "chessboard-9x6-25mm-letter.pdf").c_str(), "rb");
    ASSERT_NE(nullptr, pdf);
    char text[4096] = {};
    const size_t length = std::fread(text, 1, sizeof text - 1, pdf);
    std::fclose(pdf);
    const std::string bytes(text, length);
    EXPECT_EQ(0u, bytes.find("%PDF-1.4"));
    EXPECT_NE(std::string::npos, bytes.find("/MediaBox [0 0 792.000000 612.000000]")); // Letter, landscape
}
