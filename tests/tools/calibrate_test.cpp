#include "Calibration.h"
#include "support/ChessboardViews.h"
#include "support/ScratchDirectory.h"
#include "tracking/camera.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <sys/stat.h>
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

// The twelve spread views, rendered once for the cases that share them.
const std::vector<cv::Mat>& spread() {
    static const std::vector<cv::Mat> pictures = ChessboardViews::spreadViews(ChessboardViews::strongLens());
    return pictures;
}

// What a run of velquin-calibrate in the scratch folder printed, and how it ended.
struct ToolRun {
    int status = -1; // exit status; -1 when it did not exit by itself
    std::string out;
    std::string err;
};

ToolRun runCalibrate(const ScratchDirectory& scratch, const std::string& arguments) {
    // A tool that never ends would hold CI until its limit: a minute is ample.
    const std::string command = "cd '" + scratch.path() + "' && timeout 60 " + VELQUIN_CALIBRATE_TOOL + " " +
                                arguments + " >out.txt 2>err.txt";
    const int status = std::system(command.c_str());
    ToolRun run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = readWholeFile(scratch.path() + "out.txt");
    run.err = readWholeFile(scratch.path() + "err.txt");
    return run;
}

// The names, separated by spaces, of the pictures written into the scratch folder.
std::string writePictures(const ScratchDirectory& scratch, const std::vector<cv::Mat>& pictures) {
    std::string names;
    for (size_t i = 0; i < pictures.size(); ++i) {
        const std::string name = "view" + std::to_string(i + 1) + ".png";
        EXPECT_TRUE(cv::imwrite(scratch.path() + name, pictures[i]));
        names += " " + name;
    }
    return names;
}

// Checks a coverage picture against the views it shows, as the camera saw them: the frame's
// size, a bright dot on every corner of every view, and the cells reached shaded apart from the
// others, as many as the coverage says.
void expectCoveragePicture(const std::string& path, const std::vector<Calibration::View>& views,
                           double coverage) {
    const cv::Mat picture = cv::imread(path, cv::IMREAD_COLOR);
    ASSERT_FALSE(picture.empty()) << path;
    EXPECT_EQ(640, picture.cols);
    EXPECT_EQ(480, picture.rows);
    int missed = 0;
    for (const Calibration::View& view : views) {
        for (const Calibration::Point& corner : view.corners) {
            const cv::Vec3b dot = picture.at<cv::Vec3b>(static_cast<int>(std::lround(corner.y)),
                                                        static_cast<int>(std::lround(corner.x)));
            // The cells' shades stay below 140 in every channel; a view's dot is a full colour.
            missed += std::max({dot[0], dot[1], dot[2]}) > 200 ? 0 : 1;
        }
    }
    EXPECT_EQ(0, missed) << "corners without a dot in " << path;
    const cv::Vec3b reachedShade(60, 130, 60);
    const cv::Vec3b missedShade(40, 40, 120);
    int reached = 0;
    int unreached = 0;
    for (int cy = 0; cy < 6; ++cy) {
        for (int cx = 0; cx < 8; ++cx) {
            const cv::Mat cell = picture(cv::Rect(cx * 80, cy * 80, 80, 80));
            bool green = false;
            bool red = false;
            for (int y = 0; y < cell.rows; ++y) {
                for (int x = 0; x < cell.cols; ++x) {
                    green = green || cell.at<cv::Vec3b>(y, x) == reachedShade;
                    red = red || cell.at<cv::Vec3b>(y, x) == missedShade;
                }
            }
            EXPECT_NE(green, red) << "cell " << cx << ", " << cy;
            reached += green ? 1 : 0;
            unreached += red ? 1 : 0;
        }
    }
    EXPECT_EQ(48, reached + unreached);
    EXPECT_NEAR(coverage, reached / 48.0, 1e-9);
}

// Five good views: a fit, but too few to trust, and the warning says so and what to do. The tool
// prints the fit and its error, draws where the corners lie, and refuses to write the file.
TEST(Calibrate, FewerThanEightViewsAreWarnedAboutAndTheCoveragePictureShowsEveryCorner) {
    const std::vector<cv::Mat> pictures(spread().begin(), spread().begin() + 5);
    const std::vector<Calibration::View> views = findAll(pictures);
    ASSERT_EQ(5u, views.size());
    Calibration::Result result;
    std::string error;
    ASSERT_TRUE(Calibration::calibrate(views, kBoard, 640, 480, &result, &error)) << error;
    EXPECT_LT(result.rms, 0.3);
    EXPECT_GE(result.coverage, 0.5);
    ASSERT_EQ(1u, result.warnings.size());
    EXPECT_NE(std::string::npos, result.warnings[0].find("only 5 views: take at least 8"))
        << result.warnings[0];

    ScratchDirectory scratch;
    const std::string names = writePictures(scratch, pictures);
    const ToolRun run =
        runCalibrate(scratch, "--chessboard 9x6 --square 25 -o few.dat --coverage where.png" + names);
    EXPECT_EQ(1, run.status) << run.err;
    EXPECT_NE(std::string::npos, run.out.find("5 views of 640x480, board 9x6 of 25.0 mm")) << run.out;
    EXPECT_NE(std::string::npos, run.out.find("reprojection error ")) << run.out;
    EXPECT_NE(std::string::npos, run.out.find("coverage picture: where.png")) << run.out;
    EXPECT_NE(std::string::npos, run.err.find("warning: only 5 views")) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("few.dat not written")) << run.err;
    EXPECT_FALSE(pathExists(scratch.path() + "few.dat"));
    expectCoveragePicture(scratch.path() + "where.png", views, result.coverage);

    // Without --coverage the picture is named after the camera file.
    const ToolRun forced = runCalibrate(scratch, "--chessboard 9x6 --square 25 -o few.dat --force" + names);
    EXPECT_EQ(0, forced.status) << forced.err;
    EXPECT_NE(std::string::npos, forced.err.find("warning: only 5 views")) << forced.err;
    EXPECT_TRUE(pathExists(scratch.path() + "few.dat"));
    expectCoveragePicture(scratch.path() + "few.coverage.png", views, result.coverage);
}

// Corners that lie off the board's grid by a few pixels (a board that is not flat, views blurred
// by motion) fit with an error above a pixel, which the set is refused for. A square size given
// wrongly changes only the boards' distances, never the fit: the camera stays the same.
TEST(Calibrate, ReprojectionErrorAboveAPixelIsWarnedAbout) {
    const std::vector<Calibration::View> views = findAll(spread());
    ASSERT_EQ(12u, views.size());
    std::vector<Calibration::View> disturbed = views;
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 3.0);
    for (Calibration::View& view : disturbed) {
        for (Calibration::Point& corner : view.corners) {
            corner.x += noise(random);
            corner.y += noise(random);
        }
    }
    Calibration::Result result;
    std::string error;
    ASSERT_TRUE(Calibration::calibrate(disturbed, kBoard, 640, 480, &result, &error)) << error;
    EXPECT_GT(result.rms, 2.0);
    ASSERT_EQ(1u, result.warnings.size());
    EXPECT_NE(std::string::npos, result.warnings[0].find("the reprojection error is")) << result.warnings[0];

    // One view's corners wobbling by up to 3 px (a board bent in that view only): the report
    // names that view as the worst.
    disturbed = views;
    for (Calibration::Point& corner : disturbed[4].corners) {
        corner.x += 3.0 * std::sin(corner.y);
        corner.y += 3.0 * std::cos(corner.x);
    }
    ASSERT_TRUE(Calibration::calibrate(disturbed, kBoard, 640, 480, &result, &error)) << error;
    EXPECT_EQ(4, result.worstView);

    Calibration::Result larger;
    Calibration::Board wrong = kBoard;
    wrong.square = 30.0;
    ASSERT_TRUE(Calibration::calibrate(views, wrong, 640, 480, &larger, &error)) << error;
    ASSERT_TRUE(Calibration::calibrate(views, kBoard, 640, 480, &result, &error)) << error;
    EXPECT_TRUE(larger.warnings.empty());
    EXPECT_NEAR(result.camera.projection[0][0], larger.camera.projection[0][0],
                0.001 * result.camera.projection[0][0]);
    EXPECT_NEAR(result.camera.projection[1][2], larger.camera.projection[1][2], 0.1);
    EXPECT_NEAR(result.rms, larger.rms, 0.01);
}

#if VELQUIN_CALIBRATE_LIVE
// Live from a camera: a recording played by the File camera, of the board held still at the
// twelve places for a few frames each, carried between them out of sight. Shown again where it
// was already taken, or moving, it is not taken; after one pass the recording has no more to
// give, and the twelve views make the camera file for the player's frames, which the File camera
// delivers turned by 180 degrees.
TEST(Calibrate, LiveFromARecordingTakesTheStillViewsOnceEach) {
    ScratchDirectory scratch;
    ASSERT_EQ(0, mkdir((scratch.path() + "frames").c_str(), 0755));
    std::vector<cv::Mat> frames;
    cv::RNG random(5);
    auto hold = [&](const cv::Mat& picture, int count) {
        for (int i = 0; i < count; ++i) {
            cv::Mat noise(picture.size(), CV_16SC1);
            random.fill(noise, cv::RNG::NORMAL, 0, 2);
            cv::Mat frame;
            cv::add(picture, noise, frame, cv::noArray(), CV_8UC1);
            frames.push_back(frame);
        }
    };
    const cv::Mat room(480, 640, CV_8UC1, cv::Scalar(90));
    double r[3][3], t[3];
    boardPose(-40, 30, 560, -0.5, 0.4, 1.0, r, t);
    const cv::Mat elsewhere = ChessboardViews::render(ChessboardViews::strongLens(), r, t, 40);
    for (size_t i = 0; i < spread().size(); ++i) {
        hold(room, 1);
        hold(spread()[i], 5);
        if (i == 5) {
            hold(room, 1);
            hold(spread()[0], 6);
        }
        if (i == 8) {
            hold(room, 1);
            for (int step = 0; step < 8; ++step) {
                const cv::Mat shift = (cv::Mat_<double>(2, 3) << 1, 0, 2 * step, 0, 1, step);
                cv::Mat moved;
                cv::warpAffine(elsewhere, moved, shift, elsewhere.size(), cv::INTER_LINEAR,
                               cv::BORDER_CONSTANT, cv::Scalar(90));
                hold(moved, 1);
            }
        }
    }
    for (size_t i = 0; i < frames.size(); ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "frames/frame%03zu.png", i);
        ASSERT_TRUE(cv::imwrite(scratch.path() + name, frames[i], {cv::IMWRITE_PNG_COMPRESSION, 1}));
    }

    const ToolRun run =
        runCalibrate(scratch, "--chessboard 9x6 --square 25 --camera File frames@1000 --views 20");
    ASSERT_EQ(0, run.status) << run.out << run.err;
    for (const char* progress :
         {"views 0/20, coverage   0 %, board not seen", "board seen, hold it still", "board seen, moving",
          "board seen where a view was already taken", "views 12/20, coverage  75 %",
          "the recording has played through: 12 of 20 views taken"}) {
        EXPECT_NE(std::string::npos, run.err.find(progress)) << progress << " in " << run.err;
    }
    EXPECT_EQ(std::string::npos, run.err.find("views 13/20")) << run.err;
    EXPECT_EQ(std::string::npos, run.err.find("warning")) << run.err;
    EXPECT_NE(std::string::npos, run.out.find("12 views of 640x480")) << run.out;

    const Ostrevan::CameraParameters truth = Calibration::turnedHalf(ChessboardViews::strongLens());
    Ostrevan::CameraParameters written;
    ASSERT_EQ(0, Ostrevan::loadCameraParameters((scratch.path() + "camera_para.dat").c_str(), &written));
    EXPECT_NEAR(truth.projection[0][0], written.projection[0][0], 0.005 * truth.projection[0][0]);
    EXPECT_NEAR(truth.projection[1][1], written.projection[1][1], 0.005 * truth.projection[1][1]);
    EXPECT_NEAR(truth.projection[0][2], written.projection[0][2], 2.0);
    EXPECT_NEAR(truth.projection[1][2], written.projection[1][2], 2.0);
    EXPECT_NEAR(truth.distortion[2], written.distortion[2], 0.05 * truth.distortion[2]);
    // The picture shows the corners where the camera saw them, not where they lie in the turned
    // frames the views were taken from.
    const std::vector<Calibration::View> seen = findAll(spread());
    expectCoveragePicture(scratch.path() + "camera_para.coverage.png", seen,
                          Calibration::coverageOf(seen, 640, 480));

    // A camera that does not open says why.
    const ToolRun outside = runCalibrate(scratch, "--chessboard 9x6 --square 25 --camera File /etc");
    EXPECT_EQ(1, outside.status);
    EXPECT_NE(std::string::npos,
              outside.err.find("cannot open the camera File \"/etc\": path '/etc' is outside"))
        << outside.err;
}
#endif

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
