// The tracking manager over synthesized camera frames, and the AR trackers that pass its notices
// on to actors.
#include "TrackingTestSupport.h"
#include "project/TrackerListener.h"
#include "project/TrackerManager.h"
#include "tracking/Manager.h"

#include <cmath>

namespace {

// Writes the standard camera to a camera file.
std::string writeCamera(const ScratchDirectory& dir, double distortion = 0.0) {
    const std::string path = dir.path() + "camera_para.dat";
    Ostrevan::saveCameraParameters(path.c_str(), FrameSynth::standardCamera(distortion));
    return path;
}

struct Notices : Ostrevan::TargetListener {
    std::vector<std::string> heard;
    double position[3] = {};
    void lost() override { heard.push_back("lost"); }
    void found() override { heard.push_back("found"); }
    void moved(double x, double y, double z, double, double, double, double) override {
        heard.push_back("moved");
        position[0] = x;
        position[1] = y;
        position[2] = z;
    }
};

class ManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        picture = FrameSynth::randomPicture(6, 11);
        patternPath = TrackingTest::writePatternFile(scratch, "target.patt", picture);
        ASSERT_TRUE(manager.initialise(640, 480, 4, writeCamera(scratch)));
    }

    std::vector<uint8_t> frameWithMarker(double distance, double x) {
        FrameSynth::Scene scene;
        scene.camera = FrameSynth::standardCamera();
        FrameSynth::Marker marker;
        marker.picture = picture;
        marker.width = 80;
        FrameSynth::makePose(distance, x, 0, 0.2, 0.3, 0.5, marker.pose);
        scene.markers.push_back(marker);
        std::vector<uint8_t> frame;
        FrameSynth::render(scene, &frame);
        return frame;
    }

    ScratchDirectory scratch;
    FrameSynth::Image picture;
    std::string patternPath;
    Ostrevan::Manager manager;
};

} // namespace

TEST_F(ManagerTest, FoundMovedLostAndFromScratchAfterAGap) {
    Notices notices;
    Ostrevan::Target target(patternPath, 80);
    target.addListener(&notices);
    manager.registerTarget(&target);

    const std::vector<uint8_t> seen = frameWithMarker(500, 40);
    const std::vector<uint8_t> empty(640 * 480 * 4, 220);
    manager.processFrame(seen.data());
    manager.processFrame(seen.data());
    // The history keeps listing a marker for two missing frames (at its last place); the third
    // reports it lost.
    for (int i = 0; i < 3; ++i) {
        manager.processFrame(empty.data());
    }
    manager.processFrame(seen.data());
    const std::vector<std::string> expected = {"found", "moved", "moved", "moved",
                                               "moved", "lost",  "found", "moved"};
    EXPECT_EQ(notices.heard, expected);
    EXPECT_NEAR(notices.position[0], 40, 8);
    EXPECT_NEAR(notices.position[2], 500, 25);

    manager.unregisterTarget(&target);
    manager.processFrame(seen.data());
    EXPECT_EQ(notices.heard.size(), expected.size());
}

TEST_F(ManagerTest, TargetsOutliveCameraChangesAndAnUnloadedPatternFindsNothing) {
    Notices notices;
    Ostrevan::Target target(patternPath, 80);
    target.addListener(&notices);
    // Registered before any camera: followed once the camera is there.
    Ostrevan::Manager fresh;
    fresh.registerTarget(&target);
    const std::vector<uint8_t> seen = frameWithMarker(500, 0);
    fresh.processFrame(seen.data());
    EXPECT_TRUE(notices.heard.empty());
    ASSERT_TRUE(fresh.initialise(640, 480, 4, writeCamera(scratch)));
    fresh.processFrame(seen.data());
    EXPECT_EQ(notices.heard, (std::vector<std::string>{"found", "moved"}));
    fresh.unregisterTarget(&target);
    notices.heard.clear();

    // A camera switched while the marker is in view: lost at once, found again in the new
    // pictures; stopping the camera reports it lost too and keeps the target.
    manager.registerTarget(&target);
    manager.processFrame(seen.data());
    ASSERT_TRUE(manager.initialise(640, 480, 4, writeCamera(scratch, 20.0)));
    manager.processFrame(seen.data());
    manager.finalise();
    ASSERT_TRUE(manager.initialise(640, 480, 4, writeCamera(scratch)));
    manager.processFrame(seen.data());
    EXPECT_EQ(notices.heard, (std::vector<std::string>{"found", "moved", "lost", "found", "moved", "lost",
                                                       "found", "moved"}));
    manager.unregisterTarget(&target);

    // A pattern that does not load must not claim the squares nobody recognises.
    Notices unloaded;
    Ostrevan::Target missing(scratch.path() + "missing.patt", 80);
    missing.addListener(&unloaded);
    manager.registerTarget(&missing);
    FrameSynth::Image other = FrameSynth::randomPicture(6, 99);
    FrameSynth::Scene scene;
    scene.camera = FrameSynth::standardCamera();
    FrameSynth::Marker marker;
    marker.picture = other;
    marker.width = 80;
    FrameSynth::makePose(500, 0, 0, 0, 0, 0, marker.pose);
    scene.markers.push_back(marker);
    std::vector<uint8_t> frame;
    FrameSynth::render(scene, &frame);
    manager.processFrame(frame.data());
    EXPECT_TRUE(unloaded.heard.empty());
    manager.unregisterTarget(&missing);
}

TEST_F(ManagerTest, AutomaticThresholdAndFieldOfView) {
    const std::vector<uint8_t> black(640 * 480 * 4, 0);
    const std::vector<uint8_t> white(640 * 480 * 4, 255);
    EXPECT_EQ(manager.automaticThreshold(black.data()), 0);
    EXPECT_EQ(manager.automaticThreshold(white.data()), 0);
    std::vector<uint8_t> halves(640 * 480 * 4, 0);
    std::fill(halves.begin(), halves.begin() + static_cast<long>(halves.size() / 2), 255);
    EXPECT_EQ(manager.automaticThreshold(halves.data()), 127);

    manager.automatic = true;
    manager.processFrame(halves.data());
    EXPECT_EQ(manager.threshold, 127);

    // Automatic mode follows a marker printed in grey ink (black at 150) on white paper, and
    // reports a level between ink and paper; manual mode keeps its level and misses it.
    Notices notices;
    Ostrevan::Target target(patternPath, 80);
    target.addListener(&notices);
    manager.registerTarget(&target);
    FrameSynth::Scene scene;
    scene.camera = FrameSynth::standardCamera();
    scene.background[0] = scene.background[1] = scene.background[2] = 240;
    FrameSynth::Marker marker;
    marker.picture = picture;
    marker.width = 80;
    marker.ink = 150;
    FrameSynth::makePose(450, 20, 0, 0.2, 0.3, 0.5, marker.pose);
    scene.markers.push_back(marker);
    std::vector<uint8_t> grey;
    FrameSynth::render(scene, &grey);
    manager.processFrame(grey.data());
    EXPECT_EQ(notices.heard, (std::vector<std::string>{"found", "moved"}));
    EXPECT_GT(manager.threshold, 150);
    EXPECT_LT(manager.threshold, 240);
    manager.threshold = 100;
    manager.automatic = false;
    for (int i = 0; i < 3; ++i) {
        manager.processFrame(grey.data());
    }
    EXPECT_EQ(notices.heard.back(), "lost");
    EXPECT_EQ(manager.threshold, 100);
    manager.unregisterTarget(&target);

    ASSERT_TRUE(manager.initialise(640, 480, 4, writeCamera(scratch, 30.0)));
    EXPECT_DOUBLE_EQ(manager.verticalFieldOfView(), 40.0);
    EXPECT_FALSE(manager.initialise(640, 480, 4, scratch.path() + "missing.dat"));
    manager.finalise();
    manager.processFrame(halves.data()); // finalised: nothing happens
}

namespace {
struct ActorDouble : TrackerListener {
    std::vector<std::string> heard;
    float orientation[4] = {};
    void activated() override { heard.push_back("activated"); }
    void deactivated() override { heard.push_back("deactivated"); }
    void setPosePosition(float, float, float) override { heard.push_back("position"); }
    void setPoseOrientation(float w, float x, float y, float z) override {
        heard.push_back("orientation");
        orientation[0] = w;
        orientation[1] = x;
        orientation[2] = y;
        orientation[3] = z;
    }
};
} // namespace

TEST_F(ManagerTest, TrackersConjugateTheOrientationAndKeepTheirNamesUnique) {
    TrackerManager trackers(&manager, scratch.path());
    ARTracker* tracker = trackers.createAR("hiro", "target.patt", 80);
    ASSERT_NE(tracker, nullptr);
    EXPECT_EQ(trackers.createAR("hiro", "target.patt", 40), nullptr);
    EXPECT_EQ(trackers.findAR("hiro")->width(), 80);
    EXPECT_EQ(trackers.createAR("outside", "../target.patt", 80), nullptr);

    ActorDouble first, second;
    tracker->addListener(&first);
    tracker->addListener(&second);
    tracker->addListener(&first);
    tracker->found();
    tracker->moved(1, 2, 3, 0.5, 0.1, -0.2, 0.3);
    tracker->removeListener(&second);
    tracker->lost();
    EXPECT_EQ(first.heard, (std::vector<std::string>{"activated", "position", "orientation", "deactivated"}));
    EXPECT_EQ(second.heard, (std::vector<std::string>{"activated", "position", "orientation"}));
    EXPECT_FLOAT_EQ(first.orientation[0], 0.5f);
    EXPECT_FLOAT_EQ(first.orientation[1], -0.1f);
    EXPECT_FLOAT_EQ(first.orientation[2], 0.2f);
    EXPECT_FLOAT_EQ(first.orientation[3], -0.3f);

    EXPECT_EQ(trackers.getTrackerNames(), (std::set<std::string>{"hiro"}));
    trackers.destroy("hiro");
    trackers.destroy("absent");
    EXPECT_TRUE(trackers.getTrackerNames().empty());
}

TEST(Manager, StartsInManualModeAtLevel100) {
    // What a new project's "project.videocapture.threshold.getValue" answers before anyone set it.
    const Ostrevan::Manager fresh;
    EXPECT_EQ(fresh.threshold, 100);
    EXPECT_FALSE(fresh.automatic);
}
