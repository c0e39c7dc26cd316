#include "actors/Actor.h"

#include "actors/ActorServices.h"
#include "actors/ActorTexts.h"
#include "platform/enginelog.h"
#include "project/TransformLimits.h"

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
        failure_ = error.getDescription();
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
    applyToNode();
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

Ogre::Entity* Actor::createEntityOfMesh(const std::string& suffix, const std::string& meshName) {
    Ogre::MeshManager& meshes = Ogre::MeshManager::getSingleton();
    const bool known = static_cast<bool>(meshes.getResourceByName(meshName, Ogre::RGN_AUTODETECT));
    try {
        return sceneManager_->createEntity(engineName(suffix), meshName);
    } catch (const Ogre::Exception&) {
        if (!known) {
            Ogre::ResourcePtr left = meshes.getResourceByName(meshName, Ogre::RGN_AUTODETECT);
            if (left && !left->isLoaded()) {
                meshes.remove(left);
            }
        }
        throw;
    }
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
    return transformApplied(transform_.setPosition(x, y, z));
}

bool Actor::setOrientation(double w, double x, double y, double z) {
    return transformApplied(transform_.setOrientation(w, x, y, z));
}

bool Actor::pitch(double degrees) {
    return transformApplied(transform_.pitch(degrees));
}

bool Actor::yaw(double degrees) {
    return transformApplied(transform_.yaw(degrees));
}

bool Actor::roll(double degrees) {
    return transformApplied(transform_.roll(degrees));
}

bool Actor::setScale(double x, double y, double z) {
    return transformApplied(transform_.setScale(x, y, z));
}

void Actor::setTransform(const ActorTransform& transform) {
    transform_ = transform;
    applyToNode();
}

bool Actor::transformApplied(bool changed) {
    if (changed) {
        applyToNode();
    }
    return changed;
}

void Actor::applyToNode() {
    if (actorNode_ != nullptr) {
        const Ogre::Vector3& position = transform_.position();
        const Ogre::Vector3& scale = transform_.scale();
        using Transform::drawn;
        actorNode_->setPosition(drawn(position.x), drawn(position.y), drawn(position.z));
        actorNode_->setOrientation(transform_.unitOrientation());
        actorNode_->setScale(drawn(scale.x), drawn(scale.y), drawn(scale.z));
    }
}

bool Actor::transformAction(const std::string& keyword, const std::string& argument) {
    using namespace ActorTexts;
    const float v = argumentValue(argument);
    if (keyword == MoveX || keyword == MoveY || keyword == MoveZ) {
        const int axis = keyword == MoveX ? 0 : keyword == MoveY ? 1 : 2;
        Ogre::Vector3 moved = transform_.position();
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
        Ogre::Vector3 scaled = transform_.scale();
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
