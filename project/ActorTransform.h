#pragma once

#include <OGRE/OgreQuaternion.h>
#include <OGRE/OgreVector.h>

// An actor's own transform as clients set and read it: position, orientation as given (not
// normalised) and scale, in the engine's single precision. The project model keeps one per
// actor and the actor applies it to its node; both change it through these functions so that
// what a client reads back is what the engine draws.
//
// A plain value: no lock, no engine object.
class ActorTransform {
public:
    // False, with nothing changed, for a value the engine's single-precision transforms cannot
    // take (see TransformLimits.h); a scale of 0 is kept.
    bool setPosition(double x, double y, double z);
    bool setOrientation(double w, double x, double y, double z); // kept as given; false near length 0
    bool pitch(double degrees);                                  // turns about the actor's own X axis
    bool yaw(double degrees);                                    // own Y axis
    bool roll(double degrees);                                   // own Z axis
    bool setScale(double x, double y, double z);

    const Ogre::Vector3& position() const { return position_; }
    const Ogre::Quaternion& orientation() const { return orientation_; }
    // The orientation scaled to unit length, as the node takes it.
    Ogre::Quaternion unitOrientation() const;
    const Ogre::Vector3& scale() const { return scale_; }
    // Angles of the stored orientation, degrees.
    double pitchDegrees() const;
    double yawDegrees() const;
    double rollDegrees() const;

    bool operator==(const ActorTransform& other) const {
        return position_ == other.position_ && orientation_ == other.orientation_ && scale_ == other.scale_;
    }
    bool operator!=(const ActorTransform& other) const { return !(*this == other); }

private:
    bool turnAbout(double degrees, const Ogre::Vector3& axis);

    Ogre::Vector3 position_{0.0f, 0.0f, 0.0f};
    Ogre::Quaternion orientation_{1.0f, 0.0f, 0.0f, 0.0f};
    Ogre::Vector3 scale_{1.0f, 1.0f, 1.0f};
};
