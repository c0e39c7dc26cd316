#include "actors/LightActor.h"

#include "actors/ActorTexts.h"
#include "actors/MeshActor.h"

#include <OGRE/Ogre.h>

namespace {
std::atomic<unsigned> lightActorCounter{0};
const Actor::Kind LightKind{ActorTexts::LightActorPrefix, ActorTexts::LightActivated,
                            ActorTexts::LightDeactivated, ActorTexts::LightInitFailed, &lightActorCounter};

// The light sits this far along the actor node's Z axis from the bulb's origin.
constexpr Ogre::Real LightHeight = 2.0f;
} // namespace

LightActor::LightActor(Ogre::SceneManager* sceneManager, ActorServices* services, std::string lightName)
    : AnimatedActor(sceneManager, services, LightKind), lightName_(std::move(lightName)) {}

LightActor::~LightActor() {
    removeFromScene();
}

// The light's own position is relative to the node it hangs on, which is what the bulb needs;
// the engine would rather have a node of its own for it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
bool LightActor::createContent() {
    light_ = sceneManager_->createLight(ActorTexts::LightNamePrefix + lightName_);
    if (light_ != nullptr) {
        light_->setPosition(0.0f, 0.0f, LightHeight);
        light_->setPowerScale(1.0f);
        light_->setCastShadows(true);
    }
    bulb_ = sceneManager_->createEntity(engineName(ActorTexts::EntitySuffix), ActorTexts::BulbMesh);
    if (light_ == nullptr || bulb_ == nullptr) {
        return false;
    }
    actorNode_->attachObject(bulb_);
    actorNode_->attachObject(light_);
    actorNode_->attachObject(selectionEntity_);
    return true;
}
#pragma GCC diagnostic pop

void LightActor::destroyContent() {
    Ogre::Entity* bulb = bulb_;
    Ogre::Light* light = light_;
    bulb_ = nullptr;
    light_ = nullptr;
    if (bulb != nullptr) {
        sceneManager_->destroyEntity(bulb);
    }
    if (light != nullptr) {
        sceneManager_->destroyLight(light);
    }
}

void LightActor::showContent() {
    Actor::showContent();
    light_->setVisible(true);
}

void LightActor::hideContent() {
    Actor::hideContent();
    light_->setVisible(false);
}

Ogre::Entity* LightActor::bulb() const {
    if (actorNode_ == nullptr || actorNode_->numAttachedObjects() == 0) {
        return nullptr;
    }
    return dynamic_cast<Ogre::Entity*>(actorNode_->getAttachedObject(0));
}

Ogre::AnimationState* LightActor::findAnimationState(const std::string& name) {
    return entityAnimationState(bulb(), name);
}

std::set<std::string>& LightActor::getAnimationNames(std::set<std::string>& names) {
    return entityAnimationNames(bulb(), names);
}
