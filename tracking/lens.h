#pragma once

#include "tracking/camera.h"

#include <vector>

// The camera picture as the background of the 3D view, freed of lens distortion: a finely
// divided full-screen grid whose texture coordinates say which point of the camera frame each
// screen point shows. The main camera of the view looks along +Z with marker poses given in the
// detector's camera coordinates (x right, y down), so the screen shows the frame turned by 180
// degrees; each grid vertex takes the direction the view's camera draws there, projects it with
// the calibration into distortion-free pixels and moves it where the lens put it in the frame.
// Content drawn at a marker's pose then lies on the marker everywhere in the picture.
namespace Ostrevan {

struct BackgroundVertex {
    float x = 0.0f; // screen position, -1 (left) .. 1 (right)
    float y = 0.0f; // -1 (bottom) .. 1 (top)
    float u = 0.0f; // frame position: 0 .. 1 from the frame's first column
    float v = 0.0f; // 0 .. 1 from the frame's first row
};

// (columns + 1) x (rows + 1) vertices, row by row from the bottom of the screen, each row from
// the left. `camera` is the calibration at the frame size (width x height); without one the grid
// shows the whole frame turned by 180 degrees. fovY is the view camera's vertical field of view
// in degrees, aspect its width / height.
std::vector<BackgroundVertex> backgroundGrid(const CameraParameters* camera, int width, int height,
                                             double fovY, double aspect, int columns, int rows);

} // namespace Ostrevan
