// The main loop and the per-frame work of the Scene. Main thread.
#include "app/Scene.h"

#include "app/InputDispatcher.h"
#include "app/ViewsSceneManager.h"
#include "app/framerules.h"
#include "platform/eventbatch.h"
#include "platform/fileutil.h"

#include <OGRE/Bites/OgreWindowEventUtilities.h>
#include <OGRE/Overlay/OgreOverlay.h>

#include <iostream>

volatile std::sig_atomic_t Scene::terminationRequested_ = 0;

namespace {
// A turn that draws nothing waits at most this long (milliseconds) for work or a change, so input
// is still polled 25 times a second.
constexpr int IdleTurn = 40;
// Without any change the window is still drawn this often, for whatever the program cannot see
// (a window uncovered, a display that lost its contents).
constexpr auto LongestPause = std::chrono::seconds(1);
} // namespace

void Scene::requestTermination() {
    terminationRequested_ = 1;
}

void Scene::mainLoop() {
    while (turn(false)) {
    }
    if (latency_.enabled()) {
        std::cout << latency_.report() << std::endl;
    }
}

bool Scene::runOneTurn() {
    return turn(true);
}

bool Scene::turn(bool alwaysDraw) {
    if (quit_ || terminationRequested_ != 0) {
        return false;
    }
    OgreBites::WindowEventUtilities::messagePump();
    if (window_->isClosed()) {
        return false;
    }
    InputDispatcher::instance().capture();
    if (!alwaysDraw && !shouldDraw()) {
        // Nothing to draw: serve project work until something changes or a frame period ends.
        tasks_.runUntilWoken(IdleTurn);
        return true;
    }
    redraw_ = false; // a change while this frame is drawn asks for the next one
    lastDrawn_ = std::chrono::steady_clock::now();
    try {
        root_->_fireFrameStarted();
        // Through the root, not the window alone: the root counts frames, and entities
        // re-pose their skeletons only when the frame number has moved on.
        root_->_updateAllRenderTargets();
        if (shownDelivery_ != FrameLatency::Clock::time_point()) {
            latency_.shown(shownDelivery_); // the window has swapped its buffers
            shownDelivery_ = FrameLatency::Clock::time_point();
        }
        root_->_fireFrameEnded();
    } catch (...) {
        // A failed frame is dropped; the next turn draws again.
    }
    // Whatever happened in this turn, the frame lock is free again before the next one.
    frameHold_.reset();
    return true;
}

void Scene::requestRedraw() {
    redraw_ = true;
    VelOS::afterReply([this] { tasks_.wake(); });
}

bool Scene::shouldDraw() {
    if (window_->getWidth() != drawnWidth_ || window_->getHeight() != drawnHeight_) {
        drawnWidth_ = window_->getWidth();
        drawnHeight_ = window_->getHeight();
        return true;
    }
    return redraw_ || animating_ || (debugOverlay_ != nullptr && debugOverlay_->isVisible()) ||
           std::chrono::steady_clock::now() - lastDrawn_ >= LongestPause;
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
        if (backgroundTexture_->getWidth() == stagingImage_.getWidth() &&
            backgroundTexture_->getHeight() == stagingImage_.getHeight()) {
            backgroundTexture_->getBuffer()->blitFromMemory(stagingImage_.getPixelBox());
        } else {
            backgroundTexture_->unload();
            backgroundTexture_->loadImage(stagingImage_); // the texture takes the frame's size
        }
        log->setLogDetail(Ogre::LL_NORMAL);
        newFrame_ = false;
        shownDelivery_ = stagedDelivery_;
    }

    updateDebugOverlay();
    updateStatusLine(frameTime);
    if (!fourViews_) {
        // Only the main camera draws: the actors' lights are found for it (see ViewsSceneManager).
        static_cast<ViewsSceneManager*>(viewsSceneManager_)->findLightsFor(mainCamera_);
    }
    {
        VelOS::SemaphoreLock scene(sceneLock_);
        applyClientChanges();
        actors_.update(frameTime);
        trackers_.update();
        animating_ = actors_.isAnimating();
    }
    return true;
}

bool Scene::frameEnded(const Ogre::FrameEvent& /*event*/) {
    frameHold_.reset();
    return true;
}

bool Scene::isCaptureRunning() {
    return capture_.isCapturing();
}

void Scene::frame(const unsigned char* pixels, int width, int height, unsigned format) {
    Ogre::PixelFormat engineFormat = Ogre::PF_UNKNOWN;
    switch (format) {
    case 1:
        engineFormat = Ogre::PF_B8G8R8;
        break;
    case 2:
        engineFormat = Ogre::PF_A8B8G8R8;
        break;
    case 3:
        engineFormat = Ogre::PF_R8G8B8;
        break;
    case 4:
        engineFormat = Ogre::PF_A8R8G8B8;
        break;
    default:
        return;
    }
    const FrameLatency::Clock::time_point delivered = FrameLatency::Clock::now();
    VelOS::SemaphoreLock frameHold(frameLock_);
    VelOS::SemaphoreLock image(imageLock_);
    stagedDelivery_ = delivered;
    // The frame is copied: the capture thread frees its buffers when its run ends, which may be
    // before the next upload, and the flips must not write into the capture's own buffer.
    const std::size_t size = Ogre::PixelUtil::getMemorySize(width, height, 1, engineFormat);
    stagingPixels_.resize(size);
    std::copy(pixels, pixels + size, stagingPixels_.begin());
    stagingImage_.loadDynamicImage(stagingPixels_.data(), width, height, 1, engineFormat, false);
    if (flipX_) {
        stagingImage_.flipAroundX();
    }
    if (flipY_) {
        stagingImage_.flipAroundY();
    }
    VelOS::SemaphoreLock scene(sceneLock_);
    if (width == tracking_.frameWidth() && height == tracking_.frameHeight()) {
        tracking_.processFrame(stagingPixels_.data());
        threshold_ = tracking_.threshold;
    }
    newFrame_ = true;
    requestRedraw();
}
