#include "TrackingTestSupport.h"
#include "tracking/camera.h"
#include "tracking/pattern.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/wait.h>

using namespace Ostrevan;

namespace {

std::string playerDir() {
    const char* dir = std::getenv("VELQUIN_PLAYER_DIR");
    return dir != nullptr ? std::string(dir) + "/" : std::string();
}

// Runs a command line; returns its exit code, its standard output and error in `output`.
int run(const std::string& command, std::string* output) {
    ScratchDirectory dir;
    const std::string log = dir.path() + "out.txt";
    const int status = std::system((command + " >'" + log + "' 2>&1").c_str());
    *output = readWholeFile(log);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The first orientation of a pattern file as a sample.
SampledPattern firstOrientation(const std::string& path) {
    std::istringstream in(readWholeFile(path));
    SampledPattern sample;
    for (int plane = 0; plane < 3; ++plane) {
        for (int r = 0; r < kPatternSize; ++r) {
            for (int c = 0; c < kPatternSize; ++c) {
                int v = 0;
                in >> v;
                sample.cells[r][c][plane] = static_cast<uint8_t>(v);
            }
        }
    }
    return sample;
}

class Tools : public testing::Test {
protected:
    void SetUp() override {
        if (!pathExists(playerDir() + "velquin-marker")) {
            GTEST_SKIP() << "tools not built";
        }
        library = TrackingTest::makeLibrary();
    }
    ScratchDirectory dir;
    std::unique_ptr<Ostrevan::Library> library; // this case's own marker library
};

TEST_F(Tools, DefaultCameraFileIs640x480With60DegreesAcrossAndAMatchingFieldOfViewValue) {
    CameraParameters camera;
    ASSERT_EQ(0, loadCameraParameters((playerDir() + "camera_para.dat").c_str(), &camera));
    EXPECT_EQ(640, camera.width);
    EXPECT_EQ(480, camera.height);
    const double focal = 320.0 / std::tan(30.0 * M_PI / 180.0);
    EXPECT_NEAR(focal, camera.projection[0][0], 1e-9);
    EXPECT_NEAR(focal, camera.projection[1][1], 1e-9);
    const double verticalDegrees = 2.0 * std::atan(240.0 / focal) * 180.0 / M_PI;
    EXPECT_NEAR(verticalDegrees, 640.0 * camera.distortion[2] / 480.0, 1e-9);

    std::string out;
    const std::string tool = playerDir() + "velquin-camera-params";
    EXPECT_EQ(0, run(tool + " --width 320 --height 240 --fov 90 '" + dir.path() + "small.dat'", &out)) << out;
    ASSERT_EQ(0, loadCameraParameters((dir.path() + "small.dat").c_str(), &camera));
    EXPECT_NEAR(160.0, camera.projection[0][0], 1e-9);
    EXPECT_EQ(2, run(tool + " --width 0 x.dat", &out));
    EXPECT_NE(std::string::npos, out.find("--width needs a number"));
    EXPECT_EQ(1, run(tool + " '" + dir.path() + "no/such/dir/x.dat'", &out));
    EXPECT_NE(std::string::npos, out.find("cannot write"));
}

TEST_F(Tools, SampleMarkersLoadAndAreTellApart) {
    const std::vector<std::string> names = {"letter-v",  "letter-f",  "marker-01",
                                            "marker-02", "marker-03", "marker-04"};
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string path = playerDir() + "markers/" + names[i] + ".pat";
        ASSERT_EQ(static_cast<int>(i), library->loadPattern(path.c_str())) << names[i];
        EXPECT_TRUE(pathExists(playerDir() + "markers/" + names[i] + ".png")) << names[i];
    }
    for (size_t i = 0; i < names.size(); ++i) {
        int id = -2;
        int direction = -2;
        double confidence = 0;
        library->matchPattern(firstOrientation(playerDir() + "markers/" + names[i] + ".pat"), &id, &direction,
                              &confidence);
        EXPECT_EQ(static_cast<int>(i), id) << names[i];
        EXPECT_EQ(0, direction) << names[i];
        EXPECT_NEAR(1.0, confidence, 1e-9) << names[i];
    }
}

TEST_F(Tools, PatternFileOfAPictureIsWhatTheDetectorSamples) {
    // A plain grey picture, written as text.
    const FrameSynth::Image picture = FrameSynth::randomPicture(8, 31);
    std::ostringstream pgm;
    pgm << "P2\n# test picture\n8 8\n255\n";
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            pgm << int(picture.at(x, y)[0]) << (x == 7 ? "\n" : " ");
        }
    }
    const std::string input = dir.write("picture.pgm", pgm.str());
    std::string out;
    ASSERT_EQ(0, run(playerDir() + "velquin-marker --size 64 '" + input + "' '" + dir.path() + "mine'", &out))
        << out;
    SampledPattern upright;
    patternOfPicture(picture.texels.data(), 8, 8, &upright);
    EXPECT_EQ(patternFileOf(upright), readWholeFile(dir.path() + "mine.pat"));
    const std::string png = readWholeFile(dir.path() + "mine.png");
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(std::string("\x89PNG\r\n\x1a\n", 8), png.substr(0, 8));

    // The pattern identifies the marker in a frame.
    ASSERT_EQ(0, library->loadPattern((dir.path() + "mine.pat").c_str()));
    FrameSynth::Scene scene;
    scene.camera = FrameSynth::standardCamera();
    FrameSynth::Marker marker;
    marker.picture = picture;
    marker.width = 80;
    FrameSynth::makePose(500, 0, 0, 2.0, 0.3, 0.0, marker.pose);
    scene.markers.push_back(marker);
    std::vector<uint8_t> frame;
    FrameSynth::render(scene, &frame);
    const std::vector<DetectedMarker> found = TrackingTest::detect(*library, frame);
    ASSERT_EQ(1u, found.size());
    EXPECT_EQ(0, found[0].id);
    EXPECT_GT(found[0].confidence, 0.9);
}

TEST_F(Tools, MarkerMakerExplainsItselfAndFailsClearly) {
    const std::string tool = playerDir() + "velquin-marker";
    std::string out;
    EXPECT_EQ(0, run(tool + " --help", &out));
    EXPECT_EQ(0u, out.find("Usage: velquin-marker"));
    EXPECT_EQ(1, run(tool + " '" + dir.path() + "missing.png' '" + dir.path() + "x'", &out));
    EXPECT_NE(std::string::npos, out.find("missing.png: cannot open it")) << out;
    EXPECT_EQ(1,
              run(tool + " '" + dir.write("bad.pbm", "P1\n4 4\n0 1 0\n") + "' '" + dir.path() + "x'", &out));
    EXPECT_NE(std::string::npos, out.find("bad.pbm: the bitmap ends early")) << out;
    EXPECT_EQ(1, run(tool + " '" + dir.write("picture.gif", "GIF89a") + "' '" + dir.path() + "x'", &out));
    EXPECT_NE(std::string::npos, out.find("unknown picture type")) << out;
    EXPECT_EQ(2, run(tool + " --frobnicate", &out));
    EXPECT_EQ(2, run(tool + " only-one-operand", &out));
    EXPECT_EQ(1, run(tool + " --generate 0 '" + dir.path() + "'", &out));
    EXPECT_FALSE(pathExists(dir.path() + "x.pat"));

    ASSERT_EQ(0, run(tool + " --generate 3 --prefix set- '" + dir.path() + "'", &out)) << out;
    for (const char* n : {"01", "02", "03"}) {
        EXPECT_GE(library->loadPattern((dir.path() + "set-" + n + ".pat").c_str()), 0) << n;
        EXPECT_TRUE(pathExists(dir.path() + "set-" + n + ".png")) << n;
    }
}

} // namespace
