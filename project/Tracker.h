#pragma once

#include <set>
#include <string>

class TrackerListener;

// A marker the camera may see, with the actors that follow it. Main thread: connect and unconnect
// come from project work, found, lost and moved from the tracking results the main loop hands on
// at the start of a frame, lost also when the camera is set up again or stopped.
class Tracker {
public:
    virtual ~Tracker() = default;
    // Creates and registers the tracker's target. failure() says why it failed, or why the
    // tracker was made all the same but will find nothing.
    virtual bool init() = 0;
    const std::string& failure() const { return failure_; }
    // Unregisters and deletes the target, if any.
    virtual void release() = 0;
    // Per-frame work; AR trackers have none.
    virtual void update() {}
    // A listener that joins while the marker is in view learns so at once (see greet).
    void addListener(TrackerListener* listener);
    void removeListener(TrackerListener* listener);
    bool hasListener(TrackerListener* listener);

protected:
    // Tells a new listener what it missed.
    virtual void greet(TrackerListener* /*listener*/) {}
    void fail(const std::string& reason) { failure_ = reason; }

    std::set<TrackerListener*> listeners_; // the connected actors, not owned
    std::string failure_;                  // see failure()
};
