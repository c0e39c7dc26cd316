#include "actors/MeshActor.h"

#include "actors/ActorTexts.h"

#include <OGRE/Ogre.h>

namespace {
std::atomic<unsigned> meshActorCounter{0};
const Actor::Kind MeshKind{ActorTexts::MeshActorPrefix, ActorTexts::MeshActivated,
                           ActorTexts::MeshDeactivated, ActorTexts::MeshInitFailed, &meshActorCounter};
} // namespace

MeshActor::MeshActor(Ogre::SceneManager* sceneManager, ActorServices* services, std::string resourceName,
                     std::string meshFileName)
    : AnimatedActor(sceneManager, services, MeshKind), resourceName_(std::move(resourceName)),
      meshFileName_(std::move(meshFileName)) {}

MeshActor::~MeshActor() {
    removeFromScene();
}

bool MeshActor::createContent() {
    entity_ = createEntityOfMesh(ActorTexts::EntitySuffix, resourceName_ + "_" + meshFileName_);
    if (entity_ == nullptr) {
        return false;
    }
    actorNode_->attachObject(entity_);
    actorNode_->attachObject(selectionEntity_);
    return true;
}

void MeshActor::destroyContent() {
    if (entity_ != nullptr) {
        Ogre::Entity* entity = entity_;
        entity_ = nullptr;
        sceneManager_->destroyEntity(entity);
    }
}

Ogre::AnimationState* MeshActor::findAnimationState(const std::string& name) {
    return entityAnimationState(entity_, name);
}

std::set<std::string>& MeshActor::getAnimationNames(std::set<std::string>& names) {
    return entityAnimationNames(entity_, names);
}

std::set<std::string>& entityAnimationNames(Ogre::Entity* entity, std::set<std::string>& names) {
    names.clear();
    if (entity != nullptr) {
        if (Ogre::AnimationStateSet* states = entity->getAllAnimationStates()) {
            for (const auto& state : states->getAnimationStates()) {
                names.insert(state.first);
            }
        }
    }
    return names;
}

Ogre::AnimationState* entityAnimationState(Ogre::Entity* entity, const std::string& name) {
    Ogre::AnimationStateSet* states = entity != nullptr ? entity->getAllAnimationStates() : nullptr;
    if (states == nullptr || !states->hasAnimationState(name)) {
        return nullptr;
    }
    return states->getAnimationState(name);
}
