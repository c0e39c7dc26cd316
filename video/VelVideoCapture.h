#pragma once

#include "platform/Semaphore.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class FrameSink;
class V4L2Kernel;
class VideoDevice;

// Makes the camera device of a type: "V4L2" (a Video4Linux2 camera), "DirectShow" (kept for
// existing authoring tools: the first camera, as "V4L2" with an empty configuration; its
// configuration text is kept but not read) or "File" (recorded frames, see FileVideoDevice).
// Types are exact and case-sensitive. Nothing for an unknown type or a device that did not open;
// the reason is then written to why, when given.
// Cameras reach the kernel through kernel (the system's when none is given).
std::unique_ptr<VideoDevice> createVideoDevice(const std::string& type, const std::string& configuration,
                                               const std::string& workDirectory, V4L2Kernel* kernel = nullptr,
                                               std::string* why = nullptr);

// The camera of the player: one device and one capture thread per run, which copies every new
// frame into one of two buffers (so the buffer a sink just received is not the next one
// written) and hands it to the sinks.
//
// Threads: initialise, stop and the sink operations come from the main thread (project work);
// the capture thread runs each run; isCapturing and status may come from any thread and take
// no lock the capture thread holds for long. The capture lock guards the sinks, the device, the
// texts and the run state; the capture thread holds it only to grab and copy a frame, never
// while it waits for the camera or calls the sinks, so a sink may take the locks that come after
// it (platform/LockRank.h). The wait lock (waitMutex_) counts the threads waiting on the device; stop takes
// it after the capture lock, to destroy the device only once nobody waits on it. The status
// lock guards the status texts only.
class VelVideoCapture {
public:
    VelVideoCapture();
    // Stops, then waits for every capture thread to end.
    ~VelVideoCapture();
    VelVideoCapture(const VelVideoCapture&) = delete;
    VelVideoCapture& operator=(const VelVideoCapture&) = delete;

    // Files named by a "File" configuration may also lie here.
    void setWorkDirectory(const std::string& workDirectory);
    // The kernel the cameras are opened through, instead of the system's (a scripted one in
    // tests). Not owned; it must outlive the capture.
    void setKernel(V4L2Kernel* kernel);

    // Stops any current run, makes the device and starts a new run. False (with the engine log
    // line "VelVideoCapture::initialise: cannot create device") when no device could be made; why, when
    // given, says why.
    bool initialise(const std::string& type, const std::string& configuration, std::string* why = nullptr);
    // Ends the run and destroys the device without waiting for the thread.
    void stop();
    // Stops and waits until every capture thread has ended. The caller must hold no lock that a
    // sink takes.
    void stopAndWait();
    // True while a run is started and not stopped. Lock-free: the main loop asks every frame.
    bool isCapturing() const { return capturing_.load(std::memory_order_acquire); }
    // The type and configuration of the current run; empty when not capturing.
    std::string deviceName();
    std::string configuration();
    // Frame size and pixel-format code of the current device; 0 when not capturing.
    int frameWidth();
    int frameHeight();
    unsigned framePixelFormat();

    void addSink(FrameSink* sink);
    // Removes every occurrence; the sink may still receive the one frame already being delivered.
    void removeSink(FrameSink* sink);

    // What the status line shows about the camera.
    struct Status {
        bool capturing = false;
        bool lost = false;        // the camera went away; the device looks for it
        std::string device;       // type and what the device says of itself
        std::string failure;      // why the last initialise failed; empty after a success
        std::uint64_t frames = 0; // frames delivered since the run started
    };
    Status status();
    // When the last frame was handed to the sinks (steady clock), for latency measurements.
    std::chrono::steady_clock::time_point lastDelivery() const;

private:
    // State of one capture run, shared by the object and the run's thread.
    struct Run {
        bool stopRequested = false; // capture lock
        bool finished = false;      // capture lock; the thread has stopped touching the object
    };
    void capture(std::shared_ptr<Run> run);
    // Joins the threads of runs that have ended; capture lock held.
    void joinFinishedRuns();
    // Wakes a capture thread waiting on the device and waits until it has let go; then the
    // device goes. Capture lock held.
    void destroyDevice();

    std::vector<FrameSink*> sinks_; // in registration order, not owned
    VelOS::Semaphore captureLock_{
        VelOS::LockRank::Capture}; // guards everything below up to device_, and every Run
    std::string workDirectory_;
    V4L2Kernel* kernel_ = nullptr; // null: the system's
    std::string deviceName_;
    std::string configuration_;
    std::shared_ptr<Run> current_; // the run the device belongs to; null when idle
    std::vector<std::pair<std::thread, std::shared_ptr<Run>>> threads_; // every run not yet joined
    std::unique_ptr<VideoDevice> device_;

    // Held while a frame is handed to the sinks, by whichever run's thread hands it; taken with
    // no other lock held, and nothing else is taken under it but what the sinks take.
    std::mutex deliveryMutex_;
    std::mutex waitMutex_;             // guards waiters_
    std::condition_variable waitDone_; // a thread stopped waiting on the device
    int waiters_ = 0;                  // capture threads inside device_->waitForFrame

    std::atomic<bool> capturing_{false};
    std::atomic<bool> lost_{false};
    std::atomic<std::uint64_t> frames_{0};
    std::atomic<std::int64_t> lastDelivery_{0}; // steady clock ticks
    std::mutex statusMutex_;                    // guards the two texts below
    std::string statusDevice_;
    std::string statusFailure_;
};
