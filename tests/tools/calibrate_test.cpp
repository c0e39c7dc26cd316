#include "Calibration.h"
#include "support/ChessboardViews.h"
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

using ChessboardViews::boardPose;
using ChessboardViews::kBoard;

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
    const Ostrevan::CameraParameters camera = ChessboardViews::strongLens();
    const std::vector<Calibration::View> views = findAll(ChessboardViews::spreadViews(camera));
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
    const Ostrevan::CameraParameters camera = ChessboardViews::strongLens();
    ScratchDirectory scratch;
    std::vector<std::string> names;
    std::vector<cv::Mat> pictures;
    for (int i = 0; i < 9; ++i) {
        double r[3][3], t[3];
        boardPose(-215 - 8 * (i % 3), -160 - 6 * (i / 3), 1100 + 40 * i, 0.1 * (i - 4), 0.3, 0.7 * i, r, t);
        pictures.push_back(ChessboardViews::render(camera, r, t, 100 + i));
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
