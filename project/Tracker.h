#pragma once

#include "platform/Semaphore.h"

#include <set>

class TrackerListener;

// A marker the camera may see, with the actors that follow it. The listener lock guards the
// listener set: connect and unconnect come from project work (under the scene lock), the
// fan-out of found, lost and moved from the capture thread (under the frame, image and scene
// locks), and lost also from the main thread when the camera is set up again or stopped (under
// the frame and scene locks). Its place in the lock order: platform/LockRank.h.
class Tracker {
public:
    virtual ~Tracker() = default;
    // Creates and registers the tracker's target.
    virtual bool init() = 0;
    // Unregisters and deletes the target, if any.
    virtual void release() = 0;
    // Per-frame work; AR trackers have none.
    virtual void update() {}
    // A listener that joins while the marker is in view learns so at once (see greet).
    void addListener(TrackerListener* listener);
    void removeListener(TrackerListener* listener);
    bool hasListener(TrackerListener* listener);

protected:
    // Tells a new listener what it missed; listener lock held.
    virtual void greet(TrackerListener* /*listener*/) {}

    VelOS::Semaphore listenerLock_{VelOS::LockRank::TrackerListener}; // guards listeners_
    std::set<TrackerListener*> listeners_;                            // the connected actors, not owned
};
