#pragma once

#include <string>

class ListenerChannel;
namespace Ogre {
class SceneNode;
}

// What actors, resources and transfers need from the Scene. Called from connection threads and
// the main thread; addListener and removeListener take the scene lock themselves.
class SceneServices {
public:
    virtual ~SceneServices() = default;
    // The work directory; always ends in "/".
    virtual const std::string& getWorkDirectory() = 0;
    virtual bool isHandMode() = 0;
    // "MainNode" of the views scene manager: every actor hangs its root node under it.
    virtual Ogre::SceneNode* getMainNode() = 0;
    virtual void addListener(ListenerChannel* listener) = 0;
    virtual void removeListener(ListenerChannel* listener) = 0;
    // Waits for every registered listener to leave and removes it.
    virtual void dropAllListeners() = 0;
};
