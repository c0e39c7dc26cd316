#include "TrackingTestSupport.h"
#include "tracking/detection.h"
#include "tracking/texts.h"

#include "platform/Semaphore.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

using namespace Ostrevan;
using TrackingTest::BinaryFrame;

namespace {

struct Squares {
    std::unique_ptr<SquareCandidate[]> candidates = std::make_unique<SquareCandidate[]>(kMaxSquares);
    Labelling labels;
    int count = 0;

    explicit Squares(const BinaryFrame& frame) {
        EXPECT_TRUE(labelImage(frame.view(), 100, &labels));
        count = findSquares(labels, 70, 100000, 1.0, candidates.get());
    }
    bool hasCentre(double x, double y) const {
        for (int i = 0; i < count; ++i) {
            if (std::abs(candidates[i].centre[0] - x) < 0.01 &&
                std::abs(candidates[i].centre[1] - y) < 0.01) {
                return true;
            }
        }
        return false;
    }
};

TEST(FindSquares, AreaLimitsAre70And100000Inclusive) {
    BinaryFrame small;
    small.fill(100, 100, 7, 10); // 70 pixels
    small.fill(200, 100, 7, 10); // 69 pixels: one corner pixel light again
    small.set(206, 109, 230);
    const Squares s(small);
    ASSERT_EQ(1, s.count);
    EXPECT_EQ(70, s.candidates[0].area);
    EXPECT_NEAR(103.0, s.candidates[0].centre[0], 1e-9);

    BinaryFrame large;
    large.fill(100, 100, 400, 250); // 100000 pixels
    const Squares l(large);
    ASSERT_EQ(1, l.count);
    EXPECT_EQ(100000, l.candidates[0].area);

    large.set(500, 200, 10); // one more pixel, on the right side
    EXPECT_EQ(0, Squares(large).count);
}

TEST(FindSquares, RegionsTouchingTheOutermostLabelledRowsOrColumnsAreNeverCandidates) {
    const struct {
        int x, y;
        bool candidate;
    } cases[] = {{1, 100, false}, {2, 100, true}, {618, 100, false}, {617, 100, true},
                 {300, 1, false}, {300, 2, true}, {300, 458, false}, {300, 457, true}};
    for (const auto& c : cases) {
        BinaryFrame frame;
        frame.fill(c.x, c.y, 21, 21);
        EXPECT_EQ(c.candidate ? 1 : 0, Squares(frame).count) << c.x << "," << c.y;
    }
}

TEST(FindSquares, OfTwoCloseSquaresOnlyTheLargerOrTheLaterStays) {
    BinaryFrame nested;
    nested.fill(100, 100, 100, 100);
    nested.fill(120, 120, 60, 60, 230); // hollow
    nested.fill(140, 140, 20, 20);      // a small square in the hole, same centre
    const Squares n(nested);
    ASSERT_EQ(1, n.count);
    EXPECT_EQ(100 * 100 - 60 * 60, n.candidates[0].area);

    BinaryFrame twins;
    twins.fill(100, 100, 60, 3);
    twins.fill(100, 104, 60, 3); // equal area, centres 4 apart: 16 < 180 / 4
    twins.fill(400, 100, 60, 3); // far away
    const Squares t(twins);
    ASSERT_EQ(2, t.count);
    EXPECT_TRUE(t.hasCentre(129.5, 105.0));
    EXPECT_FALSE(t.hasCentre(129.5, 101.0));
}

TEST(FindSquares, The31stSquareIsNotConsidered) {
    BinaryFrame frame;
    for (int i = 0; i < 31; ++i) {
        frame.fill(40 + 70 * (i % 8), 40 + 60 * (i / 8), 20, 20);
    }
    const Squares s(frame);
    EXPECT_EQ(30, s.count);
    EXPECT_TRUE(s.hasCentre(40 + 70 * 5 + 9.5, 40 + 60 * 3 + 9.5));
    EXPECT_FALSE(s.hasCentre(40 + 70 * 6 + 9.5, 40 + 60 * 3 + 9.5));
}

TEST(FindSquares, ContourProblemsRejectOnlyTheirRegion) {
    BinaryFrame frame;
    // A serpentine line whose contour is longer than a candidate can hold.
    for (int row = 0; row < 20; ++row) {
        frame.fill(20, 20 + 2 * row, 560, 1);
        frame.fill(row % 2 == 0 ? 579 : 20, 21 + 2 * row, 1, 1);
    }
    frame.fill(300, 300, 40, 40);
    int count = 0;
    std::unique_ptr<Squares> s;
    const std::string out = TrackingTest::stdoutOf([&] { s = std::make_unique<Squares>(frame); });
    EXPECT_EQ(Texts::contourTooLong, out);
    ASSERT_EQ(1, s->count);
    EXPECT_TRUE(s->hasCentre(319.5, 319.5));
    (void)count;

    // A lone pixel has no contour.
    BinaryFrame dot;
    dot.set(50, 50, 0);
    Labelling labels;
    ASSERT_TRUE(labelImage(dot.view(), 100, &labels));
    auto candidate = std::make_unique<SquareCandidate>();
    bool traced = true;
    EXPECT_EQ(Texts::contourIsolated,
              TrackingTest::stdoutOf([&] { traced = traceContour(labels, 1, candidate.get()); }));
    EXPECT_FALSE(traced);
    EXPECT_EQ(Texts::contourNoStart,
              TrackingTest::stdoutOf([&] { traced = traceContour(labels, 2, candidate.get()); }));
}

TEST(FindSquares, ContourStartsAtTheFarthestPointAndCornersAreTheSquaresCorners) {
    BinaryFrame frame;
    frame.fill(100, 50, 40, 30);
    Labelling labels;
    ASSERT_TRUE(labelImage(frame.view(), 100, &labels));
    auto c = std::make_unique<SquareCandidate>();
    ASSERT_TRUE(traceContour(labels, 1, c.get()));
    // Clockwise around the border pixels, from the corner opposite the first pixel.
    EXPECT_EQ(2 * (40 + 30) - 4 + 1, c->contourLength);
    EXPECT_EQ(139, c->contourX[0]);
    EXPECT_EQ(79, c->contourY[0]);
    EXPECT_EQ(138, c->contourX[1]);
    EXPECT_EQ(79, c->contourY[1]);
    EXPECT_EQ(c->contourX[0], c->contourX[c->contourLength - 1]);
    ASSERT_TRUE(checkSquare(c.get(), 1200, 1.0));
    const int expected[4][2] = {{139, 79}, {100, 79}, {100, 50}, {139, 50}};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(expected[k][0], c->contourX[c->corners[k]]) << k;
        EXPECT_EQ(expected[k][1], c->contourY[c->corners[k]]) << k;
    }
    EXPECT_EQ(c->contourLength - 1, c->corners[4]);

    // A triangle has three corners only.
    BinaryFrame triangle;
    for (int y = 0; y < 40; ++y) {
        triangle.fill(100, 100 + y, y + 1, 1);
    }
    EXPECT_EQ(0, Squares(triangle).count);
}

TEST(MarkerHistory, ListIsCappedKeepingTheMostConfident) {
    MarkerHistory history;
    DetectedMarker markers[kMaxSquares];
    auto place = [](DetectedMarker& m, int index, int id, double confidence) {
        m = DetectedMarker();
        m.area = 400;
        m.id = id;
        m.direction = 0;
        m.confidence = confidence;
        m.centre[0] = 30 + 40.0 * (index % 15);
        m.centre[1] = 30 + 40.0 * (index / 15);
    };
    for (int i = 0; i < 25; ++i) {
        place(markers[i], i, i, 0.6 + 0.01 * i);
    }
    int count = 25;
    history.apply(markers, &count, kMaxSquares);
    EXPECT_EQ(25, count);
    for (int i = 0; i < 25; ++i) {
        place(markers[i], 30 + i, 25 + i, 0.9);
    }
    count = 25;
    history.apply(markers, &count, kMaxSquares);
    ASSERT_EQ(30, count);
    for (int i = 0; i < 25; ++i) {
        EXPECT_EQ(25 + i, markers[i].id);
    }
    for (int i = 25; i < 30; ++i) {
        EXPECT_EQ(i - 5, markers[i].id); // the five most confident of the remembered ones
    }
    EXPECT_EQ(50, history.size());
}

TEST(MarkerHistory, InheritedIdentityIsTurnedToTheNewCorners) {
    MarkerHistory history;
    DetectedMarker m[kMaxSquares];
    m[0].area = 1000;
    m[0].id = 4;
    m[0].direction = 1;
    m[0].confidence = 0.9;
    m[0].centre[0] = m[0].centre[1] = 100;
    const double corners[4][2] = {{80, 80}, {120, 80}, {120, 120}, {80, 120}};
    std::memcpy(m[0].corners, corners, sizeof corners);
    int count = 1;
    history.apply(m, &count, kMaxSquares);
    // Next frame: the same square, corners listed from another start, weaker identification.
    DetectedMarker now = m[0];
    now.area = 1100;
    now.confidence = 0.6;
    now.id = 9;
    now.direction = 3;
    for (int k = 0; k < 4; ++k) {
        now.corners[(k + 1) % 4][0] = corners[k][0];
        now.corners[(k + 1) % 4][1] = corners[k][1];
    }
    m[0] = now;
    count = 1;
    history.apply(m, &count, kMaxSquares);
    ASSERT_EQ(1, count);
    EXPECT_EQ(4, m[0].id);
    EXPECT_EQ(0.9, m[0].confidence);
    EXPECT_EQ(0, m[0].direction);
}

class Detection : public testing::Test {
protected:
    void SetUp() override {
        library = TrackingTest::makeLibrary();
        ASSERT_EQ(
            0, library->loadPattern(
                   TrackingTest::writePatternFile(dir, "a.pat", FrameSynth::randomPicture(8, 11)).c_str()));
        ASSERT_EQ(
            1, library->loadPattern(
                   TrackingTest::writePatternFile(dir, "b.pat", FrameSynth::randomPicture(8, 12)).c_str()));
        scene.camera = FrameSynth::standardCamera();
        marker.picture = FrameSynth::randomPicture(8, 11);
        marker.width = 100;
        FrameSynth::makePose(600, -60, 0, 0.3, 0.2, 1.0, marker.pose);
    }

    std::vector<uint8_t> render(const FrameSynth::Scene& s) {
        std::vector<uint8_t> frame;
        FrameSynth::render(s, &frame);
        return frame;
    }

    ScratchDirectory dir;
    std::unique_ptr<Ostrevan::Library> library; // this case's own marker library
    FrameSynth::Scene scene;
    FrameSynth::Marker marker;
};

TEST_F(Detection, FindsIdentifiesAndLocatesAMarker) {
    scene.markers.push_back(marker);
    const std::vector<DetectedMarker> found = TrackingTest::detect(*library, render(scene));
    ASSERT_EQ(1, found.size());
    EXPECT_EQ(0, found[0].id);
    EXPECT_GT(found[0].confidence, 0.9);
    // Corner (4 - direction) % 4 is the picture's top-left corner.
    double u, v;
    FrameSynth::project(scene.camera, marker.pose, -50, 50, &u, &v);
    const double* topLeft = found[0].corners[(4 - found[0].direction) % 4];
    EXPECT_NEAR(u, topLeft[0], 1.5);
    EXPECT_NEAR(v, topLeft[1], 1.5);
    // The lines pass through their corners.
    for (int i = 0; i < 4; ++i) {
        const double* l = found[0].lines[i];
        for (const double* c : {found[0].corners[i], found[0].corners[(i + 1) % 4]}) {
            EXPECT_NEAR(0.0, l[0] * c[0] + l[1] * c[1] + l[2], 1e-6);
        }
    }
}

TEST_F(Detection, ThreeBytePixelsGiveTheSameMarkers) {
    scene.markers.push_back(marker);
    scene.noise = 6;
    std::vector<uint8_t> four = render(scene);
    std::vector<uint8_t> three;
    for (size_t i = 0; i < four.size(); i += 4) {
        three.insert(three.end(), four.begin() + i, four.begin() + i + 3);
    }
    const std::vector<DetectedMarker> a = TrackingTest::detect(*library, four);
    library = TrackingTest::makeLibrary();
    ASSERT_EQ(0, library->loadPattern(
                     TrackingTest::writePatternFile(dir, "a.pat", FrameSynth::randomPicture(8, 11)).c_str()));
    ASSERT_EQ(1, library->loadPattern(
                     TrackingTest::writePatternFile(dir, "b.pat", FrameSynth::randomPicture(8, 12)).c_str()));
    // Exactly as many bytes as the frame has: a read past the end shows up under ASan.
    const std::vector<DetectedMarker> b = TrackingTest::detect(*library, three, 100, 3);
    ASSERT_EQ(1, a.size());
    ASSERT_EQ(a.size(), b.size());
    EXPECT_EQ(0, std::memcmp(&a[0], &b[0], sizeof a[0]));
}

TEST_F(Detection, FramesOfAnotherSizeThanTheCameraAreRefused) {
    std::vector<uint8_t> small(320 * 240 * 4, 200);
    EXPECT_FALSE(library->detectMarkers(TrackingTest::viewOf(small, 320, 240), 100));
    EXPECT_FALSE(library->detectMarkers(TrackingTest::viewOf(small, 640, 480, 2), 100));
    EXPECT_EQ(0, library->historySize());
}

TEST_F(Detection, MarkerMissingForTwoFramesIsStillListedAndGoneOnTheThird) {
    scene.markers.push_back(marker);
    const std::vector<DetectedMarker> seen = TrackingTest::detect(*library, render(scene));
    ASSERT_EQ(1, seen.size());
    FrameSynth::Scene nothing;
    nothing.camera = scene.camera;
    const std::vector<uint8_t> empty = render(nothing);
    for (int frame = 1; frame <= 2; ++frame) {
        const std::vector<DetectedMarker> listed = TrackingTest::detect(*library, empty);
        ASSERT_EQ(1, listed.size()) << frame;
        EXPECT_EQ(0, std::memcmp(&seen[0], &listed[0], sizeof seen[0])) << frame;
    }
    EXPECT_TRUE(TrackingTest::detect(*library, empty).empty());
}

TEST_F(Detection, ConfidenceDropKeepsTheRememberedIdentity) {
    scene.markers.push_back(marker);
    const std::vector<DetectedMarker> clean = TrackingTest::detect(*library, render(scene));
    ASSERT_EQ(1, clean.size());
    ASSERT_EQ(0, clean[0].id);

    // A grey card over part of the picture: the square is intact, the correlation weaker.
    FrameSynth::Scene covered = scene;
    double u, v;
    FrameSynth::project(scene.camera, marker.pose, 0, 0, &u, &v);
    FrameSynth::Shape card;
    card.centre[0] = u + 8;
    card.centre[1] = v + 8;
    card.size[0] = card.size[1] = 26;
    card.colour[0] = card.colour[1] = card.colour[2] = 150;
    covered.occluders.push_back(card);
    library = TrackingTest::makeLibrary();
    ASSERT_EQ(0, library->loadPattern(
                     TrackingTest::writePatternFile(dir, "a.pat", FrameSynth::randomPicture(8, 11)).c_str()));
    ASSERT_EQ(1, library->loadPattern(
                     TrackingTest::writePatternFile(dir, "b.pat", FrameSynth::randomPicture(8, 12)).c_str()));
    const std::vector<DetectedMarker> alone = TrackingTest::detect(*library, render(covered));
    ASSERT_EQ(1, alone.size());
    EXPECT_LT(alone[0].confidence, clean[0].confidence);
    EXPECT_GE(alone[0].confidence, 0.5);

    TrackingTest::detect(*library, render(scene));
    const std::vector<DetectedMarker> after = TrackingTest::detect(*library, render(covered));
    ASSERT_EQ(1, after.size());
    EXPECT_EQ(0, after[0].id);
    EXPECT_EQ(clean[0].confidence, after[0].confidence);
    EXPECT_EQ(clean[0].direction, after[0].direction);
}

TEST_F(Detection, UnidentifiedSquaresAreListedWithIdMinusOne) {
    FrameSynth::Marker blank = marker;
    blank.picture = FrameSynth::Image(4, 4, 240); // uniform interior: power 0
    FrameSynth::Marker other = marker;
    other.picture = FrameSynth::randomPicture(8, 77);
    FrameSynth::makePose(600, 80, 0, 0.0, 0.0, 0.0, other.pose);
    scene.markers = {blank, other};
    const std::vector<DetectedMarker> found = TrackingTest::detect(*library, render(scene));
    ASSERT_EQ(2, found.size());
    for (const DetectedMarker& m : found) {
        EXPECT_EQ(-1, m.id);
        EXPECT_LT(m.confidence, 0.5);
    }
}

TEST_F(Detection, PatternLoadsFromAnotherThreadAreSafeUnderTheCallersLock) {
    // As in the player: connection threads load and free patterns, the capture thread detects,
    // all under one lock held by the caller.
    scene.markers.push_back(marker);
    const std::vector<uint8_t> frame = render(scene);
    const std::string path = TrackingTest::writePatternFile(dir, "c.pat", FrameSynth::randomPicture(8, 13));
    VelOS::Semaphore lock;
    std::thread connection([&] {
        for (int i = 0; i < 40; ++i) {
            VelOS::SemaphoreLock hold(lock);
            const int slot = library->loadPattern(path.c_str());
            ASSERT_GE(slot, 2);
            ASSERT_EQ(1, library->freePattern(slot));
        }
    });
    for (int i = 0; i < 40; ++i) {
        VelOS::SemaphoreLock hold(lock);
        const std::vector<DetectedMarker> found = TrackingTest::detect(*library, frame);
        ASSERT_EQ(1u, found.size());
        EXPECT_EQ(0, found[0].id);
    }
    connection.join();
}

} // namespace

namespace {

std::vector<DetectedMarker> detectLocally(Library& library, const std::vector<uint8_t>& frame, bool local) {
    return TrackingTest::detect(library, frame, 100, 4, local);
}

// A sharp shadow edge along one side of the scene's first marker (a square 100 wide), `outside`
// pixels out from its middle (less than 0: on the border), `fall` of the light gone beyond it.
void shadowAlongSide(FrameSynth::Scene* s, int side, double outside, double fall) {
    const double ends[4][2] = {{-1, 1}, {1, 1}, {1, -1}, {-1, -1}};
    const double(&pose)[3][4] = s->markers[0].pose;
    double u0, v0, u1, v1, uc, vc;
    FrameSynth::project(s->camera, pose, ends[side][0] * 50, ends[side][1] * 50, &u0, &v0);
    FrameSynth::project(s->camera, pose, ends[(side + 1) % 4][0] * 50, ends[(side + 1) % 4][1] * 50, &u1,
                        &v1);
    FrameSynth::project(s->camera, pose, 0, 0, &uc, &vc);
    const double length = std::hypot(u1 - u0, v1 - v0);
    double nx = (v1 - v0) / length;
    double ny = -(u1 - u0) / length;
    if ((u0 - uc) * nx + (v0 - vc) * ny < 0) {
        nx = -nx;
        ny = -ny;
    }
    const double ex = (u0 + u1) / 2 + nx * outside;
    const double ey = (v0 + v1) / 2 + ny * outside;
    s->lightFall.from[0] = ex - nx;
    s->lightFall.from[1] = ey - ny;
    s->lightFall.to[0] = ex + nx;
    s->lightFall.to[1] = ey + ny;
    s->lightFall.fall = fall;
}

bool holds(const std::vector<DetectedMarker>& markers, int id) {
    for (const DetectedMarker& m : markers) {
        if (m.id == id) {
            return true;
        }
    }
    return false;
}

} // namespace

// The contour runs through the outermost dark pixels, half a pixel inside the printed edge; the
// corners are taken from the edges of the picture itself.
TEST_F(Detection, CornersLieOnThePrintedEdges) {
    for (double roll : {0.0, 0.4, 1.1}) {
        FrameSynth::makePose(500, 20, -10, roll, 0.3, 0.7, marker.pose);
        scene.markers = {marker};
        const std::vector<DetectedMarker> found = TrackingTest::detect(*library, render(scene));
        ASSERT_EQ(found.size(), 1u);
        const double model[4][2] = {{-50, 50}, {50, 50}, {50, -50}, {-50, -50}};
        for (const auto& corner : model) {
            double u, v;
            FrameSynth::project(scene.camera, marker.pose, corner[0], corner[1], &u, &v);
            double nearest = 1e9;
            for (const auto& c : found[0].corners) {
                nearest = std::min(nearest, std::hypot(c[0] - u, c[1] - v));
            }
            EXPECT_LT(nearest, 0.3) << "roll " << roll;
        }
        TrackingTest::forgetHistory(*library);
    }
}

// Light falling across the marker to a fifth, and black printed as a mid grey: the fixed level
// fails where the local threshold finds the marker; the fixed level stays what manual mode uses.
TEST_F(Detection, LocalThresholdHoldsUnderFallingLightAndGreyInk) {
    scene.markers = {marker};
    FrameSynth::Scene shadow = scene;
    double u0, v0, u1, v1;
    FrameSynth::project(scene.camera, marker.pose, -50, 0, &u0, &v0);
    FrameSynth::project(scene.camera, marker.pose, 50, 0, &u1, &v1);
    shadow.lightFall.from[0] = u0;
    shadow.lightFall.from[1] = v0;
    shadow.lightFall.to[0] = u1;
    shadow.lightFall.to[1] = v1;
    shadow.lightFall.fall = 0.8;
    shadow.noise = 3.0;
    FrameSynth::Scene grey = scene;
    grey.markers[0].ink = 150;
    grey.background[0] = grey.background[1] = grey.background[2] = 235;
    for (const FrameSynth::Scene* hard : {&shadow, &grey}) {
        const std::vector<uint8_t> frame = render(*hard);
        EXPECT_FALSE(holds(detectLocally(*library, frame, false), 0));
        TrackingTest::forgetHistory(*library);
        EXPECT_TRUE(holds(detectLocally(*library, frame, true), 0));
        TrackingTest::forgetHistory(*library);
    }
    // Evenly lit, both find it, and nothing is found in an empty frame.
    const std::vector<uint8_t> plain = render(scene);
    EXPECT_TRUE(holds(detectLocally(*library, plain, true), 0));
    TrackingTest::forgetHistory(*library);
    FrameSynth::Scene empty = scene;
    empty.markers.clear();
    empty.noise = 6.0;
    EXPECT_TRUE(detectLocally(*library, render(empty), true).empty());
}

TEST_F(Detection, MarkersDownTo20PixelsAreIdentified) {
    const double focal = scene.camera.projection[0][0];
    int identified = 0;
    int shown = 0;
    for (double side : {20.0, 24.0}) {
        for (double roll : {0.0, 0.5, 1.3, 2.2, 3.0, 4.4}) {
            FrameSynth::makePose(focal * marker.width / side, 0, 0, roll, 0.2, roll, marker.pose);
            scene.markers = {marker};
            identified += holds(TrackingTest::detect(*library, render(scene)), 0) ? 1 : 0;
            ++shown;
            TrackingTest::forgetHistory(*library);
        }
    }
    EXPECT_EQ(identified, shown);
}

// Each library keeps its own patterns, camera and history: two detectors run side by side on
// two threads without a lock and without meeting.
TEST_F(Detection, TwoLibrariesRunSideBySide) {
    scene.markers = {marker};
    const std::vector<uint8_t> frame = render(scene);
    auto other = TrackingTest::makeLibrary();
    // The other library knows only the marker's pattern, in its first slot.
    ASSERT_EQ(
        0, other->loadPattern(
               TrackingTest::writePatternFile(dir, "b-first.pat", FrameSynth::randomPicture(8, 12)).c_str()));
    ASSERT_EQ(
        1,
        other->loadPattern(
            TrackingTest::writePatternFile(dir, "a-second.pat", FrameSynth::randomPicture(8, 11)).c_str()));
    std::vector<int> mine;
    std::vector<int> theirs;
    std::thread second([&] {
        for (int i = 0; i < 10; ++i) {
            for (const DetectedMarker& m : TrackingTest::detect(*other, frame)) {
                theirs.push_back(m.id);
            }
        }
    });
    for (int i = 0; i < 10; ++i) {
        for (const DetectedMarker& m : TrackingTest::detect(*library, frame)) {
            mine.push_back(m.id);
        }
    }
    second.join();
    EXPECT_EQ(mine, std::vector<int>(10, 0));
    EXPECT_EQ(theirs, std::vector<int>(10, 1));
    EXPECT_EQ(library->historySize(), 1);
    EXPECT_EQ(other->historySize(), 1);
}

// A shadow edge just outside the black border: the shaded paper is darker than the lit paper
// around it, but far lighter than the ink, and must not merge with the border.
TEST_F(Detection, ShadowAlongTheBorderStaysApartFromIt) {
    int found = 0;
    int tried = 0;
    for (int side = 0; side < 4; ++side) {
        for (double fall : {0.4, 0.6}) {
            FrameSynth::Scene s = scene;
            s.markers = {marker};
            s.noise = 2.0;
            // The edge 3 pixels outside the border, the shadow beyond it.
            shadowAlongSide(&s, side, 3.0, fall);
            ++tried;
            found += holds(detectLocally(*library, render(s), true), 0) ? 1 : 0;
            TrackingTest::forgetHistory(*library);
        }
    }
    EXPECT_EQ(tried, found);
}

// Paper in a deep shadow beside the black border comes within the local threshold's reach of
// the ink and joins the border: the region is no square. Split at its own grey level, the ink
// stands alone again; also where the shaded strip runs on out of the picture, so that the
// region touches the frame's edge.
TEST_F(Detection, DeepShadowOnTheBorderIsPartedByASecondLook) {
    std::vector<FrameSynth::Scene> scenes;
    for (int side = 0; side < 4; ++side) {
        FrameSynth::Scene s = scene;
        s.markers = {marker};
        s.noise = 2.0;
        // A sharp shadow edge on the border itself, a fifth of the light beyond it.
        shadowAlongSide(&s, side, -2.0, 0.8);
        scenes.push_back(s);
    }
    // Face on, 14 pixels from the frame's left edge, the shadow over everything left of it.
    FrameSynth::Scene edge = scene;
    edge.noise = 2.0;
    const double focal = scene.camera.projection[0][0];
    FrameSynth::makePose(600, (14 + focal / 12 - scene.camera.projection[0][2]) / focal * 600, 0, 0, 0, 0,
                         edge.markers.emplace_back(marker).pose);
    double u, v;
    FrameSynth::project(edge.camera, edge.markers[0].pose, -50, 0, &u, &v);
    edge.lightFall.from[0] = u + 3;
    edge.lightFall.from[1] = v;
    edge.lightFall.to[0] = u + 1;
    edge.lightFall.to[1] = v;
    edge.lightFall.fall = 0.8;
    scenes.push_back(edge);

    DetectorParameters once;
    once.lookAgain = false;
    for (size_t i = 0; i < scenes.size(); ++i) {
        const std::vector<uint8_t> frame = render(scenes[i]);
        library->setParameters(once);
        EXPECT_FALSE(holds(detectLocally(*library, frame, true), 0)) << "scene " << i;
        TrackingTest::forgetHistory(*library);
        library->setParameters(DetectorParameters());
        EXPECT_TRUE(holds(detectLocally(*library, frame, true), 0)) << "scene " << i;
        TrackingTest::forgetHistory(*library);
    }
}

// Solid dark squares (tiles, windows) that come first in the frame do not crowd the marker out
// of the candidate list, in either threshold mode.
TEST_F(Detection, MarkerAmongFiftyDarkSquaresIsFound) {
    FrameSynth::Scene s = scene;
    FrameSynth::makePose(600, 0, 120, 0.3, 0.2, 1.0, s.markers.emplace_back(marker).pose);
    for (int i = 0; i < 50; ++i) {
        FrameSynth::Shape tile;
        tile.centre[0] = 35 + (i % 10) * 63;
        tile.centre[1] = 28 + (i / 10) * 48;
        tile.size[0] = tile.size[1] = 28;
        tile.angle = 0.1 * i;
        s.clutter.push_back(tile);
    }
    const std::vector<uint8_t> frame = render(s);
    EXPECT_TRUE(holds(detectLocally(*library, frame, false), 0));
    TrackingTest::forgetHistory(*library);
    EXPECT_TRUE(holds(detectLocally(*library, frame, true), 0));
}

// A fingertip on a corner of the black square: a disc a tenth of the side across, centred on
// the corner, in skin or in a dark glove. A dark one joins the border and bulges its contour out
// at the corner; a light one cuts the corner off. Either way the marker is identified in both
// threshold modes, and its corners stay on the printed square's corners, the covered one too.
TEST_F(Detection, FingertipOnACornerIsFoundInBothModes) {
    const double model[4][2] = {{-50, 50}, {50, 50}, {50, -50}, {-50, -50}};
    const uint8_t skin[3] = {105, 135, 185};
    const uint8_t glove[3] = {35, 32, 30};
    int tried = 0;
    int found[2] = {};
    double worst = 0.0;
    for (int pose = 0; pose < 2; ++pose) {
        FrameSynth::Scene s = scene;
        s.noise = 2.0;
        s.markers = {marker};
        if (pose == 1) {
            FrameSynth::makePose(480, 40, -30, 2.0, 0.45, 2.5, s.markers[0].pose);
        }
        const double side = FrameSynth::apparentSide(s.camera, s.markers[0]);
        for (int corner = 0; corner < 4; ++corner) {
            for (const uint8_t* colour : {skin, glove}) {
                FrameSynth::Scene covered = s;
                FrameSynth::Shape finger;
                finger.kind = FrameSynth::Shape::Ellipse;
                FrameSynth::project(s.camera, s.markers[0].pose, model[corner][0], model[corner][1],
                                    &finger.centre[0], &finger.centre[1]);
                finger.size[0] = finger.size[1] = 0.1 * side;
                std::copy(colour, colour + 3, finger.colour);
                covered.occluders.push_back(finger);
                const std::vector<uint8_t> frame = render(covered);
                ++tried;
                for (bool local : {false, true}) {
                    const std::vector<DetectedMarker> markers = detectLocally(*library, frame, local);
                    TrackingTest::forgetHistory(*library);
                    const auto m = std::find_if(markers.begin(), markers.end(),
                                                [](const DetectedMarker& d) { return d.id == 0; });
                    if (m == markers.end()) {
                        ADD_FAILURE() << "pose " << pose << ", corner " << corner << ", "
                                      << (colour == skin ? "skin" : "glove") << ", "
                                      << (local ? "automatic" : "manual") << ": not found";
                        continue;
                    }
                    ++found[local ? 1 : 0];
                    for (const auto& truth : model) {
                        double u, v;
                        FrameSynth::project(s.camera, s.markers[0].pose, truth[0], truth[1], &u, &v);
                        double nearest = 1e9;
                        for (const auto& c : m->corners) {
                            nearest = std::min(nearest, std::hypot(c[0] - u, c[1] - v));
                        }
                        worst = std::max(worst, nearest);
                    }
                }
            }
        }
    }
    EXPECT_EQ(tried, found[0]);
    EXPECT_EQ(tried, found[1]);
    EXPECT_LT(worst, 1.0);
}

// The area limit follows the frame: a close-up 400 pixels wide at 640 x 480 (a region well over
// 100,000 pixels), and one filling half the height of a 1920 x 1080 frame.
TEST_F(Detection, CloseUpsAreFoundAtEveryFrameSize) {
    FrameSynth::Scene s = scene;
    const double focal = s.camera.projection[0][0];
    FrameSynth::makePose(focal * 100 / 400, 0, 0, 0.1, 0.1, 1.0, s.markers.emplace_back(marker).pose);
    const std::vector<uint8_t> frame = render(s);
    EXPECT_TRUE(holds(detectLocally(*library, frame, false), 0));
    TrackingTest::forgetHistory(*library);
    EXPECT_TRUE(holds(detectLocally(*library, frame, true), 0));

    Ostrevan::CameraParameters large;
    ASSERT_EQ(0, Ostrevan::scaleCameraParameters(s.camera, 1920, 1440, &large));
    large.height = 1080;
    large.projection[1][2] -= 180;
    large.distortion[1] -= 180;
    Ostrevan::Library big;
    ASSERT_TRUE(big.setDetectorCamera(large));
    ASSERT_EQ(0, big.loadPattern(TrackingTest::writePatternFile(dir, "big.pat", marker.picture).c_str()));
    FrameSynth::Scene wide;
    wide.camera = large;
    wide.supersampling = 1;
    FrameSynth::makePose(large.projection[0][0] * 100 / 540, 0, 0, 0.1, 0.1, 1.0,
                         wide.markers.emplace_back(marker).pose);
    const std::vector<uint8_t> wideFrame = render(wide);
    for (bool local : {false, true}) {
        const auto markers = big.detectMarkers(TrackingTest::viewOf(wideFrame, 1920, 1080), 100, local);
        ASSERT_TRUE(markers.has_value());
        EXPECT_TRUE(holds(*markers, 0)) << local;
    }
}

TEST(DetectorParameters, AreaMaximumFollowsTheFrameAndOutOfRangeValuesAreClamped) {
    const DetectorParameters defaults;
    EXPECT_EQ(184320, defaults.areaMaximum(640, 480));
    EXPECT_EQ(1244160, defaults.areaMaximum(1920, 1080));
    Library library;
    DetectorParameters odd;
    odd.maxCandidates = 500;
    odd.areaMinimum = -3;
    odd.areaMaximumFraction = std::nan("");
    odd.cornerFactor = 0.0;
    odd.refineConfidence = std::nan("");
    odd.lookAgainFill = std::nan("");
    library.setParameters(odd);
    EXPECT_EQ(kMaxSquares, library.parameters().maxCandidates);
    EXPECT_EQ(1, library.parameters().areaMinimum);
    EXPECT_EQ(defaults.areaMaximumFraction, library.parameters().areaMaximumFraction);
    EXPECT_EQ(defaults.cornerFactor, library.parameters().cornerFactor);
    EXPECT_EQ(defaults.refineConfidence, library.parameters().refineConfidence);
    EXPECT_EQ(defaults.lookAgainFill, library.parameters().lookAgainFill);
    odd.maxCandidates = 0;
    library.setParameters(odd);
    EXPECT_EQ(1, library.parameters().maxCandidates);
}
