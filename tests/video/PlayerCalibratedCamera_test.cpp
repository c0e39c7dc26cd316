// From a printed chessboard to content on markers, through a lens that bends the picture by a
// tenth at its corners: views of the board calibrated as velquin-calibrate does, the camera file
// installed in the player's folder, and frames of markers taken through the same lens played by
// the File camera. The plates drawn on the markers lie on them at the picture's centre and at
// its corners, and the picture fills the window.
#include "Calibration.h"
#include "support/ChessboardViews.h"
#include "support/PlayerFolder.h"
#include "support/PlayerPicture.h"
#include "support/PlayerSession.h"
#include "support/Wait.h"
#include "tracking/camera.h"
#include "tracking/framesynth.h"
#include "tracking/pattern.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

using nettest::Client;

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kMarkers = 5;
// Bands round the frame's edge: magenta in the outermost pixels, light green inward from there.
// Through this lens the window's edge shows frame pixels 4 to 33 from the frame's edge: the
// frame's ideal picture is wider than the window (fx and fy differ), so its height shows a few
// rows beyond the ideal frame's edge, which the lens has pulled inside the picture.
constexpr int kMagenta = 3;
constexpr int kGreen = 40;

// The camera file of the lens, calibrated from twelve views of the board.
bool calibrate(const Ostrevan::CameraParameters& lens, Ostrevan::CameraParameters* file) {
    std::vector<Calibration::View> views;
    for (const cv::Mat& picture : ChessboardViews::spreadViews(lens)) {
        Calibration::View view;
        if (Calibration::findBoard(picture.data, picture.cols, picture.rows, ChessboardViews::kBoard,
                                   &view)) {
            views.push_back(view);
        }
    }
    Calibration::Result result;
    std::string error;
    if (views.size() != 12 ||
        !Calibration::calibrate(views, ChessboardViews::kBoard, kWidth, kHeight, &result, &error) ||
        !result.warnings.empty()) {
        return false;
    }
    std::printf("lens fx %.2f fy %.2f centre %.2f %.2f f %.2f; calibrated fx %.2f fy %.2f centre %.2f %.2f "
                "f %.2f, RMS %.3f px\n",
                lens.projection[0][0], lens.projection[1][1], lens.projection[0][2], lens.projection[1][2],
                lens.distortion[2], result.camera.projection[0][0], result.camera.projection[1][1],
                result.camera.projection[0][2], result.camera.projection[1][2], result.camera.distortion[2],
                result.rms);
    // The player's cameras hand frames on turned by 180 degrees, and the file describes them so.
    *file = Calibration::turnedHalf(result.camera);
    return true;
}

// Pixels of the frame's edge bands, by their distance from the nearest edge.
void paintEdgeBands(std::vector<uint8_t>* frame) {
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const int edge = std::min(std::min(x, kWidth - 1 - x), std::min(y, kHeight - 1 - y));
            uint8_t* p = &(*frame)[(static_cast<size_t>(y) * kWidth + x) * 4];
            if (edge < kMagenta) {
                p[0] = 230; // B, G, R
                p[1] = 60;
                p[2] = 230;
            } else if (edge < kGreen) {
                p[0] = 150;
                p[1] = 230;
                p[2] = 150;
            }
        }
    }
}

bool isMagenta(const unsigned char* p) {
    return p[0] > p[1] + 60 && p[2] > p[1] + 60;
}

bool isGreen(const unsigned char* p) {
    return p[1] > p[0] + 40 && p[1] > p[2] + 40;
}

} // namespace

TEST(PlayerCalibratedCamera, PlatesLieOnTheMarkersAtTheCentreAndTheCornersAndThePictureFillsTheWindow) {
    // The lens as photographs taken with the camera show it; the tracker sees the frames turned.
    const Ostrevan::CameraParameters lens = ChessboardViews::strongLens();
    Ostrevan::CameraParameters file;
    ASSERT_TRUE(calibrate(lens, &file));
    ScratchDirectory scratch;
    const std::string folder = makePlayerFolder(scratch, {"camera_para.dat"});
    ASSERT_FALSE(folder.empty());
    ASSERT_EQ(0, Ostrevan::saveCameraParameters((folder + "/camera_para.dat").c_str(), file));

    // Markers at the centre and near the four corners, where the lens moves the picture by up to
    // 8 pixels, each turned and tilted its own way.
    FrameSynth::Scene scene;
    scene.camera = Calibration::turnedHalf(lens);
    scene.background[0] = scene.background[1] = scene.background[2] = 190;
    const double places[kMarkers][2] = {{320, 240}, {125, 115}, {515, 115}, {125, 365}, {515, 365}};
    std::vector<std::string> patterns;
    for (int m = 0; m < kMarkers; ++m) {
        FrameSynth::Marker marker;
        marker.picture = FrameSynth::randomPicture(8, 31 + m);
        marker.width = 80;
        const double distance = 650;
        const double* P0 = scene.camera.projection[0];
        const double* P1 = scene.camera.projection[1];
        FrameSynth::makePose(distance, (places[m][0] - P0[2]) / P0[0] * distance,
                             (places[m][1] - P1[2]) / P1[1] * distance, 0.4 * m, 0.3, 1.1 * m, marker.pose);
        scene.markers.push_back(marker);
        Ostrevan::SampledPattern upright;
        Ostrevan::patternOfPicture(marker.picture.texels.data(), 8, 8, &upright);
        patterns.push_back(Ostrevan::patternFileOf(upright));
    }
    std::vector<uint8_t> frame;
    FrameSynth::render(scene, &frame);
    paintEdgeBands(&frame);
    // The recording holds the frame as the camera took it, turned back.
    std::string ppm = "P6\n640 480\n255\n";
    for (int y = kHeight - 1; y >= 0; --y) {
        for (int x = kWidth - 1; x >= 0; --x) {
            const uint8_t* p = &frame[(static_cast<size_t>(y) * kWidth + x) * 4];
            ppm += static_cast<char>(p[2]);
            ppm += static_cast<char>(p[1]);
            ppm += static_cast<char>(p[0]);
        }
    }

    PlayerSession session(scratch, "", folder);
    ASSERT_TRUE(session.ready());
    auto commandClient = session.open("command");
    ASSERT_TRUE(commandClient);
    Client& command = *commandClient;
    ASSERT_TRUE(session.upload("lens.ppm", ppm));
    for (int m = 0; m < kMarkers; ++m) {
        ASSERT_TRUE(session.upload("m" + std::to_string(m) + ".pat", patterns[m]));
    }
    ASSERT_TRUE(session.upload("plate.zip",
                               readWholeFile(PlayerProcess::builtPlayerDirectory() + "/samples/plate.zip")));
    EXPECT_EQ(reply(command, "project.resources.create(\"plate\", \"plate.zip\");"), "ok");
    EXPECT_EQ(reply(command, "project.videocapture.init(\"File\", \"lens.ppm@10\");"), "ok");

    // The window in a 3 x 3 grid: a marker in the middle cell and in each corner cell.
    const auto dark = [](const unsigned char* p) { return p[0] < 90 && p[1] < 90 && p[2] < 90; };
    const auto red = [](const unsigned char* p) { return p[0] > 150 && p[1] < 90 && p[2] < 90; };
    const int cells[kMarkers][2] = {{1, 1}, {0, 0}, {2, 0}, {0, 2}, {2, 2}};
    auto boxesOf = [&](const RgbImage& picture, const std::function<bool(const unsigned char*)>& kind) {
        std::vector<Box> boxes;
        for (const auto& cell : cells) {
            const int w = picture.width / 3;
            const int h = picture.height / 3;
            boxes.push_back(
                boxOf(picture, kind, cell[0] * w, cell[1] * h, (cell[0] + 1) * w, (cell[1] + 1) * h));
        }
        return boxes;
    };
    // Every cell holds one, smaller than the cell (not the splash, not a dark window).
    auto allFound = [](const RgbImage& picture, const std::vector<Box>& boxes) {
        if (boxes.size() != static_cast<size_t>(kMarkers)) {
            return false;
        }
        for (const Box& box : boxes) {
            if (box.empty() || box.right - box.left > picture.width / 4 ||
                box.bottom - box.top > picture.height / 4) {
                return false;
            }
        }
        return true;
    };
    // The splash leaves after its first second (later under the sanitizers).
    RgbImage picture;
    std::vector<Box> squares;
    testwait::waitUntil(
        [&] {
            picture = XTestDisplay::grab(session.window());
            squares = boxesOf(picture, dark);
            return allFound(picture, squares);
        },
        std::chrono::seconds(30), std::chrono::milliseconds(100));
    ASSERT_TRUE(allFound(picture, squares));

    // The picture fills the window: its edge shows the green band, nowhere the frame's outermost
    // pixels nor anything beyond them.
    int edgePixels = 0;
    int green = 0;
    int outside = 0;
    for (int x = 0; x < picture.width; ++x) {
        for (int y : {0, picture.height - 1}) {
            ++edgePixels;
            green += isGreen(picture.at(x, y)) ? 1 : 0;
            outside += isMagenta(picture.at(x, y)) || dark(picture.at(x, y)) ? 1 : 0;
        }
    }
    for (int y = 0; y < picture.height; ++y) {
        for (int x : {0, picture.width - 1}) {
            ++edgePixels;
            green += isGreen(picture.at(x, y)) ? 1 : 0;
            outside += isMagenta(picture.at(x, y)) || dark(picture.at(x, y)) ? 1 : 0;
        }
    }
    EXPECT_EQ(0, outside);
    EXPECT_EQ(edgePixels, green);

    for (int m = 0; m < kMarkers; ++m) {
        const std::string name = "m" + std::to_string(m);
        EXPECT_EQ(reply(command, "project.trackers.AR.create(\"" + name + "\", \"" + name + ".pat\", 80);"),
                  "ok");
        EXPECT_EQ(reply(command, "project.actors.mesh.create(\"" + name + "\", \"plate\", \"plate.mesh\");"),
                  "ok");
        EXPECT_EQ(reply(command, "project.actors.mesh.connect(\"" + name + "\", \"" + name + "\");"), "ok");
    }
    PlayerProcess& process = session.process();
    for (int m = 0; m < kMarkers; ++m) {
        EXPECT_EQ(process.waitForLine("MeshActor::activated!", 20000), "MeshActor::activated!")
            << process.output();
    }
    std::vector<Box> plates;
    testwait::waitUntil(
        [&] {
            plates = boxesOf(XTestDisplay::grab(session.window()), red);
            return allFound(picture, plates);
        },
        std::chrono::seconds(10), std::chrono::milliseconds(100));
    ASSERT_TRUE(allFound(picture, plates));

    // Compared in pixels of the camera picture.
    const double scale = static_cast<double>(kWidth) / picture.width;
    const char* where[kMarkers] = {"centre", "corner", "corner", "corner", "corner"};
    for (int m = 0; m < kMarkers; ++m) {
        EXPECT_NEAR(plates[m].left * scale, squares[m].left * scale, 1.5) << where[m] << " " << m;
        EXPECT_NEAR(plates[m].right * scale, squares[m].right * scale, 1.5) << where[m] << " " << m;
        EXPECT_NEAR(plates[m].top * scale, squares[m].top * scale, 1.5) << where[m] << " " << m;
        EXPECT_NEAR(plates[m].bottom * scale, squares[m].bottom * scale, 1.5) << where[m] << " " << m;
        std::printf("%s: square %d %d %d %d, plate %d %d %d %d (window pixels, %d wide)\n", where[m],
                    squares[m].left, squares[m].top, squares[m].right, squares[m].bottom, plates[m].left,
                    plates[m].top, plates[m].right, plates[m].bottom, picture.width);
    }

    EXPECT_EQ(session.close(), 0) << session.process().output();
}
