#pragma once

#include "actors/ActorManager.h"
#include "actors/ActorServices.h"
#include "app/FrameLatency.h"
#include "app/MainThreadQueue.h"
#include "app/StartOptions.h"
#include "net/RemoteServices.h"
#include "net/ServerPolicy.h"
#include "platform/Semaphore.h"
#include "project/ProjectInventory.h"
#include "project/ProjectModel.h"
#include "project/ProjectOperations.h"
#include "project/TrackerManager.h"
#include "resources/ResourceManager.h"
#include "resources/ResourceServices.h"
#include "tracking/Manager.h"
#include "video/FrameSink.h"
#include "video/VelVideoCapture.h"

#include <OGRE/Ogre.h>
#include <OIS/OIS.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>

class ListenerChannel;
class LogFileListener;
class SentenceHandlerFactory;
class ViewsSceneManagerFactory;
class X11Desktop;
namespace VelNet {
class Server;
}
namespace Ogre {
class OverlaySystem;
class Overlay;
class Rectangle2D;
class ManualObject;
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
// - scene lock (sceneLock_): the engine side of the project (actors, trackers, resources,
//   selection, flags).
// - model lock (inside model_): the project model, which answers every read and takes the
//   transform and title changes on the connection thread, and the listener registry.
// - The order in which these and every other lock are taken: platform/LockRank.h.
// - How the engine's scene is kept still during a frame: every operation that touches the
//   engine runs on the main thread (the GL context and the engine's unlocked scene graph belong
//   to it): an operation called on a connection thread is handed to tasks_ and run while the
//   main loop waits out its frame pacing, between two frames. It takes the frame lock and the
//   scene lock, first gives the engine the changes clients made in the model, and ends by
//   publishing the engine side to the model together with its events, so that the model and the
//   events keep one order. The per-frame updates (overlay statistics, actors, trackers) take the
//   scene lock while the frame lock is held, and apply the model's changes too. A listener that
//   stops reading loses its connection instead of holding up the project.
// - The window is drawn only when its picture may have changed (a camera frame, a project change,
//   input, a resize, an animation, the debug overlay's statistics) and once a second otherwise;
//   a turn that does not draw serves the handed-over project work instead.
class Scene : public Ogre::FrameListener,
              public FrameSink,
              public ActorServices,
              public RemoteServices,
              public ResourceServices,
              public ProjectOperations,
              public ProjectInventory,
              public OIS::KeyListener,
              public OIS::MouseListener {
public:
    Scene();
    ~Scene() override;
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    // The command line's choices for set-up (dialog, full screen, monitor). Before setup.
    void setStartOptions(const StartOptions& options) { options_ = options; }
    // Builds the window, the scene managers, cameras, viewports, overlays and backgrounds.
    // False on a failed step; engine errors may leave as Ogre::Exception.
    bool setup();
    // Why set-up returned false, in a few words for the presenter.
    const std::string& setupFailure() const { return setupFailure_; }
    // Runs until Escape sets the quit flag or the window is closed. Main thread.
    void mainLoop();
    // Runs one turn of the main loop, drawing whether or not anything changed; false once the
    // window is closed or quit was asked.
    bool runOneTurn();
    // Asks the main loop to end after its current turn. Safe from a signal handler.
    static void requestTermination();

    // Who may connect to the servers that net init starts from now on, and how many at once.
    // Main thread, before set-up.
    void setServerPolicy(VelNet::ServerPolicy policy) { serverPolicy_ = std::move(policy); }

    // Runs the start-up command file through the command interpreter. Main thread, before the
    // main loop.
    void runCommandFile(const std::string& path);

    // Ogre::FrameListener
    bool frameStarted(const Ogre::FrameEvent& event) override;
    bool frameEnded(const Ogre::FrameEvent& event) override;

    // FrameSink
    void frame(const unsigned char* pixels, int width, int height, unsigned format) override;

    // ActorServices, RemoteServices, ResourceServices
    const std::string& getWorkDirectory() override;
    bool isHandMode() override;
    Ogre::SceneNode* getMainNode() override;
    void addListener(ListenerChannel* listener) override;
    void removeListener(ListenerChannel* listener) override;
    void dropAllListeners() override;

    // ProjectOperations (SceneOperations.cpp)
    bool newProject() override;
    bool load(const std::string& path) override;
    bool save(const std::string& path) override;
    bool netInit(int port) override;
    void netDone() override;
    bool setTitle(const std::string& title) override;
    bool getTitle(std::string& title) override;
    bool mouseAction(const std::string& keyword) override;
    void debugShow() override;
    void debugHide() override;
    bool debugIsVisible() override;
    bool videoCaptureInit(const std::string& device, const std::string& configuration) override;
    void videoCaptureDone() override;
    bool isCapturing() override;
    bool getDeviceName(std::string& name) override;
    bool getConfiguration(std::string& configuration) override;
    void flipXSet() override;
    void flipXUnset() override;
    bool flipXGet() override;
    void flipYSet() override;
    void flipYUnset() override;
    bool flipYGet() override;
    void thresholdAuto() override;
    void thresholdManual(int value) override;
    void thresholdManual() override;
    bool thresholdIsAuto() override;
    bool thresholdGetValue(int& value) override;
    bool resourceCreate(const std::string& name, const std::string& packagePath) override;
    void resourceDestroy(const std::string& name) override;
    void resourceGetList(std::string& list) override;
    void resourceGetFilesInside(const std::string& name, std::string& list) override;
    bool resourceGetFilename(const std::string& name, std::string& fileName) override;
    bool trackerCreate(const std::string& name, const std::string& patternFile, int width) override;
    void trackerDestroy(const std::string& name) override;
    void trackerGetList(std::string& list) override;
    bool trackerGetPatternFilename(const std::string& name, std::string& patternFile) override;
    bool trackerGetWidth(const std::string& name, int& width) override;
    bool actorsViewports(const std::string& actorName) override;
    void actorGetAnimationsList(const std::string& actorName, std::string& list) override;
    bool actorAction(const std::string& actorName, const std::string& keyword,
                     const std::string& argument) override;
    bool actorsSelectAll() override;
    bool actorsUnselectAll() override;
    bool actorSelect(const std::string& actorName) override;
    bool actorUnselect(const std::string& actorName) override;
    bool actorIsSelected(const std::string& actorName) override;
    bool lightCreate(const std::string& name) override;
    bool fileCreate(const std::string& name, const std::string& resource, const std::string& fileName,
                    const std::string& type) override;
    bool meshCreate(const std::string& name, const std::string& resource,
                    const std::string& meshName) override;
    bool sceneCreate(const std::string& name, const std::string& resource,
                     const std::string& sceneName) override;
    void destroyActor(ActorKind kind, const std::string& name) override;
    void actorList(ActorKind kind, std::string& list) override;
    bool actorText(ActorKind kind, ActorField field, const std::string& name, std::string& text) override;
    bool connectActor(ActorKind kind, const std::string& name, const std::string& trackerName) override;
    bool unconnectActor(ActorKind kind, const std::string& name) override;
    bool translateActor(ActorKind kind, const std::string& name, double x, double y, double z) override;
    bool actorTranslation(ActorKind kind, const std::string& name, double& x, double& y, double& z) override;
    bool rotateActor(ActorKind kind, const std::string& name, double w, double x, double y,
                     double z) override;
    bool turnActor(ActorKind kind, const std::string& name, TurnAxis axis, double degrees) override;
    bool actorRotation(ActorKind kind, const std::string& name, double& w, double& x, double& y,
                       double& z) override;
    bool actorAngles(ActorKind kind, const std::string& name, double& pitch, double& yaw,
                     double& roll) override;
    bool scaleActor(ActorKind kind, const std::string& name, double x, double y, double z) override;
    bool actorScale(ActorKind kind, const std::string& name, double& x, double& y, double& z) override;

    // ProjectInventory (SceneOperations.cpp)
    void destroyAllResources() override;
    void destroyAllTrackers() override;
    void destroyAllActors() override;
    void getResourceNames(std::set<std::string>& names) override;
    void getTrackerNames(std::set<std::string>& names) override;
    void getLightNames(std::set<std::string>& names) override;
    void getFileNames(std::set<std::string>& names) override;
    void getMeshNames(std::set<std::string>& names) override;
    void getSceneNames(std::set<std::string>& names) override;

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
    // Writes the status line and shows it with the splash, with the debug overlay and while the
    // camera is lost; takes the scene lock. Main thread.
    void updateStatusLine(float frameTime);

    Ogre::RenderWindow* getWindow() const { return window_; }
    Ogre::SceneManager* getViewsSceneManager() const { return viewsSceneManager_; }
    // The actors, for the main thread between frames (tests, pointer interaction).
    ActorManager& getActors() { return actors_; }

private:
    bool isCaptureRunning();
    // One turn of the main loop; a turn that need not draw (see shouldDraw) serves project work
    // instead, unless alwaysDraw.
    bool turn(bool alwaysDraw);
    // Opens the keyboard and mouse of the window and listens to them (SceneInput.cpp).
    void setupInput();
    // "project.mouse.action" on the main thread.
    void setInteractionMode(const std::string& keyword);
    // Runs work on the main thread under the frame lock and the scene lock (see the class
    // comment), after the changes clients made in the model; then brings the model up to date
    // and sends the events the work announced. False when the player is shutting down and the
    // work did not run.
    bool inProject(const std::function<void()>& work);
    // Inside inProject: the event goes out with the model's update at the end of the work.
    void announce(const std::string& event);
    // Gives the actors the transforms and the window the title clients set in the model. Main
    // thread, frame and scene locks held.
    void applyClientChanges();
    // Replaces the model's state with the engine side's and sends the announced events. Main
    // thread, frame and scene locks held.
    void publish();
    // Runs read on the model's state under the model lock, on the calling thread. Always true.
    bool readProject(const std::function<void(const ProjectState&)>& read);
    // Asks the main loop to draw its next turn, and cuts short an idle wait, once the reply of
    // the command running on this thread, if any, is written. Any thread.
    void requestRedraw();
    // Whether this turn draws: something changed since the last drawing, an animation plays,
    // the debug overlay shows statistics, or a second passed. Main thread.
    bool shouldDraw();
    // Destroys the server, if any. Caller holds the scene lock.
    void stopServer();

    // Actor blocks (SceneOperations.cpp). The finds and reads expect the scene lock held.
    Actor* findActor(ActorKind kind, const std::string& name);
    // Notes why an operation found no actor of that kind by that name.
    void noteNoActor(ActorKind kind, const std::string& name);
    // Notes why making an actor failed: the name is taken, the file name has the wrong kind, the
    // resource or the file in its package is missing, or else what the engine said. Scene lock.
    void noteCreateFailure(const std::string& name, const std::string& resource, const std::string& fileName,
                           const char* extension);
    // Runs read on the model's tracker by that name; false, with the reason noted, when there is none.
    bool readTracker(const std::string& name, const std::function<void(const ProjectState::Tracker&)>& read);
    // Runs read on the model's actor of that kind; false when there is none.
    bool readActor(ActorKind kind, const std::string& name,
                   const std::function<void(const ProjectState::Actor&)>& read);
    // Changes the transform of the model's actor of that kind; change sets the event and may
    // refuse the numbers. False when not found or refused.
    bool changeActor(ActorKind kind, const std::string& name,
                     const std::function<bool(ActorTransform&, std::string& event)>& change);
    // Makes an actor between frames and announces event, or notes why it failed (see
    // noteCreateFailure, with the file name's expected extension or null).
    bool createActor(const std::string& name, const std::string& resource, const std::string& fileName,
                     const char* extension, const std::function<Actor*()>& make, const std::string& event);
    // Changes the orientation of the model's actor of that kind (mesh and scene actors), or
    // refuses the numbers; the event carries the angles.
    bool changeOrientation(ActorKind kind, const std::string& name,
                           const std::function<bool(ActorTransform&)>& turn);
    // Keeps the cause of a failed set-up and returns false.
    bool failSetup(const std::string& cause);
    // The render window: automatic, or placed on the monitor chosen, full screen if asked.
    Ogre::RenderWindow* createWindow();
    // F11: full screen at the size of the screen, or back to the window as it was.
    void toggleFullScreen();
    void setupCameras();
    bool setupViewports();
    bool setupOverlays();
    void setupBackgrounds();
    // Takes the camera's frame size and calibration at that size (or none) for the main view,
    // then fits the view to them (fitMainView). Main thread.
    void showFrameInView(const Ostrevan::CameraParameters* camera, int width, int height);
    // Gives the main camera the frustum that shows the whole camera frame in the main viewport,
    // from the calibration's focal lengths and centre (Ostrevan::frameView), and the background
    // grid the texture coordinates that undo the lens for that frustum. Main thread.
    void fitMainView();
    std::unique_ptr<Ogre::Rectangle2D> makeFullScreenRectangle(const std::string& material);
    // Gives a viewport's camera the viewport's aspect; the main view is fitted again.
    void applyAspect(Ogre::Viewport* viewport);

    // Engine, owned: the log manager outlives the root, the overlay system is made after it.
    std::unique_ptr<LogFileListener> logFile_; // writes log.txt; outlives the log manager
    std::unique_ptr<Ogre::LogManager> logManager_;
    std::unique_ptr<ViewsSceneManagerFactory> viewsFactory_; // makes "VIEWPORTS"; outlives root_
    std::unique_ptr<Ogre::Root> root_;                       // render root; null until set-up
    std::unique_ptr<Ogre::OverlaySystem> overlaySystem_;     // overlays in every scene manager
    std::unique_ptr<X11Desktop> desktop_;                    // close protocol, cursor, display size
    StartOptions options_;                                   // the command line's choices
    Ogre::RenderWindow* window_ = nullptr;                   // made by the root, owned by it

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

    MainThreadQueue tasks_; // project work handed over by other threads, run between frames
    VelOS::Semaphore frameLock_{VelOS::LockRank::Frame}; // one frame; see the class comment
    std::optional<VelOS::SemaphoreLock> frameHold_;      // holds frameLock_ during a frame
    bool fourViews_ = false;                             // four-view layout chosen; scene lock
    bool fullScreen_ = false; // as last set; the engine's flag may lag without a window manager
    int windowedLeft_ = 0;    // window place to go back to from full screen
    int windowedTop_ = 0;
    int windowedWidth_ = 800;
    int windowedHeight_ = 600;
    int screenWidth_ = -1; // primary display, pixels
    int screenHeight_ = -1;
    Ogre::RaySceneQuery* rayQuery_ = nullptr; // picking in VIEWPORTS; owned by it
    Ogre::Overlay* splashOverlay_ = nullptr;  // "Core/SplashScreenOverlay"
    double splashTimer_ = 0.0;                // seconds the splash has been shown
    Ogre::Overlay* debugOverlay_ = nullptr;   // "Core/DebugOverlay"
    Ogre::Overlay* statusOverlay_ = nullptr;  // "Core/StatusOverlay"; none in an older archive
    std::string statusText_;                  // caption of "Core/StatusLine" now
    double statusClock_ = 0.0;                // seconds since the frame rate was last measured
    std::uint64_t statusFrames_ = 0;          // camera frames counted then
    double cameraRate_ = 0.0;                 // camera frames per second lately
    std::string netFailure_;                  // why the remote control is not listening; scene lock
    std::string calibrationNote_;             // the camera file was made for another size; scene lock
    std::string debugText_;                   // shown in "Core/DebugText"
    VelVideoCapture capture_;                 // the camera; its thread hands frames to frame()

    bool flipX_ = false;                                 // mirror the camera picture horizontally
    bool flipY_ = false;                                 // and vertically
    VelOS::Semaphore imageLock_{VelOS::LockRank::Image}; // staging image and new-frame flag
    std::vector<unsigned char> stagingPixels_;           // copy of the last camera frame, flipped; image lock
    Ogre::Image stagingImage_;                           // wraps stagingPixels_; image lock
    bool newFrame_ = false; // stagingImage_ holds a frame not yet uploaded; image lock
    FrameLatency::Clock::time_point stagedDelivery_;   // when the staged frame was delivered; image lock
    FrameLatency::Clock::time_point shownDelivery_;    // the frame uploaded this turn; main thread
    FrameLatency latency_;                             // delivery to swap, when measured; main thread
    Ogre::MaterialPtr backgroundMaterial_;             // "BackgroundMaterial"
    Ogre::TexturePtr backgroundTexture_;               // "BackgroundTexture", 640x480 R8G8B8
    std::unique_ptr<Ogre::Rectangle2D> gridRectangle_; // grid behind the auxiliary views
    std::unique_ptr<Ogre::ManualObject> backgroundRectangle_; // camera picture of the main view
    // What the main view shows, as the last camera set-up left it (main thread): the frame size
    // and, when viewCalibrated_, the calibration at that size.
    int viewFrameWidth_ = 640;
    int viewFrameHeight_ = 480;
    bool viewCalibrated_ = false;
    Ostrevan::CameraParameters viewCamera_;

    Ostrevan::Manager tracking_; // finds the trackers' markers in camera frames; scene lock
    VelOS::Semaphore sceneLock_{VelOS::LockRank::Scene};     // the project model and the listener registry
    std::unique_ptr<SentenceHandlerFactory> handlerFactory_; // handlers of every server's connections
    std::unique_ptr<VelNet::Server> server_;                 // made by net init; scene lock
    std::string setupFailure_;                               // set by failSetup
    VelNet::ServerPolicy serverPolicy_;                      // given to every server net init makes
    std::string workDirectory_;                              // ends in "/"; empty until set-up
    std::string title_;                                      // title the window shows; scene lock
    ProjectModel model_;              // what clients read and change; its own lock, the last one
    std::vector<std::string> outbox_; // events announced by the project work running now; scene lock
    std::atomic<int> threshold_{100}; // the binarisation level in use; any thread
    ResourceManager resources_;       // the project's packages; scene lock
    // Counts project.new and project.load: a package unpacked for an earlier project is not
    // added to a later one. Any thread.
    std::atomic<std::uint64_t> projectGeneration_{0};
    TrackerManager trackers_{&tracking_, std::string()}; // the project's trackers; scene lock
    // The project's actors; scene lock. The capture thread reaches them through the trackers
    // under the frame lock, which every place that deletes an actor holds too.
    ActorManager actors_;
    Actor* selectedActor_ = nullptr; // last selected by name, not owned; scene lock

    // Pointer interaction (SceneInput.cpp), main thread; "project.mouse.action" writes the
    // flags and integers whole from project work, which runs on the main thread too.
    bool mouseMode_ = false; // picking and dragging enabled
    int transformMode_ = 0;  // 0 none, 1 move, 2 rotate, 3 scale
    int axis_ = 1;           // 1 x, 2 y, 3 z
    int lastPointerX_ = -1;  // previous drag position on the screen; -1 none yet
    int lastPointerY_ = -1;
    Ogre::Camera* steeredCamera_ = nullptr; // the camera the number keys move
    bool handMode_ = false;                 // marker gesture enabled; toggled by pointer interaction
    bool quit_ = false;                     // set by Escape only

    // Drawing only when the picture may have changed (SceneLoop.cpp).
    std::atomic<bool> redraw_{true};                    // a change asks for a drawing; any thread
    bool animating_ = false;                            // something moved in the last frame; main thread
    std::chrono::steady_clock::time_point lastDrawn_{}; // main thread
    unsigned drawnWidth_ = 0;                           // window size at the last drawing
    unsigned drawnHeight_ = 0;
    static volatile std::sig_atomic_t terminationRequested_; // SIGINT or SIGTERM arrived
};
