#pragma once

#include "tracking/DetectorParameters.h"
#include "tracking/camera.h"
#include "tracking/frame.h"
#include "tracking/labelling.h"
#include "tracking/pattern.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// Square-marker detection: regions of dark pixels whose outer contour is a quadrilateral, their
// side lines and corners, the identity and orientation of the pattern inside, smoothed over the
// last frames by a marker history.
//
// The state of the marker library (detector camera, pattern table, work memory, marker history)
// lives in a Library object; each tracking manager owns one, and two run side by side without
// meeting. A Library is not locked: its owner serialises the calls (the player's tracking manager
// under its own lock). The functions outside it take all their input as arguments.
namespace Ostrevan {

constexpr int kMaxContour = 10000; // contour points per candidate, closing point included
constexpr int kMaxHistory = 90;    // entries of the marker history

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

// Square candidates of a labelled frame: regions with area in [areaMinimum, areaMaximum] that
// keep off the outermost labelled rows and columns, with a four-cornered contour; of two with
// close centres only the larger (of equal ones, the later); in the order of the regions. When
// more than `capacity` regions are four-cornered, the `capacity` likeliest markers are kept
// (squareLikelihood; of equal ones the earlier). Returns the number stored in `candidates`
// (room for `capacity`, at most kMaxSquares).
int findSquares(const Labelling& labels, int areaMinimum, int areaMaximum, double factor,
                SquareCandidate* candidates, int capacity = kMaxSquares);

// The squares of one frame while they are being found: every region offered is traced once and
// kept when it is four-cornered, its contour in one buffer that grows as needed (a frame may hold
// more squares than the candidate list has room for); take() then ranks them, keeps what fits
// and removes overlaps, as findSquares describes. Reused from frame to frame.
class SquareCollector {
public:
    enum class Offer {
        Skipped,   // area outside the limits, or untraceable
        AtTheEdge, // touching the frame's outermost labelled rows or columns: never a candidate
        Square,    // kept
        NoSquare,  // traced, but its contour has no four corners
    };
    // Where labels of a part of the frame lie in it: their pixel (x, y) is the frame's
    // (x + dx, y + dy). A frame size of 0 stands for the labels' own.
    struct Placement {
        int dx = 0;
        int dy = 0;
        int frameWidth = 0;
        int frameHeight = 0;
    };

    SquareCollector();
    ~SquareCollector();
    SquareCollector(const SquareCollector&) = delete;
    SquareCollector& operator=(const SquareCollector&) = delete;

    void clear() {
        kept_.clear();
        xs_.clear();
        ys_.clear();
    }
    // Offers a region of `labels`, placed in the frame by `place`; `order` places the square among
    // the others (the number of the frame's region it stands for). For NoSquare, `fill` (may be
    // null) receives the share of the pixels inside the region's outline that belong to it (1: no
    // hole at all).
    Offer offer(const Labelling& labels, int region, int areaMinimum, int areaMaximum, double factor,
                int order, const Placement& place, double* fill = nullptr);
    int size() const { return static_cast<int>(kept_.size()); }
    // Whether a kept square of more than `area` pixels has the point (frame coordinates) inside
    // the quadrilateral of its corners.
    bool encloses(double x, double y, int area) const;
    // Stores the kept squares into `candidates` (room for `capacity`, at most kMaxSquares), the
    // likeliest markers when there are more, in order; then of two with close centres only the
    // larger (of equal ones, the later). `regions` (may be null; room for `capacity`) receives
    // for each the region of the frame's own labels it is, 0 for a square of a part. Returns the
    // number stored.
    int take(SquareCandidate* candidates, int capacity, int* regions = nullptr);

private:
    struct Kept {
        int32_t area;
        double centre[2];
        int32_t order;
        int32_t region; // of the frame's own labels; 0 for a square of a part
        double score;   // squareLikelihood
        size_t first;   // of its contour in xs_ and ys_
        int32_t length; // contour points, the closing point included
        int32_t corners[5];
    };
    std::vector<Kept> kept_;  // in the order offered
    std::vector<int32_t> xs_; // contours of the kept squares, one after the other
    std::vector<int32_t> ys_;
    std::vector<int> chosen_;                  // take(): indices into kept_
    std::unique_ptr<SquareCandidate> tracing_; // where a region is traced before it is kept
};

// The share of the pixels within a four-cornered region's corners that belong to the region.
double squareFill(const SquareCandidate& candidate, int area);
// Below this fill a square is hollow: a black border around a lighter picture, as a marker's.
// A solid dark square (a tile, a window, a chessboard's field) fills more.
constexpr double kHollowFill = 0.9;

// How much a four-cornered region looks like a marker, for ranking candidates: above 2 for a
// hollow quadrilateral, plus up to 1 for sides of equal length and up to 0.25 for size. A solid
// dark square scores below 1.25.
double squareLikelihood(const SquareCandidate& candidate, int area);

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

class MarkerHistory;

// Turns candidates into markers: lines, corners, pattern identity. The pattern is first sampled
// between the contour's corners. A hollow square (kHollowFill), one whose identification reaches
// the parameters' refineConfidence, one smaller than their refineArea, or one that stands where
// `history` (may be null) remembers a marker has its lines fitted to its contour (fitSideLines)
// and refined to the edges of the picture, and is identified again between the refined corners;
// the others keep that first identification, with the lines through the contour's corners.
// With `skipPatterns`, the squares inside an identified marker (the cells of its pattern) are
// not described and not listed. Returns the marker count (markers in the candidates' order).
int describeMarkers(const SquareCandidate* candidates, int count, const FrameView& frame,
                    const double distortion[4], const PatternTable& patterns, DetectedMarker* markers,
                    const DetectorParameters& parameters, const MarkerHistory* history, bool skipPatterns);

// The marker history: remembers identified markers for three frames so that a marker keeps a
// better identification it had and is still reported for two frames after it was last seen.
class MarkerHistory {
public:
    // Applies the history to the markers of one frame and records them. The list has room for
    // `capacity` markers; persisted markers beyond that are dropped, keeping those of highest
    // confidence (of equal ones, the earlier), in list order.
    void apply(DetectedMarker* markers, int* count, int capacity);
    int size() const { return count_; }
    // Whether an entry stands for the marker (as apply() matches them: area and place).
    bool remembers(const DetectedMarker& marker) const;

private:
    struct Entry {
        DetectedMarker marker;
        int32_t age;
    };
    Entry entries_[kMaxHistory];
    int count_ = 0;
};

// One marker detector: the camera detection and poses use, the pattern table, the work memory
// of a frame and the marker history.
class Library {
public:
    Library();
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    // Installs the camera detection and poses use. False (the previous camera kept) for a record
    // whose size is not a usable frame size.
    bool setDetectorCamera(const CameraParameters& camera);
    // The installed camera, or nullptr before the first setDetectorCamera.
    const CameraParameters* detectorCamera() const { return hasCamera_ ? &camera_ : nullptr; }

    int loadPattern(const char* fileName) { return patterns_.load(fileName); }
    int freePattern(int slot) { return patterns_.free(slot); }
    int patternCount() const { return patterns_.count(); }
    const PatternSlot* patternSlot(int slot) const { return patterns_.slot(slot); }
    void matchPattern(const SampledPattern& sample, int* id, int* direction, double* confidence) const {
        patterns_.match(sample, id, direction, confidence);
    }

    // The detector's tunables, used from the next frame on. Values out of range are clamped
    // (maxCandidates to 1..kMaxSquares, the area limits to at least 1 pixel); a factor, share or
    // correlation that is not a number takes its default.
    void setParameters(const DetectorParameters& parameters);
    const DetectorParameters& parameters() const { return parameters_; }

    // One frame's detection: labels, squares, markers and history; at most kMaxSquares markers.
    // Nothing, and no change to the history, when no camera is installed, the frame's size
    // differs from the camera's, or labelling fails (too many provisional labels). With `local`
    // the frame is binarised against each part's surroundings instead of the threshold (which
    // then decides only where the surroundings are all of one grey).
    std::optional<std::vector<DetectedMarker>> detectMarkers(const FrameView& frame, int threshold,
                                                             bool local = false);
    int historySize() const { return history_.size(); }

    // Poses with the installed camera (see pose.h); -1 without one.
    double estimatePose(const DetectedMarker& marker, const double centre[2], double width, double pose[3][4],
                        int* refinements = nullptr) const;
    double estimatePoseContinuous(const DetectedMarker& marker, const double previous[3][4],
                                  const double centre[2], double width, double pose[3][4]) const;

private:
    // A region of a locally binarised frame that is no square, looked at again on its own: see
    // detection.cpp. Squares found are offered to collector_.
    void lookAgain(const FrameView& frame, int region);
    // After describing: hollow squares that name no pattern, looked at again; returns the new
    // marker count.
    int lookAgainAtUnnamed(const FrameView& frame, int squares, DetectedMarker* markers, int found);

    bool hasCamera_ = false;
    CameraParameters camera_;
    DetectorParameters parameters_;
    PatternTable patterns_;
    Labelling labels_;                           // the last frame's labels
    SquareCollector collector_;                  // the last frame's squares
    std::unique_ptr<SquareCandidate[]> retried_; // squares found looking again after describing
    int squareRegions_[kMaxSquares] = {};        // the region of each candidate, 0 for a part
    std::vector<int32_t> unsquare_;              // the last frame's regions to look at again
    Labelling again_;                            // labels of the region looked at again
    std::unique_ptr<SquareCandidate[]> squares_; // kMaxSquares candidates, made on first use
    MarkerHistory history_;                      // carried over from frame to frame
};

} // namespace Ostrevan
