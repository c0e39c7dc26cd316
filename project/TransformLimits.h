#pragma once

#include <cmath>

// What numbers an actor's transform may take. The engine keeps transforms in single precision
// and asserts (aborting the player) on a NaN or on normalising a zero quaternion, and products
// of huge positions, scales and the marker's pose overflow to infinity. Every number from a
// client, an action or a project document passes these checks before it reaches a node.
namespace Transform {

// Largest magnitude of a position coordinate, a scale factor or an angle in degrees. Far beyond
// any real show (a million marker widths), and far enough below the single-precision range that
// no product of position, scale and pose overflows.
constexpr double MaximumMagnitude = 1e6;
// A rotation whose quaternion is shorter than this has no direction to normalise to.
constexpr double MinimumRotationLength = 1e-6;

inline bool usableNumber(double value) {
    return std::isfinite(value) && std::fabs(value) <= MaximumMagnitude;
}

inline bool usableCoordinates(double x, double y, double z) {
    return usableNumber(x) && usableNumber(y) && usableNumber(z);
}

inline bool usableAngle(double degrees) {
    return usableNumber(degrees);
}

// The quaternion (w, x, y, z) scaled to unit length into unit[4]; false for a component that is
// not usable or a length too short to give a direction.
inline bool normalisedRotation(double w, double x, double y, double z, double unit[4]) {
    if (!usableNumber(w) || !usableNumber(x) || !usableNumber(y) || !usableNumber(z)) {
        return false;
    }
    const double length = std::sqrt(w * w + x * x + y * y + z * z);
    if (!(length >= MinimumRotationLength)) {
        return false;
    }
    unit[0] = w / length;
    unit[1] = x / length;
    unit[2] = y / length;
    unit[3] = z / length;
    return true;
}

} // namespace Transform
