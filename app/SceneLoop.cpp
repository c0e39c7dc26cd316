// The main loop and the per-frame work of the Scene. Main thread.
#include "app/Scene.h"

#include "app/framerules.h"
#include "platform/fileutil.h"

#include <OGRE/Bites/OgreWindowEventUtilities.h>
#include <OGRE/Overlay/OgreOverlay.h>

volatile std::sig_atomic_t Scene::terminationRequested_ = 0;

void Scene::requestTermination() {
    terminationRequested_ = 1;
}

void Scene::mainLoop() {
    while (runOneTurn()) {
    }
}

bool Scene::runOneTurn() {
    if (quit_ || terminationRequested_ != 0) {
        return false;
    }
    OgreBites::WindowEventUtilities::messagePump();
    if (window_->isClosed()) {
        return false;
    }
    try {
        root_->_fireFrameStarted();
        window_->update();
        root_->_fireFrameEnded();
    } catch (...) {
        // A failed frame is dropped; the next turn draws again.
    }
    // Whatever happened in this turn, the frame lock is free again before the next one.
    frameHold_.reset();
    return true;
}

bool Scene::frameStarted(const Ogre::FrameEvent& event) {
    const float frameTime = event.timeSinceLastFrame;

    const bool splashVisible = splashOverlay_->isVisible();
    const bool showSplash = nextSplashVisibility(splashVisible, splashTimer_, frameTime, isCaptureRunning());
    if (showSplash != splashVisible) {
        showSplash ? splashOverlay_->show() : splashOverlay_->hide();
    }

    // The pacing pause runs the project work other threads handed over.
    tasks_.runFor(framePacingSleep(frameTime));

    frameHold_.emplace(frameLock_);

    if (newFrame_) {
        VelOS::SemaphoreLock image(imageLock_);
        Ogre::Log* log = Ogre::LogManager::getSingleton().getDefaultLog();
        // The engine would write a line for every upload; detail level 0 writes nothing.
        log->setLogDetail(static_cast<Ogre::LoggingLevel>(0));
        backgroundTexture_->getBuffer()->blitFromMemory(stagingImage_.getPixelBox());
        log->setLogDetail(Ogre::LL_NORMAL);
        newFrame_ = false;
    }

    updateDebugOverlay();
    return true;
}

bool Scene::frameEnded(const Ogre::FrameEvent& /*event*/) {
    frameHold_.reset();
    return true;
}

bool Scene::isCaptureRunning() const {
    return false;
}

void Scene::frame(const unsigned char* /*pixels*/, int /*width*/, int /*height*/, unsigned /*format*/) {}
