// The two viewport layouts and the debug overlay of the Scene.
#include "app/Scene.h"

#include "app/LogFileListener.h"
#include "app/ShellTexts.h"
#include "app/StatusLine.h"
#include "net/Server.h"
#include "platform/enginelog.h"

#include <OGRE/Overlay/OgreOverlay.h>
#include <OGRE/Overlay/OgreOverlayElement.h>
#include <OGRE/Overlay/OgreOverlayManager.h>

void Scene::toggleLayout() {
    requestRedraw();
    if (!fourViews_) {
        fourViews_ = true;
        debugOverlay_->hide();
        mainViewport_->setDimensions(0.5f, 0.5f, 0.5f, 0.5f);
        topViewport_->setDimensions(0.0f, 0.0f, 0.5f, 0.5f);
        frontViewport_->setDimensions(0.5f, 0.0f, 0.5f, 0.5f);
        leftViewport_->setDimensions(0.0f, 0.5f, 0.5f, 0.5f);
        for (Ogre::Viewport* viewport : {mainViewport_, topViewport_, frontViewport_, leftViewport_}) {
            viewport->setAutoUpdated(true);
            applyAspect(viewport);
        }
    } else {
        mainViewport_->setDimensions(0.0f, 0.0f, 1.0f, 1.0f);
        applyAspect(mainViewport_);
        // The auxiliary views lie under the main view again: no need to draw them.
        for (Ogre::Viewport* viewport : {topViewport_, frontViewport_, leftViewport_}) {
            viewport->setAutoUpdated(false);
        }
        debugOverlay_->show();
        fourViews_ = false;
    }
}

void Scene::updateStatusLine(float frameTime) {
    if (statusOverlay_ == nullptr) {
        return;
    }
    const VelVideoCapture::Status camera = capture_.status();
    statusClock_ += frameTime;
    if (statusClock_ >= 1.0) {
        // Floods of like lines that have ended get their count written, once a second.
        if (logFile_) {
            logFile_->flush();
        }
        VelOS::flushRepeatedFailures();
    }
    if (statusClock_ >= 1.0 || camera.frames < statusFrames_) {
        cameraRate_ = camera.frames >= statusFrames_ && statusClock_ > 0.0
                          ? static_cast<double>(camera.frames - statusFrames_) / statusClock_
                          : 0.0;
        statusFrames_ = camera.frames;
        statusClock_ = 0.0;
    }
    StatusFacts facts;
    facts.capturing = camera.capturing;
    facts.lost = camera.lost;
    facts.device = camera.device;
    facts.failure = camera.failure;
    facts.framesPerSecond = cameraRate_;
    {
        VelOS::SemaphoreLock hold(sceneLock_);
        facts.markersFound = trackers_.countFound();
        facts.trackers = trackers_.count();
        facts.calibrationNote = calibrationNote_;
        facts.port = server_ ? server_->port() : 0;
        facts.clients = server_ ? server_->connectionCount() : 0;
        facts.netFailure = netFailure_;
    }
    const bool wanted = camera.lost || splashOverlay_->isVisible() || debugOverlay_->isVisible();
    if (wanted != statusOverlay_->isVisible()) {
        wanted ? statusOverlay_->show() : statusOverlay_->hide();
    }
    if (!wanted) {
        return;
    }
    const std::string text = statusLine(facts);
    if (text != statusText_) {
        try {
            Ogre::OverlayManager::getSingleton()
                .getOverlayElement(ShellTexts::StatusLineElement)
                ->setCaption(text);
            statusText_ = text;
        } catch (...) {
            statusOverlay_ = nullptr; // an archive without the element: no status line
        }
    }
}

void Scene::updateDebugOverlay() {
    VelOS::SemaphoreLock hold(sceneLock_);
    try {
        const Ogre::RenderTarget::FrameStats& stats = window_->getStatistics();
        Ogre::OverlayManager& overlays = Ogre::OverlayManager::getSingleton();
        auto caption = [&overlays](const char* element, const Ogre::String& text) {
            overlays.getOverlayElement(element)->setCaption(text);
        };
        using Ogre::StringConverter;
        caption(ShellTexts::ProjectTitleElement, ShellTexts::TitleLabel + title_);
        caption(ShellTexts::AverageFpsElement,
                ShellTexts::AverageFpsLabel + StringConverter::toString(stats.avgFPS));
        caption(ShellTexts::CurrentFpsElement,
                ShellTexts::CurrentFpsLabel + StringConverter::toString(stats.lastFPS));
        caption(ShellTexts::BestFpsElement,
                ShellTexts::BestFpsLabel + StringConverter::toString(stats.bestFPS) + " " +
                    StringConverter::toString(stats.bestFrameTime) + ShellTexts::MillisecondsUnit);
        caption(ShellTexts::WorstFpsElement,
                ShellTexts::WorstFpsLabel + StringConverter::toString(stats.worstFPS) + " " +
                    StringConverter::toString(stats.worstFrameTime) + ShellTexts::MillisecondsUnit);
        caption(ShellTexts::TriangleCountElement,
                ShellTexts::TriangleCountLabel + StringConverter::toString(stats.triangleCount));
        caption(ShellTexts::DebugTextElement, debugText_);
    } catch (...) {
        // A missing element stops the update here; the captions set before it stay.
    }
}
