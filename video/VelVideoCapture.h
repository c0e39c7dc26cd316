#pragma once

#include "platform/Semaphore.h"

#include <memory>
#include <string>
#include <thread>
#include <vector>

class FrameSink;
class VideoDevice;

// Makes the camera device of a type: "V4L2" (a Video4Linux2 camera), "DirectShow" (kept for
// existing authoring tools: the first camera, as "V4L2" with an empty configuration; its
// configuration text is kept but not read) or "File" (recorded frames, see FileVideoDevice).
// Types are exact and case-sensitive. Nothing for an unknown type or a device that did not open.
std::unique_ptr<VideoDevice> createVideoDevice(const std::string& type, const std::string& configuration,
                                               const std::string& workDirectory);

// The camera of the player: one device and one capture thread per run, which copies every new
// frame into one of two buffers (so the buffer a sink just received is not the next one
// written) and hands it to the sinks.
//
// Threads: initialise, stop and the sink operations come from the main thread (project work);
// the capture thread runs each run. The capture lock guards the sinks, the device, the texts and
// the run state; the capture thread never holds it while it calls the sinks, so a sink may take
// the frame, image and scene locks.
class VelVideoCapture {
public:
    VelVideoCapture();
    // Stops, then waits for every capture thread to end.
    ~VelVideoCapture();
    VelVideoCapture(const VelVideoCapture&) = delete;
    VelVideoCapture& operator=(const VelVideoCapture&) = delete;

    // Files named by a "File" configuration may also lie here.
    void setWorkDirectory(const std::string& workDirectory);

    // Stops any current run, makes the device and starts a new run. False (with the engine log
    // line "VelVideoCapture::initialise: cannot create device") when no device could be made.
    bool initialise(const std::string& type, const std::string& configuration);
    // Ends the run and destroys the device without waiting for the thread.
    void stop();
    // Stops and waits until every capture thread has ended. The caller must hold no lock that a
    // sink takes.
    void stopAndWait();
    bool isCapturing();
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

private:
    // State of one capture run, shared by the object and the run's thread.
    struct Run {
        bool stopRequested = false; // capture lock
        bool finished = false;      // capture lock; the thread has stopped touching the object
    };
    void capture(std::shared_ptr<Run> run);
    // Joins the threads of runs that have ended; capture lock held.
    void joinFinishedRuns();

    std::vector<FrameSink*> sinks_;                          // in registration order, not owned
    VelOS::Semaphore captureLock_{VelOS::LockRank::Capture}; // guards everything below and every Run
    std::string workDirectory_;
    std::string deviceName_;
    std::string configuration_;
    std::shared_ptr<Run> current_; // the run the device belongs to; null when idle
    std::vector<std::pair<std::thread, std::shared_ptr<Run>>> threads_; // every run not yet joined
    std::unique_ptr<VideoDevice> device_;
};
