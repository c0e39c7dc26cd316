#include "actors/Actor.h"

#include "actors/ActorServices.h"
#include "actors/ActorTexts.h"
#include "actors/TransformLimits.h"
#include "platform/enginelog.h"

#include <OGRE/Ogre.h>

#include <cmath>
#include <cstdlib>
#include <iostream>

namespace {

// Gesture window: the marker was covered for more than MinHidden and less than MaxHidden
// seconds.
constexpr float MinHidden = 0.5f;
constexpr float MaxHidden = 2.5f;
// Moves are ten times the action's argument.
constexpr float MoveStep = 10.0f;

// The action argument as atof reads it. Infinities and NaN count as no number: they would
// poison the node's transform and every bounding box above it.
float argumentValue(const std::string& argument) {
    const double value = std::atof(argument.c_str());
    return std::isfinite(value) ? static_cast<float>(value) : 0.0f;
}

Ogre::Quaternion turn(double degrees, const Ogre::Vector3& axis) {
    return Ogre::Quaternion(Ogre::Radian(Ogre::Degree(static_cast<Ogre::Real>(degrees))), axis);
}

} // namespace

Actor::Actor(Ogre::SceneManager* sceneManager, ActorServices* services, const Kind& kind)
    : sceneManager_(sceneManager), services_(services), kind_(kind) {}

bool Actor::init() {
    takePrefix();
    try {
        if (buildFrame() && createContent()) {
            finishInit();
            return true;
        }
    } catch (const Ogre::Exception& error) {
        // The engine has logged the exception itself; the kind's line follows.
        VelOS::noteFailure(error.getDescription());
    }
    logLine(kind_.initFailedLine);
    return false;
}

void Actor::takePrefix() {
    prefix_ = kind_.prefix + std::to_string(kind_.counter->fetch_add(1));
}

bool Actor::buildFrame() {
    Ogre::SceneNode* mainNode = services_ != nullptr ? services_->getMainNode() : nullptr;
    if (mainNode == nullptr || sceneManager_ == nullptr) {
        return false;
    }
    rootNode_ = mainNode->createChildSceneNode(engineName(ActorTexts::NodeSuffix), Ogre::Vector3::ZERO,
                                               Ogre::Quaternion::IDENTITY);
    selectionEntity_ =
        sceneManager_->createEntity(engineName(ActorTexts::SelectedEntitySuffix), ActorTexts::SelectionMesh);
    selectionEntity_->setVisible(false);
    actorNode_ = rootNode_->createChildSceneNode(engineName(ActorTexts::ActorNodeSuffix), Ogre::Vector3::ZERO,
                                                 Ogre::Quaternion::IDENTITY);
    return true;
}

void Actor::finishInit() {
    rootNode_->setVisible(false, true);
    actorNode_->setScale(scale_);
    activated_ = false;
    selected_ = false;
    yaw(90.0);
    roll(90.0);
}

void Actor::removeFromScene() {
    if (rootNode_ == nullptr) {
        return;
    }
    try {
        destroyContent();
    } catch (const Ogre::Exception&) {
        // Whatever the engine refused to destroy is its own now; the rest still goes.
    }
    destroyFrame();
}

void Actor::destroyFrame() {
    if (rootNode_ != nullptr) {
        try {
            rootNode_->removeAndDestroyAllChildren();
            sceneManager_->destroySceneNode(rootNode_); // also takes it off its parent
        } catch (const Ogre::Exception&) {
        }
    }
    rootNode_ = nullptr;
    actorNode_ = nullptr;
    if (selectionEntity_ != nullptr) {
        try {
            sceneManager_->destroyEntity(selectionEntity_);
        } catch (const Ogre::Exception&) {
        }
        selectionEntity_ = nullptr;
    }
    activated_ = false;
    selected_ = false;
}

void Actor::select() {
    if (!activated_ || selectionEntity_ == nullptr) {
        return;
    }
    selectionEntity_->setVisible(true);
    selected_ = true;
}

void Actor::unselect() {
    if (selectionEntity_ != nullptr) {
        selectionEntity_->setVisible(false);
    }
    selected_ = false;
}

bool Actor::isSelected() {
    return selected_;
}

Ogre::SceneNode* Actor::getNode() {
    return rootNode_;
}

bool Actor::ownsNode(Ogre::SceneNode* node) {
    return node != nullptr && (node == rootNode_ || node == actorNode_);
}

void Actor::addTime(float seconds) {
    advanceAnimation(seconds);
    if (services_ == nullptr || !services_->isHandMode()) {
        return;
    }
    if (!activated_) {
        hiddenTime_ += seconds;
        return;
    }
    if (hiddenTime_ > MinHidden && hiddenTime_ < MaxHidden) {
        gesture();
    }
    hiddenTime_ = 0.0f;
}

void Actor::activated() {
    std::cout << kind_.activatedLine << std::endl;
    if (activated_ || actorNode_ == nullptr) {
        return;
    }
    showContent();
    selectionEntity_->setVisible(selected_);
    activated_ = true;
}

void Actor::deactivated() {
    std::cout << kind_.deactivatedLine << std::endl;
    if (activated_) {
        hideContent();
        activated_ = false;
    }
}

void Actor::showContent() {
    actorNode_->setVisible(true, false);
}

void Actor::hideContent() {
    actorNode_->setVisible(false, true);
}

void Actor::setPosePosition(float x, float y, float z) {
    if (rootNode_ != nullptr) {
        rootNode_->setPosition(x, y, z);
    }
}

void Actor::setPoseOrientation(float w, float x, float y, float z) {
    if (rootNode_ != nullptr) {
        rootNode_->setOrientation(w, x, y, z);
    }
}

bool Actor::setPosition(double x, double y, double z) {
    if (!Transform::usableCoordinates(x, y, z)) {
        return false;
    }
    position_ = Ogre::Vector3(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
    if (actorNode_ != nullptr) {
        actorNode_->setPosition(position_);
    }
    return true;
}

bool Actor::setOrientation(double w, double x, double y, double z) {
    double unit[4];
    if (!Transform::normalisedRotation(w, x, y, z, unit)) {
        return false;
    }
    // Kept as given, so that getRotation answers what was set; the node gets it normalised.
    orientation_ = Ogre::Quaternion(static_cast<float>(w), static_cast<float>(x), static_cast<float>(y),
                                    static_cast<float>(z));
    applyOrientation();
    return true;
}

bool Actor::turnAbout(double degrees, const Ogre::Vector3& axis) {
    if (!Transform::usableAngle(degrees)) {
        return false;
    }
    orientation_ = orientation_ * turn(degrees, axis);
    applyOrientation();
    return true;
}

bool Actor::pitch(double degrees) {
    return turnAbout(degrees, Ogre::Vector3::UNIT_X);
}

bool Actor::yaw(double degrees) {
    return turnAbout(degrees, Ogre::Vector3::UNIT_Y);
}

bool Actor::roll(double degrees) {
    return turnAbout(degrees, Ogre::Vector3::UNIT_Z);
}

bool Actor::setScale(double x, double y, double z) {
    if (!Transform::usableCoordinates(x, y, z)) {
        return false;
    }
    scale_ = Ogre::Vector3(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
    if (actorNode_ != nullptr) {
        actorNode_->setScale(scale_);
    }
    return true;
}

void Actor::applyOrientation() {
    if (actorNode_ != nullptr) {
        Ogre::Quaternion unit = orientation_;
        unit.normalise();
        actorNode_->setOrientation(unit);
    }
}

double Actor::getPitch() const {
    return orientation_.getPitch().valueDegrees();
}

double Actor::getYaw() const {
    return orientation_.getYaw().valueDegrees();
}

double Actor::getRoll() const {
    return orientation_.getRoll().valueDegrees();
}

bool Actor::transformAction(const std::string& keyword, const std::string& argument) {
    using namespace ActorTexts;
    const float v = argumentValue(argument);
    if (keyword == MoveX || keyword == MoveY || keyword == MoveZ) {
        const int axis = keyword == MoveX ? 0 : keyword == MoveY ? 1 : 2;
        Ogre::Vector3 moved = position_;
        moved[axis] += MoveStep * v;
        setPosition(moved.x, moved.y, moved.z);
    } else if (keyword == RotateX) {
        setOrientation(v, 1, 0, 0);
    } else if (keyword == RotateY) {
        setOrientation(v, 0, 1, 0);
    } else if (keyword == RotateZ) {
        setOrientation(v, 0, 0, 1);
    } else if (keyword == ScaleX || keyword == ScaleY || keyword == ScaleZ) {
        const int axis = keyword == ScaleX ? 0 : keyword == ScaleY ? 1 : 2;
        Ogre::Vector3 scaled = scale_;
        scaled[axis] += v;
        setScale(scaled.x, scaled.y, scaled.z);
    } else {
        return false;
    }
    return true;
}

void Actor::logLine(const std::string& line) const {
    if (Ogre::LogManager* logs = Ogre::LogManager::getSingletonPtr()) {
        logs->logMessage(line);
    }
}
