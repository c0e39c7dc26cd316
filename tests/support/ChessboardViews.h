#pragma once

// Views of a printed chessboard as a camera with a known lens takes them, for the calibration
// tests and the picture test of a calibrated camera: every pixel traced back through the camera
// file's lens model onto the board's plane, then blurred and noisy as a webcam's.
#include "Calibration.h"
#include "tracking/camera.h"

#include <opencv2/core.hpp>

#include <vector>

namespace ChessboardViews {

// The board the views show: 9 x 6 inner corners, squares of 25 mm.
const Calibration::Board kBoard{9, 6, 25.0};

// A camera with strong radial distortion (a tenth at the frame's corners), fx and fy apart and
// the centre off the middle, at 640 x 480.
Ostrevan::CameraParameters strongLens();

// Board -> camera: turned by `roll` in its plane, tilted by `tilt` about an axis at `axis`, its
// middle at (x, y, z) millimetres.
void boardPose(double x, double y, double z, double roll, double tilt, double axis, double r[3][3],
               double t[3]);

// The camera's grey picture of the board in that pose (4 samples a pixel), blurred and with
// noise of the given seed.
cv::Mat render(const Ostrevan::CameraParameters& camera, const double r[3][3], const double t[3],
               unsigned seed);

// Twelve views over the whole frame: the board near each edge and corner, tilted every way.
std::vector<cv::Mat> spreadViews(const Ostrevan::CameraParameters& camera);

} // namespace ChessboardViews
