#pragma once

#include "app/CameraBackground.h"
#include "app/EngineProject.h"
#include "app/FramePacing.h"
#include "app/MainThreadQueue.h"
#include "app/PointerInput.h"
#include "app/StartOptions.h"
#include "app/ViewLayout.h"
#include "net/RemoteServices.h"
#include "net/ServerPolicy.h"
#include "project/ProjectModel.h"

#include <OGRE/Ogre.h>

#include <csignal>
#include <memory>
#include <string>

class LogFileListener;
class SentenceHandlerFactory;
class ViewsSceneManagerFactory;
class X11Desktop;
namespace Ogre {
class OverlaySystem;
}

// The application: it makes the engine and the window, owns the parts of the player and wires
// them together, and runs the main loop. The parts:
// - EngineProject (with its ProjectActors): the project in the engine and the protocol's
//   operations, run as main-thread tasks;
// - CameraBackground: the camera, marker tracking on the capture thread, the picture behind the
//   main view and the main camera's frustum;
// - FramePacing: when the loop draws;
// - ViewLayout: the views, layouts and overlays;
// - PointerInput: keyboard and mouse;
// - ProjectModel: what clients read, and the listeners of events.
//
// Threads: the main thread runs set-up, the start-up command file and the main loop: window
// messages, input, the project work other threads hand over (between frames), and each frame
// (the newest camera picture with its tracking results, the overlays, the actors, drawing).
// Connection threads call the operations of the project and the RemoteServices here; the capture
// thread hands frames to the camera background. No engine object is touched off the main thread.
// The lock order: platform/LockRank.h.
class Scene : public Ogre::FrameListener, public RemoteServices {
public:
    Scene();
    ~Scene() override;
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    // The command line's choices for set-up (dialog, full screen, monitor). Before setup.
    void setStartOptions(const StartOptions& options) { options_ = options; }
    // Who may connect to the servers that net init starts from now on, and how many at once.
    // Before set-up.
    void setServerPolicy(VelNet::ServerPolicy policy) { serverPolicy_ = std::move(policy); }
    // Builds the engine, the window and every part. False on a failed step; engine errors may
    // leave as Ogre::Exception.
    bool setup();
    // Why set-up returned false, in a few words for the presenter.
    const std::string& setupFailure() const { return setupFailure_; }
    // Runs the start-up command file through the command interpreter, before the main loop.
    void runCommandFile(const std::string& path);
    // Runs until Escape or the window's close, or a termination signal.
    void mainLoop();
    // Runs one turn, drawing whether or not anything changed; false once the window is closed or
    // quit was asked.
    bool runOneTurn();
    // Asks the main loop to end after its current turn. Safe from a signal handler.
    static void requestTermination();

    // Ogre::FrameListener: the per-frame work, in order.
    bool frameStarted(const Ogre::FrameEvent& event) override;

    // RemoteServices (connection threads)
    const std::string& getWorkDirectory() override { return workDirectory_; }
    void addListener(ListenerChannel* listener) override { model_.addListener(listener); }
    void removeListener(ListenerChannel* listener) override { model_.removeListener(listener); }

    // For tests, on the main thread.
    EngineProject& project() { return *project_; }
    ActorManager& getActors() { return project_->actors().manager(); }
    ViewLayout& views() { return *views_; }
    Ogre::RenderWindow* getWindow() const { return window_; }
    Ogre::SceneManager* getViewsSceneManager() const { return viewsScene_; }
    Ogre::SceneNode* getMainNode() const { return mainNode_; }

private:
    // One turn of the main loop; a turn that need not draw serves project work instead, unless
    // alwaysDraw.
    bool turn(bool alwaysDraw);
    // Keeps the cause of a failed set-up and returns false.
    bool failSetup(const std::string& cause);
    // The render window: automatic, or placed on the monitor chosen, full screen if asked.
    Ogre::RenderWindow* createWindow();

    StartOptions options_;              // the command line's choices
    VelNet::ServerPolicy serverPolicy_; // given to every server net init makes
    std::string setupFailure_;          // set by failSetup
    std::string workDirectory_;         // ends in "/"; empty until set-up

    // The engine, owned: the log file outlives the log manager, the log manager the root, the
    // overlay system is made after the root.
    std::unique_ptr<LogFileListener> logFile_;
    std::unique_ptr<Ogre::LogManager> logManager_;
    std::unique_ptr<ViewsSceneManagerFactory> viewsFactory_; // makes "VIEWPORTS"; outlives root_
    std::unique_ptr<Ogre::Root> root_;
    std::unique_ptr<Ogre::OverlaySystem> overlaySystem_;
    std::unique_ptr<X11Desktop> desktop_;      // close protocol, cursor, display size
    Ogre::RenderWindow* window_ = nullptr;     // made by the root, owned by it
    Ogre::SceneManager* mainScene_ = nullptr;  // "MAIN": the augmented view
    Ogre::SceneManager* viewsScene_ = nullptr; // "VIEWPORTS": actors and auxiliary views
    Ogre::SceneNode* mainNode_ = nullptr;      // "MainNode", parent of every actor

    // The parts, in the order they are made; destroyed the other way round.
    MainThreadQueue tasks_;                                  // project work handed to the main thread
    ProjectModel model_;                                     // what clients read; its own lock
    FramePacing pacing_{tasks_};                             // when the loop draws
    std::unique_ptr<ViewLayout> views_;                      // views and overlays
    CameraBackground camera_{pacing_};                       // the camera and its picture
    std::unique_ptr<EngineProject> project_;                 // the project in the engine
    std::unique_ptr<PointerInput> input_;                    // keyboard and mouse
    std::unique_ptr<SentenceHandlerFactory> handlerFactory_; // handlers of every server's connections

    bool animating_ = false;   // something moved in the last frame; main thread
    double secondClock_ = 0.0; // seconds since the once-a-second work last ran; main thread
    static volatile std::sig_atomic_t terminationRequested_; // SIGINT or SIGTERM arrived
};
