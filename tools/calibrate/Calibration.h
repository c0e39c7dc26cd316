#pragma once

#include "tracking/camera.h"

#include <string>
#include <vector>

// Camera calibration from views of a printed chessboard, for velquin-calibrate: the board's
// inner corners found in each picture (OpenCV's calib3d, refined to sub-pixel), OpenCV's own
// calibration as the start, then the camera file's model (focal lengths, centre, distortion
// centre and factor) fitted to every corner by nonlinear least squares, and the verdict on
// whether the views are good enough. Single-threaded; no state between calls.
namespace Calibration {

struct Point {
    double x = 0.0;
    double y = 0.0;
};

// The printed board: inner corners across and down, side of a square in millimetres.
struct Board {
    int columns = 9;
    int rows = 6;
    double square = 25.0;
};

// One view: the board's inner corners in the picture, row by row as OpenCV orders them.
struct View {
    std::string name; // file name or "view N", for the report
    std::vector<Point> corners;
};

// How hard findBoard looks. A photograph is taken to show the board, and is searched through
// whatever it costs; a camera's frame often shows none, and the thorough search of a noisy frame
// without a board takes seconds, so a quick look for corners decides first whether to search.
enum class Search { Thorough, Quick };

// Finds the board in a grey picture (rows top down, width x height bytes) and refines the
// corners to sub-pixel. False when not every inner corner is found.
bool findBoard(const unsigned char* grey, int width, int height, const Board& board, View* view,
               Search search = Search::Thorough);

struct Result {
    Ostrevan::CameraParameters camera; // for frames as the views show them
    double rms = 0.0;                  // reprojection error over every corner, pixels
    std::vector<double> viewRms;       // per view
    int worstView = -1;                // index of the largest viewRms
    double coverage = 0.0;             // part of the frame the corners reach, 0..1
    double openCvRms = 0.0;            // OpenCV's own fit, for comparison
    // Why the set is poor, one sentence each; empty for a good set.
    std::vector<std::string> warnings;
};

// Least views, least coverage and largest RMS of a good set.
constexpr int kMinimumViews = 8;
constexpr double kMinimumCoverage = 0.5;
constexpr double kMaximumRms = 1.0;

// Calibrates a camera of width x height pixels from at least 3 views. False (with a reason in
// `error`) when there are too few views or the fit fails; a poor but usable set succeeds with
// warnings.
bool calibrate(const std::vector<View>& views, const Board& board, int width, int height, Result* result,
               std::string* error);

// The part of the frame the corners reach: the frame divided into 8 x 6 cells, the share of
// cells holding a corner.
double coverageOf(const std::vector<View>& views, int width, int height);

// A calibration for frames turned by 180 degrees, as the player's cameras deliver them.
Ostrevan::CameraParameters turnedHalf(const Ostrevan::CameraParameters& camera);
// The same view in a frame of width x height turned by 180 degrees.
View turnedHalf(const View& view, int width, int height);

// Writes a PNG of the frame with the cells reached shaded and each view's corners as dots.
bool writeCoveragePicture(const std::string& path, const std::vector<View>& views, int width, int height);

} // namespace Calibration
