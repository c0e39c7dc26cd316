#pragma once

#include "tracking/camera.h"

#include <vector>

// The camera picture as the background of the 3D view, freed of lens distortion, and the view
// that shows it. The main camera of the view looks along +Z with marker poses given in the
// detector's camera coordinates (x right, y down), so the screen shows the frame turned by 180
// degrees. The view's frustum comes from the calibration's focal lengths and centre, fitted so
// that the whole frame shows with its middle in the middle of the view; the background is a
// finely divided full-screen grid whose texture coordinates say which point of the frame each
// screen point shows: each vertex takes the direction the view draws there, projects it with the
// calibration into distortion-free pixels and moves it where the lens put it in the frame.
// Content drawn at a marker's pose then lies on the marker everywhere in the picture.
namespace Ostrevan {

// A view's frustum as the tangents of its side planes' angles with the optical axis (the
// extents at a distance of 1), as the screen shows them: x grows to the right, y upwards.
struct ViewExtents {
    double left = -1.0;
    double right = 1.0;
    double bottom = -1.0;
    double top = 1.0;
};

// The sanest views: no side more than this many degrees off the axis, none narrower than the
// other bound. A calibration beyond them (a hostile or broken file, a 2 x 2 frame) is clamped.
constexpr double kMaxViewHalfAngle = 80.0;
constexpr double kMinViewAngle = 0.5;

// The calibration of an ideal camera with a horizontal field of view of 60 degrees and its
// axis through the middle of the frame: what the view uses without a camera file.
CameraParameters idealCamera(int width, int height);

// The view of a frame of width x height seen through `camera` (the calibration at that size;
// nullptr: idealCamera) in a viewport of the given aspect (width / height): the whole frame,
// filling the viewport's width or its height, its middle in the viewport's middle; clamped to
// kMaxViewHalfAngle and kMinViewAngle.
ViewExtents frameView(const CameraParameters* camera, int width, int height, double viewportAspect);

struct BackgroundVertex {
    float x = 0.0f; // screen position, -1 (left) .. 1 (right)
    float y = 0.0f; // -1 (bottom) .. 1 (top)
    float u = 0.0f; // frame position: 0 .. 1 from the frame's first column
    float v = 0.0f; // 0 .. 1 from the frame's first row
};

// (columns + 1) x (rows + 1) vertices, row by row from the bottom of the screen, each row from
// the left, for a view of the given extents. `camera` is the calibration at the frame size
// (width x height); nullptr stands for idealCamera. Screen points the frame does not cover get
// texture coordinates outside 0..1.
std::vector<BackgroundVertex> backgroundGrid(const CameraParameters* camera, int width, int height,
                                             const ViewExtents& view, int columns, int rows);

} // namespace Ostrevan
