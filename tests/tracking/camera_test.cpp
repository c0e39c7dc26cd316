#include "TrackingTestSupport.h"
#include "tracking/camera.h"
#include "tracking/lens.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <tuple>

using namespace Ostrevan;

namespace {

std::string recordOf(const CameraParameters& camera) {
    unsigned char bytes[kCameraFileSize];
    encodeCameraParameters(camera, bytes);
    return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

CameraParameters sentinel() {
    CameraParameters camera;
    camera.width = 12345;
    camera.distortion[3] = 7.0;
    return camera;
}

TEST(CameraParameters, FileRoundTripIsBigEndianAndReadsOnlyTheFirstRecord) {
    ScratchDirectory dir;
    const CameraParameters camera = FrameSynth::standardCamera(35.0);
    const std::string record = recordOf(camera);
    // Width 640 big-endian.
    EXPECT_EQ(std::string("\x00\x00\x02\x80", 4), record.substr(0, 4));
    CameraParameters loaded;
    ASSERT_EQ(0, loadCameraParameters(dir.write("one.dat", record).c_str(), &loaded));
    EXPECT_EQ(0, std::memcmp(&camera, &loaded, sizeof camera));
    CameraParameters other = camera;
    other.width = 320;
    ASSERT_EQ(0, loadCameraParameters(dir.write("two.dat", record + recordOf(other)).c_str(), &loaded));
    EXPECT_EQ(640, loaded.width);

    ASSERT_EQ(0, saveCameraParameters((dir.path() + "saved.dat").c_str(), camera));
    EXPECT_EQ(record, readWholeFile(dir.path() + "saved.dat"));
}

TEST(CameraParameters, RefusesFilesNoCameraCouldHaveWrittenAndLeavesTheDestination) {
    ScratchDirectory dir;
    const CameraParameters good = FrameSynth::standardCamera(35.0);
    std::vector<std::pair<std::string, std::string>> bad;
    bad.emplace_back("short", recordOf(good).substr(0, kCameraFileSize - 1));
    bad.emplace_back("empty", "");
    for (int width : {0, -640, kMaxFrameSide + 1}) {
        CameraParameters c = good;
        c.width = width;
        bad.emplace_back("width " + std::to_string(width), recordOf(c));
        c = good;
        c.height = width;
        bad.emplace_back("height " + std::to_string(width), recordOf(c));
    }
    CameraParameters c = good;
    c.projection[0][0] = std::numeric_limits<double>::quiet_NaN();
    bad.emplace_back("nan focal", recordOf(c));
    c = good;
    c.distortion[2] = std::numeric_limits<double>::infinity();
    bad.emplace_back("infinite factor", recordOf(c));
    c = good;
    c.distortion[3] = 0.0;
    bad.emplace_back("zero scale", recordOf(c));
    for (const auto& entry : bad) {
        CameraParameters destination = sentinel();
        EXPECT_EQ(-1, loadCameraParameters(dir.write("bad.dat", entry.second).c_str(), &destination))
            << entry.first;
        EXPECT_EQ(12345, destination.width) << entry.first;
    }
    CameraParameters destination = sentinel();
    EXPECT_EQ(-1, loadCameraParameters((dir.path() + "missing.dat").c_str(), &destination));
    EXPECT_EQ(-1, loadCameraParameters(dir.path().c_str(), &destination)); // a directory
    EXPECT_EQ(12345, destination.width);
}

TEST(CameraParameters, ScalingTo320HalvesFocalTermsAndCentreAndQuadruplesTheFactor) {
    const CameraParameters source = FrameSynth::standardCamera(35.0);
    CameraParameters scaled;
    ASSERT_EQ(0, scaleCameraParameters(source, 320, 240, &scaled));
    EXPECT_EQ(320, scaled.width);
    EXPECT_EQ(240, scaled.height);
    for (int c = 0; c < 4; ++c) {
        EXPECT_DOUBLE_EQ(source.projection[0][c] / 2, scaled.projection[0][c]);
        EXPECT_DOUBLE_EQ(source.projection[1][c] / 2, scaled.projection[1][c]);
        EXPECT_DOUBLE_EQ(source.projection[2][c], scaled.projection[2][c]);
    }
    EXPECT_DOUBLE_EQ(source.distortion[0] / 2, scaled.distortion[0]);
    EXPECT_DOUBLE_EQ(source.distortion[1] / 2, scaled.distortion[1]);
    EXPECT_DOUBLE_EQ(source.distortion[2] * 4, scaled.distortion[2]);
    EXPECT_DOUBLE_EQ(source.distortion[3], scaled.distortion[3]);

    // Only the width ratio counts.
    ASSERT_EQ(0, scaleCameraParameters(source, 320, 480, &scaled));
    EXPECT_DOUBLE_EQ(source.projection[1][1] / 2, scaled.projection[1][1]);

    CameraParameters untouched = sentinel();
    EXPECT_EQ(-1, scaleCameraParameters(source, 0, 240, &untouched));
    EXPECT_EQ(-1, scaleCameraParameters(source, 320, -1, &untouched));
    CameraParameters zeroWidth = source;
    zeroWidth.width = 0;
    EXPECT_EQ(-1, scaleCameraParameters(zeroWidth, 320, 240, &untouched));
    EXPECT_EQ(12345, untouched.width);
}

TEST(CameraParameters, DistortionModelInvertsItselfAndLeavesTheCentreAlone) {
    const double distortion[4] = {330.0, 250.0, 35.0, 1.02};
    double x, y;
    observedToIdeal(distortion, 330.0, 250.0, &x, &y);
    EXPECT_EQ(330.0, x);
    EXPECT_EQ(250.0, y);
    idealToObserved(distortion, 330.0, 250.0, &x, &y);
    EXPECT_EQ(330.0, x);
    EXPECT_EQ(250.0, y);
    for (double u : {0.0, 100.5, 320.0, 639.0}) {
        for (double v : {0.0, 240.0, 479.0}) {
            double ix, iy, ox, oy;
            observedToIdeal(distortion, u, v, &ix, &iy);
            idealToObserved(distortion, ix, iy, &ox, &oy);
            EXPECT_NEAR(u, ox, 1e-6);
            EXPECT_NEAR(v, oy, 1e-6);
        }
    }
    // Barrel distortion pulls observed points towards the centre: ideal points lie farther out.
    observedToIdeal(distortion, 630.0, 250.0, &x, &y);
    EXPECT_GT(x - 330.0, 300.0 / 1.02);
    const double none[4] = {320.0, 240.0, 0.0, 1.0};
    observedToIdeal(none, 17.0, 400.0, &x, &y);
    EXPECT_NEAR(17.0, x, 1e-12);
    EXPECT_NEAR(400.0, y, 1e-12);
}

TEST(CameraParameters, DetectorCameraRefusesUnusableRecords) {
    auto library = std::make_unique<Library>();
    ASSERT_TRUE(library->setDetectorCamera(FrameSynth::standardCamera()));
    CameraParameters zero = FrameSynth::standardCamera();
    zero.height = 0;
    EXPECT_FALSE(library->setDetectorCamera(zero));
    ASSERT_NE(nullptr, library->detectorCamera());
    EXPECT_EQ(480, library->detectorCamera()->height);
}

} // namespace

// The background grid shows at each screen point the frame's pixel that the camera saw in the
// direction drawn there: without a lens the whole frame turned by 180 degrees, with one pulled
// towards the centre near the edges.
TEST(BackgroundGrid, TextureCoordinatesFollowTheLens) {
    const std::vector<Ostrevan::BackgroundVertex> plain =
        Ostrevan::backgroundGrid(nullptr, 640, 480, Ostrevan::frameView(nullptr, 640, 480, 4.0 / 3), 4, 2);
    ASSERT_EQ(plain.size(), 15u);
    EXPECT_FLOAT_EQ(plain.front().x, -1.0f);
    EXPECT_FLOAT_EQ(plain.front().y, -1.0f);
    EXPECT_FLOAT_EQ(plain.front().u, 1.0f); // bottom left of the screen: the frame's last pixel
    EXPECT_FLOAT_EQ(plain.front().v, 0.0f);
    EXPECT_FLOAT_EQ(plain.back().u, 0.0f);
    EXPECT_FLOAT_EQ(plain.back().v, 1.0f);

    const Ostrevan::CameraParameters camera = FrameSynth::standardCamera(35.0);
    const double tanY = 240.0 / camera.projection[1][1];
    const Ostrevan::ViewExtents view{-tanY * 4.0 / 3, tanY * 4.0 / 3, -tanY, tanY};
    const std::vector<Ostrevan::BackgroundVertex> grid =
        Ostrevan::backgroundGrid(&camera, 640, 480, view, 64, 48);
    ASSERT_EQ(grid.size(), 65u * 49u);
    const Ostrevan::BackgroundVertex& centre = grid[24 * 65 + 32];
    EXPECT_NEAR(centre.u, 0.5, 1e-6);
    EXPECT_NEAR(centre.v, 0.5, 1e-6);
    for (const Ostrevan::BackgroundVertex& vertex : grid) {
        // Where a point seen in that direction appears in the frame.
        const double x = -vertex.x * 320.0 + 319.5;
        const double y = vertex.y * 240.0 + 239.5;
        double ox, oy;
        Ostrevan::idealToObserved(camera.distortion, x, y, &ox, &oy);
        EXPECT_NEAR(vertex.u, (ox + 0.5) / 640.0, 1e-5);
        EXPECT_NEAR(vertex.v, (oy + 0.5) / 480.0, 1e-5);
    }
    // The screen's corner shows a point pulled in towards the centre of the frame.
    EXPECT_GT(grid.front().u, 0.9f);
    EXPECT_LT(grid.front().u, 0.98f);
}

namespace {

// A camera file as velquin-camera-params writes it: square pixels, axis through the middle, the
// third distortion value chosen so that the old field of view (width x value / height degrees)
// was the camera's own.
CameraParameters idealFile(int width, int height, double horizontalDegrees) {
    CameraParameters camera = Ostrevan::idealCamera(width, height);
    const double focal = width / 2.0 / std::tan(horizontalDegrees / 2.0 * M_PI / 180.0);
    camera.projection[0][0] = camera.projection[1][1] = focal;
    const double verticalDegrees = 2.0 * std::atan(height / 2.0 / focal) * 180.0 / M_PI;
    camera.distortion[2] = verticalDegrees * height / width;
    return camera;
}

} // namespace

// The main view shows the whole frame with its middle in the middle, whatever the frame's size.
TEST(FrameView, TheWholeFrameFitsTheViewportWithItsMiddleInTheMiddle) {
    // At the file's own size, the frustum is the symmetric one of the field of view that the
    // third distortion value used to give: the picture stays where it was.
    const CameraParameters own = idealFile(640, 480, 60.0);
    const double oldTanY = std::tan(own.distortion[2] * 640 / 480 / 2.0 * M_PI / 180.0);
    const ViewExtents same = frameView(&own, 640, 480, 4.0 / 3.0);
    EXPECT_NEAR(same.top, oldTanY, 1e-9);
    EXPECT_NEAR(same.bottom, -oldTanY, 1e-9);
    EXPECT_NEAR(same.right, oldTanY * 4.0 / 3.0, 1e-9);
    EXPECT_NEAR(same.left, -oldTanY * 4.0 / 3.0, 1e-9);

    // A 4:3 file on a 16:9 camera: the frame's width fills a 4:3 viewport, bands above and below.
    CameraParameters wide;
    ASSERT_EQ(0, scaleCameraParameters(own, 1280, 720, &wide));
    EXPECT_TRUE(madeForOtherAspect(own, 1280, 720));
    EXPECT_FALSE(madeForOtherAspect(own, 1280, 960));
    EXPECT_FALSE(madeForOtherAspect(idealFile(1280, 720, 60), 854, 480)); // 16:9 rounded
    EXPECT_DOUBLE_EQ(wide.projection[0][0], own.projection[0][0] * 2);
    EXPECT_NEAR(wide.projection[1][2], 239.5 * 2 - 120, 1e-9); // 120 rows cropped above
    const ViewExtents banded = frameView(&wide, 1280, 720, 4.0 / 3.0);
    const double tanX = 640.0 / wide.projection[0][0];
    const double halfPixel = 0.5 / wide.projection[0][0]; // the centre scales with pixel centres
    EXPECT_NEAR(banded.right - banded.left, 2 * tanX, 1e-9);
    EXPECT_NEAR(banded.right, tanX, halfPixel);
    EXPECT_NEAR(banded.top - banded.bottom, 2 * tanX * 0.75, 1e-9);
    EXPECT_NEAR((banded.top + banded.bottom) / 2.0, 0.5 / wide.projection[1][1], 1e-9);
    // The frame's corners are shown: the screen's corner points lie outside the frame, and the
    // middle of the screen shows the middle of the frame (a lens without distortion here, which
    // would pull the frame's edges in).
    wide.distortion[2] = 0;
    const std::vector<BackgroundVertex> grid = backgroundGrid(&wide, 1280, 720, banded, 4, 4);
    EXPECT_NEAR(grid[2 * 5 + 2].u, 0.5, 1e-3);
    EXPECT_NEAR(grid[2 * 5 + 2].v, 0.5, 1e-3);
    EXPECT_NEAR(grid[2 * 5 + 0].u, 1.0, 1e-3); // left middle of the screen: the frame's last column
    EXPECT_LT(grid.front().v, 0.0f);

    // An optical centre off the middle moves the frustum, not the picture.
    CameraParameters shifted = own;
    shifted.projection[0][2] += 40;
    shifted.projection[1][2] -= 30;
    const ViewExtents off = frameView(&shifted, 640, 480, 4.0 / 3.0);
    EXPECT_NEAR(off.right - off.left, same.right - same.left, 1e-9);
    EXPECT_NEAR((off.left + off.right) / 2.0, 40 / own.projection[0][0], 1e-9);
    EXPECT_NEAR((off.top + off.bottom) / 2.0, 30 / own.projection[1][1], 1e-9);
    const std::vector<BackgroundVertex> middle = backgroundGrid(&shifted, 640, 480, off, 2, 2);
    EXPECT_NEAR(middle[4].u, 0.5, 1e-6);
    EXPECT_NEAR(middle[4].v, 0.5, 1e-6);
}

TEST(FrameView, AbsurdCalibrationsAreClampedToASaneView) {
    const double widest = std::tan(kMaxViewHalfAngle * M_PI / 180.0);
    const double narrowest = 2.0 * std::tan(kMinViewAngle / 2.0 * M_PI / 180.0);
    CameraParameters tiny;
    ASSERT_EQ(0, scaleCameraParameters(idealFile(640, 480, 60), 2, 2, &tiny));
    CameraParameters flat = idealFile(640, 480, 60);
    flat.projection[1][1] = 1e-9; // the frame's rows spread over every direction
    CameraParameters zoomed = idealFile(640, 480, 60);
    zoomed.projection[0][0] = zoomed.projection[1][1] = 1e12;
    CameraParameters zero = idealFile(640, 480, 60);
    zero.projection[0][0] = 0;
    for (const auto& [camera, width, height] :
         {std::make_tuple(tiny, 2, 2), std::make_tuple(flat, 640, 480), std::make_tuple(zoomed, 640, 480),
          std::make_tuple(zero, 640, 480)}) {
        for (double aspect : {4.0 / 3.0, 16.0 / 9.0, 0.01, 100.0}) {
            const ViewExtents view = frameView(&camera, width, height, aspect);
            for (double side : {view.left, view.right, view.bottom, view.top}) {
                EXPECT_TRUE(std::isfinite(side));
                EXPECT_LE(std::fabs(side), widest + 1e-12);
            }
            EXPECT_GE(view.right - view.left, narrowest - 1e-12);
            EXPECT_GE(view.top - view.bottom, narrowest - 1e-12);
        }
    }
    // A 2 x 2 frame of a sane file keeps the file's view: two pixels' worth of directions.
    const ViewExtents two = frameView(&tiny, 2, 2, 1.0);
    EXPECT_NEAR(two.right - two.left, 2.0 / tiny.projection[0][0], 1e-9);
}
