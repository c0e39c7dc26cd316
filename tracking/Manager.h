#pragma once

#include "tracking/camera.h"
#include "tracking/detection.h"

#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

// The tracking manager: once per camera frame it runs the marker library over the frame, picks
// for every registered target the best matching marker and tells the target's listeners whether
// its marker was found, lost or moved.
//
// Threads: the player detects on the capture thread and tells the listeners on the main thread:
// processFrame with an event list only records what the frame tells (TargetEvent), and deliver
// hands the events on later. Its own mutex (the tracking lock) serialises every call and the
// marker library; it is never held while a listener is called, nor while anything else is
// taken. The plain threshold fields are for single-threaded callers (tests, tools); the player
// uses setThresholdMode and thresholdInUse, which take the lock.
namespace Ostrevan {

// Whoever wants a target's notices (the AR trackers of the project).
class TargetListener {
public:
    virtual ~TargetListener() = default;
    virtual void lost() = 0;
    virtual void found() = 0;
    // Position in camera coordinates, in units of the target's width; orientation (w, x, y, z)
    // with the vector part of the opposite sign to the rotation of the pose (the tracker
    // conjugates it).
    virtual void moved(double x, double y, double z, double qw, double qx, double qy, double qz) = 0;
};

// One marker pattern to follow. Made and owned by a tracker.
class Target {
public:
    Target(std::string patternPath, int width) : patternPath_(std::move(patternPath)), width_(width) {}
    virtual ~Target() = default;

    const std::string& patternPath() const { return patternPath_; }
    int width() const { return width_; }
    // A listener already there stays once.
    void addListener(TargetListener* listener) { listeners_.insert(listener); }
    const std::set<TargetListener*>& listeners() const { return listeners_; }

private:
    std::string patternPath_;             // full path of the pattern file
    int width_;                           // side of the printed black square; unit of positions
    std::set<TargetListener*> listeners_; // not owned
};

// What one frame tells one target's listeners, recorded for later delivery.
struct TargetEvent {
    enum class Kind { Lost, Found, Moved };
    Kind kind = Kind::Moved;
    Target* target = nullptr; // not owned; delivered only while still registered
    double position[3] = {};  // Moved: as TargetListener::moved takes them
    double orientation[4] = {};
};

class Manager {
public:
    Manager() = default;
    virtual ~Manager() = default;
    Manager(const Manager&) = delete;
    Manager& operator=(const Manager&) = delete;

    // Frame size and pixel size (3 or 4 bytes) of the camera, and the camera file. False when
    // the camera file cannot be read; the frame fields keep their new values then. Registered
    // targets stay registered; markers in view are reported lost and posed afresh when found.
    bool initialise(int width, int height, int pixelSize, const std::string& cameraFile);
    // Forgets the frame size; targets stay registered, markers in view are reported lost.
    void finalise();
    // Degrees: frame width x the third distortion value of the scaled camera / frame height.
    double verticalFieldOfView() const;

    // Loads the target's pattern and follows it from the next frame on.
    void registerTarget(Target* target);
    // Frees the pattern of every record of the target and forgets them.
    void unregisterTarget(Target* target);

    // The marker library this manager runs (its patterns are those of the registered targets).
    const Library& library() const { return library_; }

    // One camera frame of the initialised size, rows top to bottom; the listeners hear of it at
    // once.
    void processFrame(const unsigned char* pixels);
    // The same for a frame of width x height, with what the listeners are to hear appended to
    // events instead of told. A frame of another size than the initialised one (the first frames
    // of a new camera, on their way before the manager was initialised for it) is passed over.
    void processFrame(const unsigned char* pixels, int width, int height, std::vector<TargetEvent>& events);
    // Tells the listeners what events say, in order, for the targets still registered.
    void deliver(const std::vector<TargetEvent>& events);

    // The threshold setting under the tracking lock: automatic, or the level given.
    void setThresholdMode(bool automaticMode, int level);
    void setThresholdMode(bool automaticMode);
    // The level in use (set, or found in the last frame in automatic mode), and the mode.
    int thresholdInUse() const;
    bool automaticInUse() const;

    // The calibration as the camera file gave it, or nullptr before one was read.
    const CameraParameters* loadedCamera() const { return hasCamera_ ? &loaded_ : nullptr; }
    // The calibration at the frame size, or nullptr before a camera file was read.
    const CameraParameters* camera() const { return hasCamera_ ? &scaled_ : nullptr; }
    int frameWidth() const { return width_; }
    int frameHeight() const { return height_; }

    // The threshold setting, read and written directly by single-threaded callers (tests, tools).
    int threshold = 100;    // binarisation threshold handed to detection
    bool automatic = false; // recompute the threshold from every frame

    // The automatic threshold of a frame: Otsu's level of its grey histogram (grey = mean of the
    // first three bytes of a pixel), 0..255; 0 for a frame of one grey. In automatic mode the
    // frame is binarised locally (see detectMarkers); this level is what is reported.
    int automaticThreshold(const unsigned char* pixels);

private:
    struct Record {
        int patternId = -1; // slot of the target's pattern; -1 when it did not load
        Target* target = nullptr;
        bool visible = false;  // the marker was found in the last processed frame
        bool firstPose = true; // the next pose is computed from scratch
        double patternCentre[2] = {0.0, 0.0};
        double lastPose[3][4] = {};
    };
    void step(Record& record, const DetectedMarker* markers, int count, std::vector<TargetEvent>& events);
    // After a camera change: markers in view to be reported lost, every pose from scratch.
    void restartTargets(std::vector<TargetEvent>& events);
    bool isRegistered(const Target* target) const;

    CameraParameters loaded_; // as read from the camera file
    CameraParameters scaled_; // adapted to the frame size
    bool hasCamera_ = false;  // scaled_ holds a calibration
    int width_ = 0;
    int height_ = 0;
    int pixelSize_ = 0;
    int pixelCount_ = 0;
    int counts_[256] = {}; // work area of the automatic threshold
    float probabilities_[256] = {};
    std::vector<Record> records_; // in registration order
    Library library_;             // detector camera, patterns, work memory, marker history
    mutable std::mutex mutex_;    // the tracking lock: guards everything above and the threshold
};

} // namespace Ostrevan
