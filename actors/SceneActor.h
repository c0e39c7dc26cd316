#pragma once

#include "actors/AnimatedActor.h"

#include <set>
#include <string>
#include <vector>

class TiXmlElement;
namespace Ogre {
class Light;
}

// A whole exported scene on a marker, read from a scene file (".osm") of a resource package:
// entities on nodes of their own below the actor node, lights on their nodes (aimed at target
// nodes when the file gives one), and node animations. Engine names:
//
//   prefix + "::" + entity name + "::Node" / "::Entity"
//   prefix + "::" + light name + "::Node" / "::Light" / "::LightTarget" (target under the root node)
//
// Animations and their states belong to the scene manager and carry the file's names, so two
// scene actors of one file share them; each actor takes its own tracks out again when it leaves
// the scene, so no animation keeps a track of a destroyed node. Threads and locks as Actor.
class SceneActor final : public AnimatedActor {
public:
    SceneActor(Ogre::SceneManager* sceneManager, ActorServices* services, std::string resourceName,
               std::string sceneFileName);
    ~SceneActor() override;

    // Reads the scene file and builds the scene. False when the file cannot be found or read
    // (engine errors are logged with their full description), is empty or is not XML.
    bool init() override;
    void removeFromScene() override;
    // The animation names met in the file.
    std::set<std::string>& getAnimationNames(std::set<std::string>& names) override;
    std::string getSourceName() override { return sceneFileName_; }

    const std::string& getResourceName() const { return resourceName_; }
    const std::string& getSceneName() const { return sceneFileName_; }
    const std::set<Ogre::Entity*>& getEntities() const { return entities_; }
    const std::set<Ogre::Light*>& getLights() const { return lights_; }

protected:
    // Never called: init builds the content itself.
    bool createContent() override { return false; }
    void destroyContent() override;
    // Entities, and the lights that the file switches on.
    void showContent() override;
    Ogre::AnimationState* findAnimationState(const std::string& name) override;

private:
    // The scene file's text; throws the engine's exception when no resource group has it.
    std::string readSceneFile() const;
    void loadEntity(TiXmlElement* element);
    void loadAnimation(TiXmlElement* element, Ogre::SceneNode* node);
    void loadLight(TiXmlElement* element);
    // Takes this actor's tracks out of the shared animations.
    void removeTracks();

    std::string resourceName_;             // the package the file comes from
    std::string sceneFileName_;            // the file's name as given at creation
    std::set<Ogre::Entity*> entities_;     // every entity made from the file
    std::set<std::string> animationNames_; // every animation name met in the file
    std::set<Ogre::Light*> lights_;        // every light made from the file
    std::set<Ogre::Light*> lightsOn_;      // those the file switches on
    // A node track this actor added to a shared animation.
    struct Track {
        std::string animation;
        unsigned short handle;
        Ogre::SceneNode* node; // the track's node, one of this actor's
    };
    std::vector<Track> tracks_;
};
