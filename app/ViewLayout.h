#pragma once

#include "app/StartOptions.h"
#include "app/StatusLine.h"

#include <OGRE/Ogre.h>

#include <functional>
#include <memory>
#include <string>

class X11Desktop;
namespace Ogre {
class Overlay;
class Rectangle2D;
} // namespace Ogre

// What the window shows and how: the main view and the three auxiliary views (top, front, left)
// with their cameras, the single-view and four-view layouts, full screen, and the overlays drawn
// over the main view: the splash, the debug overlay with the frame statistics, the status line.
//
// Main thread only (set-up, project work, the frame, input).
class ViewLayout {
public:
    ViewLayout();
    ~ViewLayout();
    ViewLayout(const ViewLayout&) = delete;
    ViewLayout& operator=(const ViewLayout&) = delete;

    // Makes the cameras, the viewports of the window, the overlays, the grid behind the
    // auxiliary views and their light. False, with the reason in failure, when one cannot be made.
    bool setup(Ogre::RenderWindow* window, Ogre::SceneManager* mainScene, Ogre::SceneManager* viewsScene,
               X11Desktop& desktop, const StartOptions& options, std::string& failure);
    // Gives back what set-up made that the engine does not own, before the engine goes.
    void release();
    // Called whenever the main viewport changes its shape (a layout, a resize, full screen).
    void onMainViewChanged(std::function<void()> changed) { mainViewChanged_ = std::move(changed); }

    Ogre::Camera* mainCamera() const { return mainCamera_; }
    Ogre::Camera* topCamera() const { return topCamera_; }
    Ogre::Camera* frontCamera() const { return frontCamera_; }
    Ogre::Camera* leftCamera() const { return leftCamera_; }
    Ogre::Viewport* mainViewport() const { return mainViewport_; }

    // The four-view layout: the main view in a quarter, the auxiliary views in the others.
    bool fourViews() const { return fourViews_; }
    void toggleLayout();
    // F11: full screen at the size of the screen (or the monitor chosen), or back to the window.
    void toggleFullScreen();

    bool debugVisible() const;
    void setDebugVisible(bool visible);
    // The line of text the debug overlay shows under the statistics (the interaction mode).
    void setDebugText(const std::string& text) { debugText_ = text; }
    const std::string& debugText() const { return debugText_; }

    // Once a frame: the splash rule (it stays a second, then goes while a camera runs).
    void updateSplash(float frameTime, bool capturing);
    bool splashVisible() const;
    // Once a frame: the statistics and the project title, while the debug overlay shows.
    void updateDebugOverlay(Ogre::RenderWindow* window, const std::string& title);
    // Once a frame: the status line, shown with the splash, with the debug overlay and while the
    // camera is lost. facts holds everything but the camera's frame rate, measured here from
    // the camera's frame count.
    void updateStatusLine(float frameTime, StatusFacts facts, std::uint64_t cameraFrames);

private:
    void setupCameras();
    bool setupViewports(Ogre::RenderWindow* window);
    bool setupOverlays();
    // Gives a viewport's camera the viewport's aspect; the main view is fitted again.
    void applyAspect(Ogre::Viewport* viewport);

    X11Desktop* desktop_ = nullptr; // display size, window placement; owned by the Scene
    StartOptions options_;
    Ogre::RenderWindow* window_ = nullptr;     // made by the root, owned by it
    Ogre::SceneManager* viewsScene_ = nullptr; // "VIEWPORTS"
    std::function<void()> mainViewChanged_;

    // Cameras and viewports: main, top, front, left. Owned by the scene managers and the window.
    Ogre::Camera* mainCamera_ = nullptr;
    Ogre::Camera* topCamera_ = nullptr;
    Ogre::Camera* frontCamera_ = nullptr;
    Ogre::Camera* leftCamera_ = nullptr;
    Ogre::Viewport* mainViewport_ = nullptr;
    Ogre::Viewport* topViewport_ = nullptr;
    Ogre::Viewport* frontViewport_ = nullptr;
    Ogre::Viewport* leftViewport_ = nullptr;
    std::unique_ptr<Ogre::Rectangle2D> gridRectangle_; // grid behind the auxiliary views
    bool fourViews_ = false;

    bool fullScreen_ = false; // as last set; the engine's flag may lag without a window manager
    int windowedLeft_ = 0;    // window place to go back to from full screen
    int windowedTop_ = 0;
    int windowedWidth_ = 800;
    int windowedHeight_ = 600;

    Ogre::Overlay* splashOverlay_ = nullptr; // "Core/SplashScreenOverlay"
    double splashTimer_ = 0.0;               // seconds the splash has been shown
    Ogre::Overlay* debugOverlay_ = nullptr;  // "Core/DebugOverlay"
    Ogre::Overlay* statusOverlay_ = nullptr; // "Core/StatusOverlay"; none in an older archive
    std::string debugText_;                  // shown in "Core/DebugText"
    std::string statusText_;                 // caption of "Core/StatusLine" now
    double statusClock_ = 0.0;               // seconds since the frame rate was last measured
    std::uint64_t statusFrames_ = 0;         // camera frames counted then
    double cameraRate_ = 0.0;                // camera frames per second lately
};
