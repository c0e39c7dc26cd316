#pragma once

#include <OGRE/Ogre.h>

// The scene manager of the actors ("VIEWPORTS"). The engine lights an object with the lights its
// own manager found for the frame being drawn; this manager's lights are found only when one of
// its own cameras draws. In the single-view layout only the main camera (of "MAIN") draws, so the
// frame loop asks this manager to find its lights for the main camera itself.
class ViewsSceneManager : public Ogre::DefaultSceneManager {
public:
    explicit ViewsSceneManager(const Ogre::String& name) : Ogre::DefaultSceneManager(name) {}
    const Ogre::String& getTypeName() const override { return TypeName; }

    // Finds the lights that may light what the camera sees. Main thread.
    void findLightsFor(const Ogre::Camera* camera) { findLightsAffectingFrustum(camera); }

    static const Ogre::String TypeName;
};

class ViewsSceneManagerFactory : public Ogre::SceneManagerFactory {
public:
    Ogre::SceneManager* createInstance(const Ogre::String& instanceName) override {
        return OGRE_NEW ViewsSceneManager(instanceName);
    }
    void destroyInstance(Ogre::SceneManager* instance) override { OGRE_DELETE instance; }

protected:
    void initMetaData() const override {
        mMetaData.typeName = ViewsSceneManager::TypeName;
        mMetaData.worldGeometrySupported = false;
    }
};
