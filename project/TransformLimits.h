#pragma once

#include <cmath>
#include <limits>

// What numbers an actor's transform may take. The engine keeps transforms in single precision
// and asserts (aborting the player) on a NaN or on normalising a zero quaternion. Every number
// from a client, an action or a project document passes these checks before it reaches the
// model: finite, and within single precision. What is drawn is bounded further (DrawnMagnitude),
// so that no product of position, scale, the content's own size and the marker's pose overflows.
namespace Transform {

// Largest magnitude of a position coordinate, a scale factor or an angle in degrees: the largest
// single-precision number. A scene of kilometres in millimetres, or a scale of 1e20, is a value
// a show may hold.
constexpr double MaximumMagnitude = static_cast<double>(std::numeric_limits<float>::max());
// A rotation whose quaternion is shorter than this has no direction to normalise to.
constexpr double MinimumRotationLength = 1e-6;
// Largest magnitude of a position coordinate or scale factor given to the engine's nodes. The
// model keeps what the client set; the node gets it clamped to this, far out of any view, so
// that a position times a scale times a mesh's extent (each up to 1e20, 1e20 and 1e4) stays
// within single precision (3.4e38) with room to spare.
constexpr double DrawnMagnitude = 1e20;

inline float drawn(float value) {
    return value > DrawnMagnitude    ? static_cast<float>(DrawnMagnitude)
           : value < -DrawnMagnitude ? static_cast<float>(-DrawnMagnitude)
                                     : value;
}

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
