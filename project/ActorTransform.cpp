#include "project/ActorTransform.h"

#include "project/TransformLimits.h"

#include <OGRE/OgreMath.h>

bool ActorTransform::setPosition(double x, double y, double z) {
    if (!Transform::usableCoordinates(x, y, z)) {
        return false;
    }
    position_ = Ogre::Vector3(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
    return true;
}

bool ActorTransform::setOrientation(double w, double x, double y, double z) {
    double unit[4];
    if (!Transform::normalisedRotation(w, x, y, z, unit)) {
        return false;
    }
    // Kept as given, so that getRotation answers what was set; the node gets it normalised.
    orientation_ = Ogre::Quaternion(static_cast<float>(w), static_cast<float>(x), static_cast<float>(y),
                                    static_cast<float>(z));
    return true;
}

bool ActorTransform::turnAbout(double degrees, const Ogre::Vector3& axis) {
    if (!Transform::usableAngle(degrees)) {
        return false;
    }
    orientation_ =
        orientation_ * Ogre::Quaternion(Ogre::Radian(Ogre::Degree(static_cast<Ogre::Real>(degrees))), axis);
    return true;
}

bool ActorTransform::pitch(double degrees) {
    return turnAbout(degrees, Ogre::Vector3::UNIT_X);
}

bool ActorTransform::yaw(double degrees) {
    return turnAbout(degrees, Ogre::Vector3::UNIT_Y);
}

bool ActorTransform::roll(double degrees) {
    return turnAbout(degrees, Ogre::Vector3::UNIT_Z);
}

bool ActorTransform::setScale(double x, double y, double z) {
    if (!Transform::usableCoordinates(x, y, z)) {
        return false;
    }
    scale_ = Ogre::Vector3(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
    return true;
}

Ogre::Quaternion ActorTransform::unitOrientation() const {
    // Normalised in double precision: the squares of large components would overflow a float.
    double unit[4];
    if (!Transform::normalisedRotation(orientation_.w, orientation_.x, orientation_.y, orientation_.z,
                                       unit)) {
        return Ogre::Quaternion::IDENTITY;
    }
    return Ogre::Quaternion(static_cast<float>(unit[0]), static_cast<float>(unit[1]),
                            static_cast<float>(unit[2]), static_cast<float>(unit[3]));
}

double ActorTransform::pitchDegrees() const {
    return orientation_.getPitch().valueDegrees();
}

double ActorTransform::yawDegrees() const {
    return orientation_.getYaw().valueDegrees();
}

double ActorTransform::rollDegrees() const {
    return orientation_.getRoll().valueDegrees();
}
