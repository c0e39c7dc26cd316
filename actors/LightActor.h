#pragma once

#include "actors/AnimatedActor.h"

namespace Ogre {
class Light;
}

// A point light on a marker, with a bulb mesh that shows where it is. The engine light is named
// "Light_" + the light's name and is switched on only while the marker is in view. The bulb is
// the animation source. Threads and locks as Actor.
class LightActor final : public AnimatedActor {
public:
    LightActor(Ogre::SceneManager* sceneManager, ActorServices* services, std::string lightName);
    ~LightActor() override;

    std::set<std::string>& getAnimationNames(std::set<std::string>& names) override;
    std::string getSourceName() override { return lightName_; }

    const std::string& getLightName() const { return lightName_; }
    // Null before init.
    Ogre::Light* getLight() const { return light_; }

protected:
    bool createContent() override;
    void destroyContent() override;
    void showContent() override;
    void hideContent() override;
    Ogre::AnimationState* findAnimationState(const std::string& name) override;

private:
    // The first object on the actor node; null before init.
    Ogre::Entity* bulb() const;

    Ogre::Light* light_ = nullptr; // "Light_" + lightName_
    Ogre::Entity* bulb_ = nullptr; // prefix + "::Entity", from "light.mesh"
    std::string lightName_;        // the actor's project name
};
