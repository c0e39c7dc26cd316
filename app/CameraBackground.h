#pragma once

#include "app/FrameLatency.h"
#include "app/FramePacing.h"
#include "platform/Semaphore.h"
#include "tracking/Manager.h"
#include "video/FrameSink.h"
#include "video/VelVideoCapture.h"

#include <OGRE/Ogre.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

// The camera as the main view shows it: the camera run, marker tracking over its frames, the
// picture as the background of the main view, and the main camera's frustum that fits the picture
// to the view.
//
// Threads: the capture thread hands every frame to frame(), which copies it (flipped as asked),
// finds the markers in its own copy without any lock of the project (the tracking manager's own
// lock only) and stages the picture with what the trackers are to hear. The main thread takes
// the newest staged frame at the start of a frame (showNewestFrame): it uploads the picture and
// hands the tracking results on to the trackers and their actors, so that drawing and detection
// run side by side on two cores and the content drawn always belongs to the picture drawn. The
// staging lock guards the staged frame (its place in the order: platform/LockRank.h). Everything
// else is the main thread's: the camera commands run as main-thread project work.
class CameraBackground : public FrameSink {
public:
    explicit CameraBackground(FramePacing& pacing);
    ~CameraBackground() override;
    CameraBackground(const CameraBackground&) = delete;
    CameraBackground& operator=(const CameraBackground&) = delete;

    // Where File cameras find uploaded recordings. Before the first camera.
    void setWorkDirectory(const std::string& workDirectory) { capture_.setWorkDirectory(workDirectory); }
    // Makes the background (texture, material, grid) in the main scene, drawn for the main
    // camera in the main viewport, which the view is fitted to. Set-up.
    void setup(Ogre::SceneManager* mainScene, Ogre::Camera* mainCamera, Ogre::Viewport* mainViewport);
    // Stops the camera and waits for its thread: nothing calls frame() from then on.
    void stopAndWait() { capture_.stopAndWait(); }
    // Gives back the engine objects, before the engine goes.
    void release();

    // Camera commands (main thread project work). start: false, with the reason in why, when no
    // camera could be opened.
    bool start(const std::string& device, const std::string& configuration, std::string& why);
    void stop();
    bool isCapturing() const { return capture_.isCapturing(); }
    std::string deviceName() { return capture_.deviceName(); }
    std::string configuration() { return capture_.configuration(); }
    void setFlipX(bool flip) { flipX_ = flip; }
    void setFlipY(bool flip) { flipY_ = flip; }
    bool flipX() const { return flipX_; }
    bool flipY() const { return flipY_; }
    // The threshold: automatic (the level found in every frame), or the level given, or manual
    // at the level in use now.
    void setThresholdAutomatic();
    void setThresholdManual(int level);
    void setThresholdManual();
    bool thresholdAutomatic() const { return tracking_.automaticInUse(); }
    // The level in use, set or found in the last frame; any thread.
    int thresholdValue() const { return threshold_.load(); }

    // The trackers register their targets here. Any thread (the manager locks itself).
    Ostrevan::Manager& tracking() { return tracking_; }
    // What the status line says of the camera: its run, and whether the camera file fits it.
    VelVideoCapture::Status status() { return capture_.status(); }
    const std::string& calibrationNote() const { return calibrationNote_; }

    // Main thread, at the start of a frame: uploads the newest staged picture and hands its
    // tracking results to the trackers.
    void showNewestFrame();
    // Main thread, once the frame that showNewestFrame began is on the screen.
    void frameShown();
    // Gives the main camera the frustum that shows the whole camera frame in the main viewport
    // (from the calibration's focal lengths and centre), and the background grid the texture
    // coordinates that undo the lens for it. Main thread, when the viewport changes.
    void fitMainView();
    // Delivery to swap, when measured (VELQUIN_FRAME_LATENCY=1).
    const FrameLatency& latency() const { return latency_; }

    // FrameSink: the capture thread.
    void frame(const unsigned char* pixels, int width, int height, unsigned format) override;

private:
    // Takes the frame size and the calibration at that size (or none) for the main view, then
    // fits the view to them.
    void showFrameInView(const Ostrevan::CameraParameters* camera, int width, int height);
    // Forgets a staged frame and its results (a camera stopped or replaced).
    void dropStaged();

    FramePacing& pacing_;
    VelVideoCapture capture_;         // the camera; its thread calls frame()
    Ostrevan::Manager tracking_;      // finds the trackers' markers; its own lock
    std::atomic<bool> flipX_{false};  // mirror the picture: rows upside down; any thread
    std::atomic<bool> flipY_{false};  // mirror the picture: left to right; any thread
    std::atomic<int> threshold_{100}; // the binarisation level in use; any thread

    // Capture thread only: the frame being worked on.
    std::vector<unsigned char> working_;
    std::vector<Ostrevan::TargetEvent> found_;

    // The frame handed over, and what it tells the trackers; staging lock.
    VelOS::Semaphore stagingLock_{VelOS::LockRank::Staging};
    std::vector<unsigned char> staged_;
    int stagedWidth_ = 0;
    int stagedHeight_ = 0;
    unsigned stagedFormat_ = 0;
    std::vector<Ostrevan::TargetEvent> stagedEvents_; // every frame's, in order, since the last taken
    bool newFrame_ = false;                           // staged_ holds a frame not yet shown
    FrameLatency::Steps stagedSteps_;                 // when it was delivered and detected

    // Main thread.
    std::vector<unsigned char> uploading_;     // the frame uploaded this turn
    FrameLatency::Steps shownSteps_;           // its steps; delivered empty when none
    FrameLatency latency_;                     // delivery to swap, when measured
    std::string calibrationNote_;              // the camera file was made for another size
    Ogre::Camera* mainCamera_ = nullptr;       // owned by the main scene manager
    Ogre::Viewport* mainViewport_ = nullptr;   // owned by the window
    Ogre::MaterialPtr material_;               // "BackgroundMaterial"
    Ogre::TexturePtr texture_;                 // "BackgroundTexture", the frame's size
    std::unique_ptr<Ogre::ManualObject> grid_; // the picture, as a divided rectangle
    int viewFrameWidth_ = 640;                 // the frame the view is fitted to
    int viewFrameHeight_ = 480;
    bool viewCalibrated_ = false; // viewCamera_ is the calibration at that size
    Ostrevan::CameraParameters viewCamera_;
};
