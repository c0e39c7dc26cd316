#include "TrackingTestSupport.h"
#include "tracking/pose.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <vector>

using namespace Ostrevan;

namespace {

constexpr double kDegree = M_PI / 180.0;

// Angle of the rotation that takes one rotation (the left 3 x 3 of a pose) to the other.
double rotationError(const double a[3][4], const double b[3][4]) {
    double trace = 0.0;
    for (int i = 0; i < 3; ++i) {
        for (int k = 0; k < 3; ++k) {
            trace += a[k][i] * b[k][i];
        }
    }
    return std::acos(std::fmax(-1.0, std::fmin(1.0, (trace - 1.0) / 2.0))) / kDegree;
}

double translationError(const double a[3][4], const double b[3][4]) {
    return std::sqrt(std::pow(a[0][3] - b[0][3], 2) + std::pow(a[1][3] - b[1][3], 2) +
                     std::pow(a[2][3] - b[2][3], 2));
}

DetectedMarker quadrilateral(const double corners[4][2], int direction) {
    DetectedMarker m;
    m.area = 10000;
    m.id = 0;
    m.direction = direction;
    m.confidence = 1.0;
    for (int i = 0; i < 4; ++i) {
        std::memcpy(m.corners[i], corners[i], sizeof m.corners[i]);
        const double* p = corners[i];
        const double* q = corners[(i + 1) % 4];
        m.lines[i][0] = q[1] - p[1];
        m.lines[i][1] = p[0] - q[0];
        m.lines[i][2] = -(m.lines[i][0] * p[0] + m.lines[i][1] * p[1]);
    }
    return m;
}

class Pose : public testing::Test {
protected:
    void SetUp() override { library = TrackingTest::makeLibrary(); }

    // Renders one marker at a pose and returns the detected marker of pattern 0.
    bool detectAt(const double pose[3][4], double distortionFactor, DetectedMarker* out, double noise = 0.0) {
        FrameSynth::Scene scene;
        scene.camera = FrameSynth::standardCamera(distortionFactor);
        scene.noise = noise;
        FrameSynth::Marker marker;
        marker.picture = FrameSynth::randomPicture(8, 21);
        marker.width = 80;
        std::memcpy(marker.pose, pose, sizeof marker.pose);
        scene.markers.push_back(marker);
        std::vector<uint8_t> frame;
        FrameSynth::render(scene, &frame);
        // Poses of one test are far apart: no marker may inherit another pose's identity.
        TrackingTest::forgetHistory(*library);
        for (const DetectedMarker& m : TrackingTest::detect(*library, frame)) {
            if (m.id == 0) {
                *out = m;
                return true;
            }
        }
        return false;
    }

    void loadPicture() {
        ASSERT_EQ(
            0, library->loadPattern(
                   TrackingTest::writePatternFile(dir, "p.pat", FrameSynth::randomPicture(8, 21)).c_str()));
    }

    ScratchDirectory dir;
    std::unique_ptr<Ostrevan::Library> library; // this case's own marker library
};

// Corners refined on the picture's edges and a pose fitted to the undistorted corners: the
// position within 1.5 % of the distance anywhere in the frame (0.7 % on average), lens or not.
TEST_F(Pose, RecoveredPosesAreNearTheTrueOnes) {
    const double centre[2] = {0.0, 0.0};
    for (double factor : {0.0, 35.0}) {
        library = TrackingTest::makeLibrary(factor);
        loadPicture();
        double worstRotation = 0.0;
        double worstTranslation = 0.0;
        double sumRotation = 0.0;
        double sumTranslation = 0.0;
        int poses = 0;
        for (double distance : {300.0, 550.0, 800.0}) {
            for (double tilt : {0.0, 20.0, 40.0, 60.0}) {
                for (double roll : {0.4, 2.5}) {
                    for (double axis : {0.3, 2.0}) {
                        double truth[3][4];
                        FrameSynth::makePose(distance, 0.12 * distance * std::cos(axis + roll),
                                             0.08 * distance * std::sin(3 * axis), roll, tilt * kDegree, axis,
                                             truth);
                        DetectedMarker marker;
                        ASSERT_TRUE(detectAt(truth, factor, &marker))
                            << "distance " << distance << " tilt " << tilt << " roll " << roll << " axis "
                            << axis;
                        double pose[3][4];
                        ASSERT_GE(library->estimatePose(marker, centre, 80.0, pose), 0.0);
                        const double r = rotationError(pose, truth);
                        const double t = translationError(pose, truth) / distance * 100.0;
                        EXPECT_LT(r, 2.0) << "distance " << distance << " tilt " << tilt << " roll " << roll;
                        EXPECT_LT(t, 1.5) << "distance " << distance << " tilt " << tilt << " roll " << roll;
                        worstRotation = std::fmax(worstRotation, r);
                        worstTranslation = std::fmax(worstTranslation, t);
                        sumRotation += r;
                        sumTranslation += t;
                        ++poses;
                    }
                }
            }
        }
        EXPECT_LT(sumRotation / poses, 1.0);
        EXPECT_LT(sumTranslation / poses, 0.7);
        std::printf("pose error over %d poses (distortion factor %.0f): rotation mean %.2f max %.2f degrees, "
                    "position mean %.2f max %.2f %% of distance\n",
                    poses, factor, sumRotation / poses, worstRotation, sumTranslation / poses,
                    worstTranslation);
    }
}

TEST_F(Pose, RefinementStopsEarlyBelowOneAndOtherwiseRunsFiveTimes) {
    loadPicture();
    double truth[3][4];
    FrameSynth::makePose(500, 10, -5, 0.3, 0.0, 0.0, truth);
    DetectedMarker marker;
    ASSERT_TRUE(detectAt(truth, 0.0, &marker));
    const double centre[2] = {0.0, 0.0};
    double pose[3][4];
    int refinements = 0;
    const double error = library->estimatePose(marker, centre, 80.0, pose, &refinements);
    EXPECT_LT(error, 1.0);
    EXPECT_EQ(1, refinements);

    // A kite is no square seen in perspective: the fit never gets below 1.
    const double kite[4][2] = {{100, 100}, {200, 100}, {260, 260}, {90, 200}};
    refinements = 0;
    EXPECT_GE(library->estimatePose(quadrilateral(kite, 0), centre, 80.0, pose, &refinements), 1.0);
    EXPECT_EQ(5, refinements);
}

TEST_F(Pose, FailuresLeaveThePoseUntouched) {
    const double centre[2] = {0.0, 0.0};
    double pose[3][4];
    for (auto& row : pose) {
        for (double& v : row) {
            v = 42.0;
        }
    }
    // All four sides parallel: no vanishing directions to build a rotation from.
    DetectedMarker flat;
    for (int i = 0; i < 4; ++i) {
        flat.lines[i][1] = 1.0;
        flat.lines[i][2] = -100.0 - i;
    }
    flat.direction = 0;
    EXPECT_EQ(-1.0, library->estimatePose(flat, centre, 80.0, pose));
    const double square[4][2] = {{100, 100}, {200, 100}, {200, 200}, {100, 200}};
    DetectedMarker unidentified = quadrilateral(square, -1);
    EXPECT_EQ(-1.0, library->estimatePose(unidentified, centre, 80.0, pose));
    double garbage[3][4];
    for (auto& row : garbage) {
        for (double& v : row) {
            v = std::nan("");
        }
    }
    EXPECT_EQ(-1.0, library->estimatePoseContinuous(flat, garbage, centre, 80.0, pose));
    for (const auto& row : pose) {
        for (double v : row) {
            EXPECT_EQ(42.0, v);
        }
    }
    // A previous pose of no use falls back to a pose from scratch.
    EXPECT_GE(library->estimatePoseContinuous(quadrilateral(square, 0), garbage, centre, 80.0, pose), 0.0);
    EXPECT_TRUE(std::isfinite(pose[2][3]));
}

TEST_F(Pose, ContinuousEstimationFollowsTheMarker) {
    loadPicture();
    const double centre[2] = {0.0, 0.0};
    double truth[3][4];
    FrameSynth::makePose(450, -30, 20, 1.0, 30 * kDegree, 0.5, truth);
    DetectedMarker marker;
    ASSERT_TRUE(detectAt(truth, 0.0, &marker));
    double first[3][4];
    ASSERT_GE(library->estimatePose(marker, centre, 80.0, first), 0.0);
    FrameSynth::makePose(455, -28, 21, 1.03, 32 * kDegree, 0.5, truth);
    ASSERT_TRUE(detectAt(truth, 0.0, &marker));
    double next[3][4];
    const double error = library->estimatePoseContinuous(marker, first, centre, 80.0, next);
    ASSERT_GE(error, 0.0);
    EXPECT_LT(rotationError(next, truth), 3.0);
    EXPECT_LT(translationError(next, truth), 10.0);
}

TEST(Rotation, AnglesRoundTripIncludingAMarkerFacingTheCameraSquarely) {
    std::mt19937 random(3);
    std::uniform_real_distribution<double> angle(-3.0, 3.0);
    std::uniform_real_distribution<double> tilt(0.01, 3.13);
    for (int i = 0; i < 200; ++i) {
        double r[3][3];
        anglesToRotation(angle(random), tilt(random), angle(random), r);
        double a, b, c, back[3][3];
        rotationToAngles(r, &a, &b, &c);
        anglesToRotation(a, b, c, back);
        for (int row = 0; row < 3; ++row) {
            for (int col = 0; col < 3; ++col) {
                ASSERT_NEAR(r[row][col], back[row][col], 1e-6) << i;
            }
        }
    }
    // Face on, the angle recovery meets 0 / 0; it must still give this rotation.
    for (const double sign : {1.0, -1.0}) {
        const double facing[3][3] = {{sign, 0, 0}, {0, -sign, 0}, {0, 0, -1}};
        double a, b, c, back[3][3];
        rotationToAngles(facing, &a, &b, &c);
        ASSERT_TRUE(std::isfinite(a) && std::isfinite(b) && std::isfinite(c));
        anglesToRotation(a, b, c, back);
        for (int row = 0; row < 3; ++row) {
            for (int col = 0; col < 3; ++col) {
                EXPECT_NEAR(facing[row][col], back[row][col], 1e-9);
            }
        }
    }
    const double identity[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    double a, b, c;
    rotationToAngles(identity, &a, &b, &c);
    EXPECT_EQ(0.0, a);
    EXPECT_EQ(0.0, b);
    EXPECT_EQ(0.0, c);
}

TEST(Rotation, InitialRotationOfAFrontalSquareFacesTheCamera) {
    const CameraParameters camera = FrameSynth::standardCamera();
    const double square[4][2] = {{100, 100}, {200, 100}, {200, 200}, {100, 200}};
    for (int direction = 0; direction < 4; ++direction) {
        double r[3][3];
        ASSERT_TRUE(initialRotation(camera, quadrilateral(square, direction), r));
        // Model x runs along the side from corner (4 - direction) % 4 to the next.
        const double* s = square[(4 - direction) % 4];
        const double* e = square[(5 - direction) % 4];
        EXPECT_NEAR((e[0] - s[0]) / 100.0, r[0][0], 1e-9) << direction;
        EXPECT_NEAR((e[1] - s[1]) / 100.0, r[1][0], 1e-9) << direction;
        EXPECT_NEAR(-1.0, r[2][2], 1e-9) << direction;
    }
}

} // namespace

// A camera record of extreme values (found by the camera file fuzzer): whatever the detector finds
// with it, a pose is either refused or finite, never a number that is not one.
TEST(PoseWithExtremeCameras, IsFiniteOrRefused) {
    const unsigned char record[] = {
        0x0e, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00, 0xa9, 0x44, 0x53, 0x3a, 0x4b, 0x7f, 0x00, 0x00, 0x00, 0x23,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0xd3, 0xee, 0x04, 0x0f, 0x00, 0x7f, 0x00, 0x00, 0x00, 0x00, 0x98, 0xba, 0xc1, 0xda,
        0x3d, 0x56, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xfd, 0xff, 0x00, 0x00, 0x00, 0x80,
        0xfa, 0xff, 0xff, 0xff, 0x00, 0xf6, 0x00, 0x00, 0x00, 0x3b, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xa9, 0x44, 0x53, 0x3a, 0x4b, 0x7f, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x98, 0xba, 0xc1, 0xda, 0x3d, 0x56, 0x00, 0x00, 0x00, 0x00, 0x3d, 0x00,
        0x00, 0xc3, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xed, 0x0e};
    for (const bool plausibleSize : {false, true}) {
        std::vector<unsigned char> bytes(record, record + sizeof record);
        if (plausibleSize) {
            const unsigned char size[8] = {0, 0, 2, 128, 0, 0, 1, 224}; // 640 x 480
            std::memcpy(bytes.data(), size, sizeof size);
        }
        Ostrevan::CameraParameters loaded;
        if (Ostrevan::decodeCameraParameters(bytes.data(), static_cast<long>(bytes.size()), &loaded) != 0) {
            continue;
        }
        Ostrevan::CameraParameters camera;
        ASSERT_EQ(Ostrevan::scaleCameraParameters(loaded, 48, 40, &camera), 0);
        Ostrevan::Library library;
        if (!library.setDetectorCamera(camera)) {
            continue;
        }
        // A dark square with a light hole, well inside the frame.
        std::vector<uint8_t> frame(48 * 40 * 4, 220);
        for (int row = 8; row < 32; ++row) {
            for (int column = 10; column < 34; ++column) {
                const bool hole = row >= 14 && row < 26 && column >= 16 && column < 28;
                std::memset(&frame[(row * 48 + column) * 4], hole ? 200 : 10, 3);
            }
        }
        const auto detected = library.detectMarkers(TrackingTest::viewOf(frame, 48, 40, 4), 100);
        if (!detected) {
            continue;
        }
        for (std::size_t i = 0; i < detected->size(); ++i) {
            Ostrevan::DetectedMarker marker = (*detected)[i];
            marker.direction = static_cast<int>(i % 4);
            const double centre[2] = {0.0, 0.0};
            double pose[3][4];
            const double error = library.estimatePose(marker, centre, 80.0, pose);
            EXPECT_TRUE(error == -1.0 || (error >= 0.0 && std::isfinite(pose[2][3]))) << "error " << error;
        }
    }
}
