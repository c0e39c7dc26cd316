#include "app/ViewLayout.h"

#include "app/ShellTexts.h"
#include "app/X11Desktop.h"
#include "app/framerules.h"

#include <OGRE/OgreRectangle2D.h>
#include <OGRE/Overlay/OgreOverlay.h>
#include <OGRE/Overlay/OgreOverlayContainer.h>
#include <OGRE/Overlay/OgreOverlayElement.h>
#include <OGRE/Overlay/OgreOverlayManager.h>
#include <OGRE/Overlay/OgreTextAreaOverlayElement.h>

namespace {

// The grid rectangle belongs to the VIEWPORTS scene, which the MAIN scene also draws (its root
// hangs under MAIN's root). The main view leaves this bit out so that the grid only ever shows
// behind the auxiliary views and never covers the camera picture.
constexpr Ogre::uint32 GridVisibilityBit = 0x80000000;

// Text areas made while the overlay scripts are parsed lay out their captions before their font
// has rendered its glyphs (that happens when the font's texture is first loaded), and would draw
// every character from texture position 0. Loading the font's material, then setting the font
// again, gives them the real glyphs.
void rebindFonts(Ogre::OverlayElement* element) {
    if (element->getTypeName() == "TextArea") {
        auto* text = static_cast<Ogre::TextAreaOverlayElement*>(element);
        const Ogre::FontPtr& font = text->getFont();
        if (font) {
            font->load();
            if (font->getMaterial()) {
                font->getMaterial()->load();
            }
            text->setFontName(font->getName(), font->getGroup());
            text->setCaption(text->getCaption());
        }
    }
    if (element->isContainer()) {
        for (const auto& child : static_cast<Ogre::OverlayContainer*>(element)->getChildren()) {
            rebindFonts(child.second);
        }
    }
}

void rebindFonts(Ogre::Overlay* overlay) {
    for (Ogre::OverlayContainer* container : overlay->get2DElements()) {
        rebindFonts(container);
    }
}

} // namespace

ViewLayout::ViewLayout() = default;

ViewLayout::~ViewLayout() = default;

bool ViewLayout::setup(Ogre::RenderWindow* window, Ogre::SceneManager* mainScene,
                       Ogre::SceneManager* viewsScene, X11Desktop& desktop, const StartOptions& options,
                       std::string& failure) {
    window_ = window;
    desktop_ = &desktop;
    viewsScene_ = viewsScene;
    options_ = options;
    fullScreen_ = window_->isFullScreen();
    mainCamera_ = mainScene->createCamera(ShellTexts::MainCamera);
    topCamera_ = viewsScene->createCamera(ShellTexts::TopCamera);
    frontCamera_ = viewsScene->createCamera(ShellTexts::FrontCamera);
    leftCamera_ = viewsScene->createCamera(ShellTexts::LeftCamera);
    if (mainCamera_ == nullptr || topCamera_ == nullptr || frontCamera_ == nullptr ||
        leftCamera_ == nullptr) {
        failure = "cannot create the cameras";
        return false;
    }
    mainScene->getRootSceneNode()->attachObject(mainCamera_);
    setupCameras();
    if (!setupViewports(window)) {
        failure = "cannot create the viewports";
        return false;
    }
    // The light of the auxiliary views.
    Ogre::Light* omni = viewsScene->createLight(ShellTexts::OmniLight);
    viewsScene->getRootSceneNode()->attachObject(omni);
    omni->setPowerScale(0.01f);
    if (!setupOverlays()) {
        failure = std::string(ShellTexts::CoreArchive) + " lacks the splash or debug overlay";
        return false;
    }
    // The grid behind the auxiliary views; corners swapped on both axes, as the picture is
    // turned by 180 degrees.
    gridRectangle_ = std::make_unique<Ogre::Rectangle2D>(true);
    gridRectangle_->setCorners(1, -1, -1, 1);
    gridRectangle_->setBoundingBox(Ogre::AxisAlignedBox(-100000, -100000, -100000, 100000, 100000, 100000));
    gridRectangle_->setRenderQueueGroup(Ogre::RENDER_QUEUE_BACKGROUND);
    gridRectangle_->setMaterial(Ogre::MaterialManager::getSingleton().getByName(ShellTexts::GridMaterial));
    gridRectangle_->setVisibilityFlags(GridVisibilityBit);
    viewsScene->getRootSceneNode()
        ->createChildSceneNode(ShellTexts::GridNode)
        ->attachObject(gridRectangle_.get());
    return true;
}

void ViewLayout::release() {
    if (gridRectangle_ && gridRectangle_->getParentSceneNode() != nullptr) {
        gridRectangle_->getParentSceneNode()->detachObject(gridRectangle_.get());
    }
    gridRectangle_.reset();
}

// The camera's own transform is relative to the node it hangs on: the auxiliary cameras keep
// theirs when they are later attached to an actor's node, so the engine's camera-local
// placement is what they need.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
void ViewLayout::setupCameras() {
    for (Ogre::Camera* camera : {mainCamera_, topCamera_, frontCamera_, leftCamera_}) {
        camera->setNearClipDistance(1);
    }
    mainCamera_->setPosition(0, 0, 0);
    mainCamera_->setDirection(0, 0, 1);

    topCamera_->setPosition(0, 0, 300);
    topCamera_->roll(Ogre::Degree(90));

    // Looking straight down the default yaw axis is degenerate for lookAt: the front camera
    // looks at the origin along -Y with +Z as its up direction.
    frontCamera_->setPosition(0, 300, 0);
    frontCamera_->setOrientation(
        Ogre::Quaternion(Ogre::Vector3::NEGATIVE_UNIT_X, Ogre::Vector3::UNIT_Z, Ogre::Vector3::UNIT_Y));

    leftCamera_->setPosition(300, 0, 0);
    leftCamera_->lookAt(0, 0, 0);
    leftCamera_->roll(Ogre::Degree(90));
}
#pragma GCC diagnostic pop

bool ViewLayout::setupViewports(Ogre::RenderWindow* window) {
    mainViewport_ = window->addViewport(mainCamera_, 3, 0, 0, 1, 1);
    topViewport_ = window->addViewport(topCamera_, 2, 0, 0, 1, 1);
    frontViewport_ = window->addViewport(frontCamera_, 1, 0, 0, 1, 1);
    leftViewport_ = window->addViewport(leftCamera_, 0, 0, 0, 1, 1);
    if (mainViewport_ == nullptr || topViewport_ == nullptr || frontViewport_ == nullptr ||
        leftViewport_ == nullptr) {
        return false;
    }
    for (Ogre::Viewport* viewport : {mainViewport_, topViewport_, frontViewport_, leftViewport_}) {
        viewport->setBackgroundColour(Ogre::ColourValue(0, 0, 0, 1));
        applyAspect(viewport);
    }
    mainViewport_->setVisibilityMask(~GridVisibilityBit);
    // Overlays belong to the augmented view only.
    for (Ogre::Viewport* viewport : {topViewport_, frontViewport_, leftViewport_}) {
        viewport->setOverlaysEnabled(false);
        // Hidden under the main view in the single-view layout: not drawn at all.
        viewport->setAutoUpdated(false);
    }
    return true;
}

bool ViewLayout::setupOverlays() {
    Ogre::OverlayManager& overlays = Ogre::OverlayManager::getSingleton();
    splashOverlay_ = overlays.getByName(ShellTexts::SplashOverlay);
    if (splashOverlay_ == nullptr) {
        return false;
    }
    rebindFonts(splashOverlay_);
    splashOverlay_->show();
    debugOverlay_ = overlays.getByName(ShellTexts::DebugOverlay);
    if (debugOverlay_ == nullptr) {
        return false;
    }
    rebindFonts(debugOverlay_);
    debugOverlay_->hide();
    // The status line is the player's own addition: an archive without it still starts.
    statusOverlay_ = overlays.getByName(ShellTexts::StatusOverlay);
    if (statusOverlay_ != nullptr) {
        rebindFonts(statusOverlay_);
        statusOverlay_->show();
    }
    return true;
}

void ViewLayout::applyAspect(Ogre::Viewport* viewport) {
    if (viewport == mainViewport_) {
        if (mainViewChanged_) {
            mainViewChanged_();
        }
        return;
    }
    viewport->getCamera()->setAspectRatio(static_cast<Ogre::Real>(viewport->getActualWidth()) /
                                          static_cast<Ogre::Real>(viewport->getActualHeight()));
}

void ViewLayout::toggleLayout() {
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

void ViewLayout::toggleFullScreen() {
    if (window_ == nullptr || desktop_ == nullptr) {
        return;
    }
    // The window manager sizes a window it is asked to make full screen; without one (a kiosk
    // on a bare X server) the window is moved and sized by hand as well.
    unsigned long xWindow = 0;
    window_->getCustomAttribute("WINDOW", &xWindow);
    fullScreen_ = !fullScreen_;
    if (!fullScreen_) {
        window_->setFullscreen(false, static_cast<unsigned>(windowedWidth_),
                               static_cast<unsigned>(windowedHeight_));
        desktop_->placeWindow(xWindow, windowedLeft_, windowedTop_, windowedWidth_, windowedHeight_);
    } else {
        unsigned int width0 = 0, height0 = 0, depth = 0;
        window_->getMetrics(width0, height0, depth, windowedLeft_, windowedTop_);
        windowedWidth_ = static_cast<int>(width0);
        windowedHeight_ = static_cast<int>(height0);
        int left = 0, top = 0, width = desktop_->displayWidth(), height = desktop_->displayHeight();
        if (options_.screen >= 0) {
            desktop_->monitor(options_.screen, left, top, width, height);
        }
        window_->setFullscreen(true, static_cast<unsigned>(width), static_cast<unsigned>(height));
        desktop_->placeWindow(xWindow, left, top, width, height);
    }
    for (Ogre::Viewport* viewport : {mainViewport_, topViewport_, frontViewport_, leftViewport_}) {
        applyAspect(viewport);
    }
}

bool ViewLayout::debugVisible() const {
    return debugOverlay_ != nullptr && debugOverlay_->isVisible();
}

void ViewLayout::setDebugVisible(bool visible) {
    if (debugOverlay_ != nullptr) {
        visible ? debugOverlay_->show() : debugOverlay_->hide();
    }
}

bool ViewLayout::splashVisible() const {
    return splashOverlay_ != nullptr && splashOverlay_->isVisible();
}

void ViewLayout::updateSplash(float frameTime, bool capturing) {
    const bool visible = splashOverlay_->isVisible();
    const bool show = nextSplashVisibility(visible, splashTimer_, frameTime, capturing);
    if (show != visible) {
        show ? splashOverlay_->show() : splashOverlay_->hide();
    }
}

void ViewLayout::updateDebugOverlay(Ogre::RenderWindow* window, const std::string& title) {
    try {
        const Ogre::RenderTarget::FrameStats& stats = window->getStatistics();
        Ogre::OverlayManager& overlays = Ogre::OverlayManager::getSingleton();
        auto caption = [&overlays](const char* element, const Ogre::String& text) {
            overlays.getOverlayElement(element)->setCaption(text);
        };
        using Ogre::StringConverter;
        caption(ShellTexts::ProjectTitleElement, ShellTexts::TitleLabel + title);
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

void ViewLayout::updateStatusLine(float frameTime, StatusFacts facts, std::uint64_t cameraFrames) {
    if (statusOverlay_ == nullptr) {
        return;
    }
    statusClock_ += frameTime;
    if (statusClock_ >= 1.0 || cameraFrames < statusFrames_) {
        cameraRate_ = cameraFrames >= statusFrames_ && statusClock_ > 0.0
                          ? static_cast<double>(cameraFrames - statusFrames_) / statusClock_
                          : 0.0;
        statusFrames_ = cameraFrames;
        statusClock_ = 0.0;
    }
    facts.framesPerSecond = cameraRate_;
    const bool wanted = facts.lost || splashVisible() || debugVisible();
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
