#pragma once

// One real player Scene for every actor test of the process (the engine's root is a singleton):
// the GL render system, the views scene manager with its "MainNode", the player's own meshes,
// and the sample package loaded as the resource "robot" (robot.mesh with the skeletal
// animations "Wave" and "Walk", stage.mesh, robot_stage.osm, a poster and a sound).

#include "actors/ActorServices.h"
#include "app/Scene.h"
#include "support/ScratchDirectory.h"

#include <OGRE/Ogre.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace actortest {

// Services of our own, so that a test decides the hand mode and the work directory.
class TestServices : public ActorServices {
public:
    const std::string& getWorkDirectory() override { return workDirectory; }
    bool isHandMode() override { return handMode; }
    Ogre::SceneNode* getMainNode() override { return mainNode; }

    std::string workDirectory;
    bool handMode = false;
    Ogre::SceneNode* mainNode = nullptr;
};

class World : public ::testing::Environment {
public:
    static World& get() { return *instance_; }
    World() { instance_ = this; }

    void SetUp() override;
    void TearDown() override;

    Scene& scene() { return *scene_; }
    Ogre::SceneManager* views() { return scene_->getViewsSceneManager(); }
    // Fresh services on the Scene's main node and work directory, hand mode off.
    TestServices services();
    // Writes a scene file into a resource group of its own (named group) and returns the
    // group's name, which a scene actor takes as its resource name.
    std::string addSceneFile(const std::string& fileName, const std::string& content);
    const std::string& scratch() const { return scratch_.path(); }

private:
    static World* instance_;
    ScratchDirectory scratch_;
    std::unique_ptr<Scene> scene_;
    int groups_ = 0;
};

// Draws a few frames so that the engine applies animations and visibility.
void renderFrames(int count = 2);

// Every line the engine logged since the mark.
class LogWatch : public Ogre::LogListener {
public:
    LogWatch() { Ogre::LogManager::getSingleton().getDefaultLog()->addListener(this); }
    ~LogWatch() override { Ogre::LogManager::getSingleton().getDefaultLog()->removeListener(this); }
    void messageLogged(const Ogre::String& message, Ogre::LogMessageLevel, bool, const Ogre::String&,
                       bool&) override {
        text += message + "\n";
    }
    bool saw(const std::string& part) const { return text.find(part) != std::string::npos; }
    std::string text;
};

} // namespace actortest
