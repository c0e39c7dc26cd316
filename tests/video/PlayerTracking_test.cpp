// Trackers and the camera in either order: a tracker made before the camera starts, a project
// loaded before it, and a camera switched in the middle of a show; in each case the recorded
// camera finds the marker and the connected actor shows. And content drawn on a marker near the
// picture's corner, where the lens bends the picture most.
#include "support/PlayerPicture.h"
#include "support/PlayerSession.h"
#include "support/Wait.h"
#include "tracking/detection.h"
#include "tracking/framesynth.h"
#include "tracking/pattern.h"
#include "tracking/pose.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

using nettest::Client;

TEST(PlayerTracking, TrackersOutliveCameraSetUp) {
    ScratchDirectory scratch;
    PlayerSession session(scratch);
    ASSERT_TRUE(session.ready());
    PlayerProcess& player = session.process();
    auto commandClient = session.open("command");
    ASSERT_TRUE(commandClient);
    ASSERT_TRUE(session.upload(
        "letter-f.pat", readWholeFile(PlayerProcess::builtPlayerDirectory() + "/markers/letter-f.pat")));
    Client& command = *commandClient;

    // Tracker and actor first, camera after.
    EXPECT_EQ(reply(command, "project.trackers.AR.create(\"live\", \"letter-f.pat\", 80);"), "ok");
    EXPECT_EQ(reply(command, "project.actors.light.create(\"lamp\");"), "ok");
    EXPECT_EQ(reply(command, "project.actors.light.connect(\"lamp\", \"live\");"), "ok");
    EXPECT_EQ(reply(command, "project.videocapture.init(\"File\", \"frames@30\");"), "ok");
    EXPECT_EQ(player.waitForLine("LightActor::activated!", 20000), "LightActor::activated!")
        << player.output();

    // Another camera in the middle of the show: the actor hides with the old pictures and
    // follows the marker again in the new ones.
    EXPECT_EQ(reply(command, "project.videocapture.init(\"File\", \"frames@25\");"), "ok");
    EXPECT_EQ(player.waitForLine("LightActor::deactivated", 20000), "LightActor::deactivated");
    EXPECT_EQ(player.waitForLine("LightActor::activated!", 20000), "LightActor::activated!")
        << player.output();

    // A project document holds no camera: saved, cleared, loaded without one, then the camera.
    EXPECT_EQ(reply(command, "project.videocapture.done();"), "ok");
    EXPECT_EQ(reply(command, "project.save(\"show\");"), "ok");
    EXPECT_EQ(reply(command, "project.new();"), "ok");
    EXPECT_EQ(reply(command, "project.load(\"show.zip\");"), "ok");
    EXPECT_EQ(reply(command, "project.actors.light.getTrackerName(\"lamp\");"), "\"live\"");
    EXPECT_EQ(reply(command, "project.videocapture.init(\"File\", \"frames@30\");"), "ok");
    EXPECT_EQ(player.waitForLine("LightActor::activated!", 20000), "LightActor::activated!")
        << player.output();

    EXPECT_EQ(session.close(), 0) << session.process().output();
}

// A marker near the corner of the picture, where the lens bends it most: the content drawn on it
// lies where the picture shows the marker, and the pose found in that picture is the true one.
TEST(PlayerTracking, ContentLiesOnTheMarkerNearTheFrameCorner) {
    const std::string player = PlayerProcess::builtPlayerDirectory();
    Ostrevan::CameraParameters file;
    Ostrevan::CameraParameters camera;
    ASSERT_EQ(Ostrevan::loadCameraParameters((player + "/camera_para.dat").c_str(), &file), 0);
    ASSERT_EQ(Ostrevan::scaleCameraParameters(file, 640, 480, &camera), 0);
    ASSERT_GE(camera.distortion[2], 30.0); // the lens this test is about

    // The marker's centre 110 and 95 pixels from the picture's left and top edges.
    FrameSynth::Scene scene;
    scene.camera = camera;
    scene.background[0] = scene.background[1] = scene.background[2] = 190;
    FrameSynth::Marker marker;
    marker.picture = FrameSynth::randomPicture(8, 77);
    marker.width = 80;
    const double distance = 700;
    const double f = camera.projection[0][0];
    FrameSynth::makePose(distance, (110 - camera.projection[0][2]) / f * distance,
                         (95 - camera.projection[1][2]) / camera.projection[1][1] * distance, 0.3, 0.35, 0.8,
                         marker.pose);
    scene.markers.push_back(marker);
    std::vector<uint8_t> frame;
    FrameSynth::render(scene, &frame);

    // The pose the tracker finds in that picture.
    Ostrevan::Library library;
    library.setDetectorCamera(camera);
    ScratchDirectory scratch;
    Ostrevan::SampledPattern upright;
    Ostrevan::patternOfPicture(marker.picture.texels.data(), 8, 8, &upright);
    const std::string patternText = Ostrevan::patternFileOf(upright);
    const int slot = library.loadPattern(scratch.write("corner.pat", patternText).c_str());
    ASSERT_GE(slot, 0);
    Ostrevan::FrameView view;
    view.pixels = frame.data();
    view.width = 640;
    view.height = 480;
    const auto markers = library.detectMarkers(view, 100);
    ASSERT_TRUE(markers);
    ASSERT_EQ(markers->size(), 1u);
    ASSERT_EQ(markers->front().id, slot);
    const double centre[2] = {0.0, 0.0};
    double pose[3][4];
    ASSERT_GE(library.estimatePose(markers->front(), centre, 80.0, pose), 0.0);
    double error = 0.0;
    for (int i = 0; i < 3; ++i) {
        error += (pose[i][3] - marker.pose[i][3]) * (pose[i][3] - marker.pose[i][3]);
    }
    const double truth =
        std::sqrt(marker.pose[0][3] * marker.pose[0][3] + marker.pose[1][3] * marker.pose[1][3] +
                  marker.pose[2][3] * marker.pose[2][3]);
    EXPECT_LT(std::sqrt(error) / truth, 0.015);

    // The picture as a camera file: devices hand frames on turned by 180 degrees, so the file
    // holds it turned the other way and the tracker sees the frame rendered above.
    std::string ppm = "P6\n640 480\n255\n";
    for (int y = 479; y >= 0; --y) {
        for (int x = 639; x >= 0; --x) {
            const uint8_t* p = &frame[(static_cast<size_t>(y) * 640 + x) * 4];
            ppm += static_cast<char>(p[2]);
            ppm += static_cast<char>(p[1]);
            ppm += static_cast<char>(p[0]);
        }
    }

    PlayerSession session(scratch);
    ASSERT_TRUE(session.ready());
    auto commandClient = session.open("command");
    ASSERT_TRUE(commandClient);
    Client& command = *commandClient;
    ASSERT_TRUE(session.upload("corner.ppm", ppm));
    ASSERT_TRUE(session.upload("corner.pat", patternText));
    ASSERT_TRUE(session.upload("plate.zip", readWholeFile(player + "/samples/plate.zip")));
    EXPECT_EQ(reply(command, "project.resources.create(\"plate\", \"plate.zip\");"), "ok");
    EXPECT_EQ(reply(command, "project.actors.mesh.create(\"plate\", \"plate\", \"plate.mesh\");"), "ok");
    EXPECT_EQ(reply(command, "project.videocapture.init(\"File\", \"corner.ppm@10\");"), "ok");
    // The splash leaves after its first second (later under the sanitizers): wait for the marker.
    const auto dark = [](const unsigned char* p) { return p[0] < 90 && p[1] < 90 && p[2] < 90; };
    const auto red = [](const unsigned char* p) { return p[0] > 150 && p[1] < 90 && p[2] < 90; };
    RgbImage picture;
    Box square;
    testwait::waitUntil(
        [&] {
            picture = XTestDisplay::grab(session.window());
            square = boxOf(picture, dark);
            return !square.empty() && square.right - square.left < picture.width / 3;
        },
        std::chrono::seconds(30), std::chrono::milliseconds(50));
    ASSERT_GT(picture.width, 0);
    EXPECT_EQ(reply(command, "project.trackers.AR.create(\"corner\", \"corner.pat\", 80);"), "ok");
    EXPECT_EQ(reply(command, "project.actors.mesh.connect(\"plate\", \"corner\");"), "ok");
    PlayerProcess& process = session.process();
    EXPECT_EQ(process.waitForLine("MeshActor::activated!", 20000), "MeshActor::activated!")
        << process.output();
    Box plate;
    testwait::waitUntil(
        [&] {
            plate = boxOf(XTestDisplay::grab(session.window()), red);
            return !plate.empty();
        },
        std::chrono::seconds(10), std::chrono::milliseconds(50));

    // The black square as the background shows it, and the red plate drawn over it; compared in
    // pixels of the camera picture.
    ASSERT_FALSE(square.empty());
    ASSERT_FALSE(plate.empty());
    const double scale = 640.0 / picture.width;
    EXPECT_NEAR(plate.left * scale, square.left * scale, 1.5);
    EXPECT_NEAR(plate.right * scale, square.right * scale, 1.5);
    EXPECT_NEAR(plate.top * scale, square.top * scale, 1.5);
    EXPECT_NEAR(plate.bottom * scale, square.bottom * scale, 1.5);
    // Near a corner (the screen shows the frame turned): within 200 pixels of two edges.
    EXPECT_TRUE(square.right * scale < 200 || square.left * scale > 440);
    EXPECT_TRUE(square.bottom * scale < 200 || square.top * scale > 280);
    std::printf("square %d %d %d %d, plate %d %d %d %d (screen pixels, %d wide)\n", square.left, square.top,
                square.right, square.bottom, plate.left, plate.top, plate.right, plate.bottom, picture.width);

    EXPECT_EQ(session.close(), 0) << session.process().output();
}
