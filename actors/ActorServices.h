#pragma once

#include <string>

namespace Ogre {
class SceneNode;
}

// What actors need from the application (the engine-side project serves it). Called on the
// main thread.
class ActorServices {
public:
    virtual ~ActorServices() = default;
    // The work directory, where file actors find their files; always ends in "/".
    virtual const std::string& getWorkDirectory() = 0;
    // In hand mode an actor reads its marker hidden for a moment as a gesture.
    virtual bool isHandMode() = 0;
    // "MainNode" of the views scene manager: every actor hangs its root node under it.
    virtual Ogre::SceneNode* getMainNode() = 0;
};
