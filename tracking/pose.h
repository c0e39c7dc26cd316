#pragma once

#include "tracking/camera.h"
#include "tracking/detection.h"

// Pose of a detected marker relative to the camera: [R | t] maps marker coordinates (the marker
// in the plane z = 0, its pattern centre at the given centre, x to the right of the upright
// pattern, y up, in the unit of the marker width) to camera coordinates (x right, y down, z
// forward, same unit).
//
namespace Ostrevan {

// Pose from scratch. Returns the fitting error (mean squared pixel distance of the corners) and
// writes the pose, or returns -1 and leaves the pose untouched: a marker
// without a direction (unidentified), no initial rotation, or a fit that degenerates (singular
// translation system, values that are not finite). `refinements`, when given, receives the
// number of refinement rounds run (1..5).
double estimatePose(const CameraParameters& camera, const DetectedMarker& marker, const double centre[2],
                    double width, double pose[3][4], int* refinements = nullptr);

// Pose starting from the previous one; falls back to a pose from scratch when the fit stays
// above 1.0 and the fresh pose fits better. Returns the error, or -1 (pose untouched) when
// neither succeeds.
double estimatePoseContinuous(const CameraParameters& camera, const DetectedMarker& marker,
                              const double previous[3][4], const double centre[2], double width,
                              double pose[3][4]);

// One refinement of [R | t] for image points `ideal` (distortion-free) and model points (z = 0):
// translation, rotation search, translation, rotation search. Returns the error of the last
// search, or -1 when the translation cannot be solved.
double refinePose(const CameraParameters& camera, double rotation[3][3], double translation[3],
                  const double ideal[][2], const double model[][2], int n);

// Ten rounds of a local search over three rotation angles for fixed translation, against
// observed image points. Returns the mean squared pixel error; rotation is updated.
double searchRotation(const CameraParameters& camera, double rotation[3][3], const double translation[3],
                      const double observed[][2], const double model[][2], int n);

// Gauss-Newton steps on [R | t] (model points with z = 0, image points distortion-free) down to
// the least squares fit of the four corners. Returns the mean squared pixel error per corner.
double polishPose(const CameraParameters& camera, const double ideal[4][2], const double model[4][2],
                  double r[3][3], double t[3]);

void anglesToRotation(double a, double b, double c, double rotation[3][3]);
void rotationToAngles(const double rotation[3][3], double* a, double* b, double* c);

// Rotation of a marker from the vanishing directions of its opposite side lines. False when the
// lines give no rotation (parallel images of perpendicular sides, degenerate camera).
bool initialRotation(const CameraParameters& camera, const DetectedMarker& marker, double rotation[3][3]);

} // namespace Ostrevan
