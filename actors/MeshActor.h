#pragma once

#include "actors/AnimatedActor.h"

// One mesh of a resource package on a marker. The content is an entity of the mesh that the
// package registered as resource name + "_" + mesh file name; its animation states are the
// entity's own (skeletal animations). Threads and locks as Actor.
class MeshActor final : public AnimatedActor {
public:
    MeshActor(Ogre::SceneManager* sceneManager, ActorServices* services, std::string resourceName,
              std::string meshFileName);
    ~MeshActor() override;

    std::set<std::string>& getAnimationNames(std::set<std::string>& names) override;
    std::string getSourceName() override { return meshFileName_; }

    const std::string& getResourceName() const { return resourceName_; }
    const std::string& getMeshName() const { return meshFileName_; }
    // The content; null before init.
    Ogre::Entity* getEntity() const { return entity_; }

protected:
    bool createContent() override;
    void destroyContent() override;
    Ogre::AnimationState* findAnimationState(const std::string& name) override;

private:
    Ogre::Entity* entity_ = nullptr; // prefix + "::Entity"
    std::string resourceName_;       // the package the mesh comes from
    std::string meshFileName_;       // the mesh's file name inside the package
};

// The names of every animation state of an entity, replacing the contents of names.
std::set<std::string>& entityAnimationNames(Ogre::Entity* entity, std::set<std::string>& names);
// The entity's animation state of that name; null when it has none.
Ogre::AnimationState* entityAnimationState(Ogre::Entity* entity, const std::string& name);
