#pragma once

#include "tracking/camera.h"
#include "tracking/frame.h"
#include "tracking/labelling.h"

#include <cstdint>

// Square-marker detection: regions of dark pixels whose outer contour is a quadrilateral, their
// side lines and corners, the identity and orientation of the pattern inside, smoothed over the
// last frames by a marker history.
//
// Process-wide state of the marker library, in one place: the detector camera (camera.h), the
// pattern table (pattern.h), the detector's work memory (labels, candidates, marker list) and
// the marker history. None of it is locked by the library. Every call that touches it
// (setDetectorCamera, detectMarkers, loadPattern, freePattern, matchPattern, estimatePose,
// estimatePoseContinuous, refinePose, searchRotation) must be made while the caller holds the
// one lock that serialises tracking. In the player that is the scene lock: the capture thread
// detects and estimates poses under it, connection threads load and free patterns under it
// (through the tracking manager). Functions that take all their input as arguments (labelImage,
// findSquares, traceContour, checkSquare, splitAtFarthest, fitSideLines, the camera arithmetic,
// the rotation helpers) touch no shared state.
namespace Ostrevan {

constexpr int kMaxSquares = 30;      // candidates and markers per frame
constexpr int kMaxContour = 10000;   // contour points per candidate, closing point included
constexpr int kMaxHistory = 90;      // entries of the marker history
constexpr int kAreaMinimum = 70;     // smallest region, in pixels, that can be a marker
constexpr int kAreaMaximum = 100000; // largest region

// A region whose outer contour has four corners.
struct SquareCandidate {
    int32_t area;                  // pixel count of the region
    double centre[2];              // region centre
    int32_t contourLength;         // contour points, the closing point (= point 0) included
    int32_t contourX[kMaxContour]; // contour, clockwise on the screen, from the point farthest
    int32_t contourY[kMaxContour]; // from the region's first pixel
    int32_t corners[5];            // contour indices of the four corners, then contourLength - 1
};

// A square found in a frame.
struct DetectedMarker {
    int32_t area = 0;          // pixel count of the region
    int32_t id = -1;           // pattern slot, -1 when unidentified
    int32_t direction = 0;     // 0..3: model corner k lies at corner (4 - direction + k) % 4
    double confidence = 0.0;   // correlation of the best pattern, -1..1
    double centre[2] = {};     // region centre, as observed (not corrected for distortion)
    double lines[4][3] = {};   // side lines a x + b y + c = 0, distortion-free coordinates
    double corners[4][2] = {}; // corner i = crossing of line (i + 3) % 4 and line i, distortion-free
};

// One frame's detection: labels, squares, markers and history. Returns false, and changes
// nothing of the history, when no detector camera is installed, the frame's size differs from
// the detector camera's, or labelling fails (too many provisional labels). Otherwise *markers
// points to *count markers (at most kMaxSquares), valid until the next call.
bool detectMarkers(const FrameView& frame, int threshold, const DetectedMarker** markers, int* count);
// The same with the choice of a local binarisation (see labelImage) instead of the threshold.
bool detectMarkers(const FrameView& frame, int threshold, bool local, const DetectedMarker** markers,
                   int* count);

// Square candidates of a labelled frame: regions with area in [areaMinimum, areaMaximum] that
// keep off the outermost labelled rows and columns, with a four-cornered contour; at most
// kMaxSquares; of two with close centres only the larger (of equal ones, the later). Returns the
// number stored in `candidates` (room for kMaxSquares).
int findSquares(const Labelling& labels, int areaMinimum, int areaMaximum, double factor,
                SquareCandidate* candidates);

// Traces the outer contour of a region into the candidate (contour points and length, the
// closing point appended). False, with a "???" message on standard output, when it cannot.
bool traceContour(const Labelling& labels, int region, SquareCandidate* candidate);

// Finds the four corners of a traced contour. False when the contour is no quadrilateral.
bool checkSquare(SquareCandidate* candidate, int area, double factor);

// Collects the corners on the contour stretch [s, e] whose distance from the chord exceeds the
// threshold (squared distance per squared chord length), in contour order, into list[*count].
// False when more than six corners turn up.
bool splitAtFarthest(const int32_t* x, const int32_t* y, int s, int e, double threshold, int32_t* list,
                     int* count);

// Fits the four side lines and corners of a candidate's contour, corrected for lens distortion.
// False when a side has fewer than two points or two neighbouring lines are parallel.
bool fitSideLines(const SquareCandidate& candidate, const double distortion[4], DetectedMarker* marker);

// Moves the side lines of a marker fitted by fitSideLines onto the edges of the picture: along
// each side, the place between contour pixel and outside where the grey level crosses halfway
// from the black border to the paper, interpolated between pixels, then refitted. Sides without
// a clear edge keep their line. False (marker unchanged) when the refined lines make no
// quadrilateral near the first one.
bool refineSideLines(const FrameView& frame, const SquareCandidate& candidate, const double distortion[4],
                     DetectedMarker* marker);

// Turns candidates into markers: lines, corners (refined to the edges), pattern identity.
// Returns the marker count.
int describeMarkers(const SquareCandidate* candidates, int count, const FrameView& frame,
                    const double distortion[4], DetectedMarker* markers);

// The marker history: remembers identified markers for three frames so that a marker keeps a
// better identification it had and is still reported for two frames after it was last seen.
class MarkerHistory {
public:
    // Applies the history to the markers of one frame and records them. The list has room for
    // `capacity` markers; persisted markers beyond that are dropped, keeping those of highest
    // confidence (of equal ones, the earlier), in list order.
    void apply(DetectedMarker* markers, int* count, int capacity);
    int size() const { return count_; }

private:
    struct Entry {
        DetectedMarker marker;
        int32_t age;
    };
    Entry entries_[kMaxHistory];
    int count_ = 0;
};

} // namespace Ostrevan
