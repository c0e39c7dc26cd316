#pragma once

#include "platform/Semaphore.h"
#include "project/ProjectInventory.h"
#include "project/ProjectOperations.h"
#include "project/SceneServices.h"
#include "video/FrameSink.h"

#include <OGRE/Ogre.h>
#include <OIS/OIS.h>

#include <csignal>
#include <memory>
#include <optional>
#include <set>
#include <string>

class ListenerChannel;
class X11Desktop;
namespace Ogre {
class OverlaySystem;
class Overlay;
class Rectangle2D;
} // namespace Ogre

// The one application object: render application, frame listener, camera frame sink, keyboard
// and mouse listener, and the project.
//
// Threads and locks
// - The main thread runs set-up, the start-up command file, the main loop, the frame listener
//   and the input handlers. Connection threads run project operations; the capture thread
//   hands frames to frame().
// - frame lock (frameLock_): one frame, from frame started to frame ended, i.e. all per-frame
//   updates and the whole redraw. Held by frameHold_, a scoped holder that the main loop drops
//   at the end of every turn, so a turn abandoned by an exception never keeps it.
// - image lock (imageLock_): the staging image and the new-frame flag.
// - scene lock (sceneLock_): the project model (title, collections, selection) and the
//   listener registry.
// - Lock order wherever two are held: frame, image, scene (then a tracker's listener lock);
//   scene before the capture lock and before a server's list lock.
// - How the engine's scene is kept still during a frame: every project operation that touches
//   the engine or the actor collection takes the frame lock before the scene lock, so it runs
//   between two frames; the per-frame updates (overlay statistics, actors, trackers) take the
//   scene lock after the frame lock. Events are broadcast after both locks are released, so a
//   slow listener can never hold up a frame.
class Scene : public Ogre::FrameListener,
              public FrameSink,
              public SceneServices,
              public ProjectOperations,
              public ProjectInventory,
              public OIS::KeyListener,
              public OIS::MouseListener {
public:
    Scene();
    ~Scene() override;
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    // Builds the window, the scene managers, cameras, viewports, overlays and backgrounds.
    // False on a failed step; engine errors may leave as Ogre::Exception.
    bool setup();
    // Runs until Escape sets the quit flag or the window is closed. Main thread.
    void mainLoop();
    // Runs one turn of the main loop; false once the window is closed or quit was asked.
    bool runOneTurn();
    // Asks the main loop to end after its current turn. Safe from a signal handler.
    static void requestTermination();

    // Ogre::FrameListener
    bool frameStarted(const Ogre::FrameEvent& event) override;
    bool frameEnded(const Ogre::FrameEvent& event) override;

    // FrameSink
    void frame(const unsigned char* pixels, int width, int height, unsigned format) override;

    // SceneServices
    const std::string& getWorkDirectory() override;
    bool isHandMode() override;
    Ogre::SceneNode* getMainNode() override;
    void addListener(ListenerChannel* listener) override;
    void removeListener(ListenerChannel* listener) override;
    void dropAllListeners() override;

    // OIS listeners
    bool keyPressed(const OIS::KeyEvent& event) override;
    bool keyReleased(const OIS::KeyEvent& event) override;
    bool mouseMoved(const OIS::MouseEvent& event) override;
    bool mousePressed(const OIS::MouseEvent& event, OIS::MouseButtonID id) override;
    bool mouseReleased(const OIS::MouseEvent& event, OIS::MouseButtonID id) override;

    // Views: switches between the single view and the four-view layout. Called under the
    // scene lock by the project operations.
    void toggleLayout();
    // Writes the frame statistics into the debug overlay; takes the scene lock. Main thread.
    void updateDebugOverlay();

    Ogre::RenderWindow* getWindow() const { return window_; }
    Ogre::SceneManager* getViewsSceneManager() const { return viewsSceneManager_; }

private:
    bool isCaptureRunning() const;
    void setupCameras();
    bool setupViewports();
    bool setupOverlays();
    void setupBackgrounds();
    std::unique_ptr<Ogre::Rectangle2D> makeFullScreenRectangle(const std::string& material);
    static void applyAspect(Ogre::Viewport* viewport);

    // Engine, owned: the log manager outlives the root, the overlay system is made after it.
    std::unique_ptr<Ogre::LogManager> logManager_;
    std::unique_ptr<Ogre::Root> root_;                   // render root; null until set-up
    std::unique_ptr<Ogre::OverlaySystem> overlaySystem_; // overlays in every scene manager
    std::unique_ptr<X11Desktop> desktop_;                // close protocol, cursor, display size
    Ogre::RenderWindow* window_ = nullptr;               // made by the root, owned by it

    // Viewports and cameras: main, top, front, left. Owned by the window and scene managers.
    Ogre::Viewport* mainViewport_ = nullptr;
    Ogre::Viewport* topViewport_ = nullptr;
    Ogre::Viewport* frontViewport_ = nullptr;
    Ogre::Viewport* leftViewport_ = nullptr;

    Ogre::SceneManager* mainSceneManager_ = nullptr;  // "MAIN": the augmented view
    Ogre::SceneManager* viewsSceneManager_ = nullptr; // "VIEWPORTS": actors and auxiliary views
    Ogre::SceneNode* mainNode_ = nullptr;             // "MainNode", parent of every actor
    Ogre::Camera* mainCamera_ = nullptr;
    Ogre::Camera* topCamera_ = nullptr;
    Ogre::Camera* frontCamera_ = nullptr;
    Ogre::Camera* leftCamera_ = nullptr;

    VelOS::Semaphore frameLock_;                    // one frame; see the class comment
    std::optional<VelOS::SemaphoreLock> frameHold_; // holds frameLock_ during a frame
    bool fourViews_ = false;                        // four-view layout chosen; scene lock
    int screenWidth_ = -1;                          // primary display, pixels
    int screenHeight_ = -1;
    Ogre::RaySceneQuery* rayQuery_ = nullptr; // picking in VIEWPORTS; owned by it
    std::set<ListenerChannel*> listeners_;    // event receivers, not owned; scene lock
    Ogre::Overlay* splashOverlay_ = nullptr;  // "Core/SplashScreenOverlay"
    double splashTimer_ = 0.0;                // seconds the splash has been shown
    Ogre::Overlay* debugOverlay_ = nullptr;   // "Core/DebugOverlay"
    std::string debugText_;                   // shown in "Core/DebugText"

    bool flipX_ = false;                   // mirror the camera picture horizontally
    bool flipY_ = false;                   // and vertically
    VelOS::Semaphore imageLock_;           // staging image and new-frame flag
    Ogre::Image stagingImage_;             // last camera frame, converted; image lock
    bool newFrame_ = false;                // stagingImage_ holds a frame not yet uploaded; image lock
    Ogre::MaterialPtr backgroundMaterial_; // "BackgroundMaterial"
    Ogre::TexturePtr backgroundTexture_;   // "BackgroundTexture", 640x480 R8G8B8
    std::unique_ptr<Ogre::Rectangle2D> gridRectangle_;       // grid behind the auxiliary views
    std::unique_ptr<Ogre::Rectangle2D> backgroundRectangle_; // camera picture of the main view

    VelOS::Semaphore sceneLock_; // the project model and the listener registry
    std::string workDirectory_;  // ends in "/"; empty until set-up
    std::string title_;          // project title; scene lock
    bool handMode_ = false;      // marker gesture enabled; toggled by pointer interaction
    bool quit_ = false;          // set by Escape only
    static volatile std::sig_atomic_t terminationRequested_; // SIGINT or SIGTERM arrived
};
