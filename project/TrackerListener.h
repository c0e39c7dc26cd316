#pragma once

// Whoever wants to follow one AR tracker's marker: the actors connected to it. Called by the
// tracker on the main thread at the start of a frame, when the tracking results found for the
// picture about to be drawn are handed on; no lock is held.
class TrackerListener {
public:
    virtual ~TrackerListener() = default;
    // The marker came into view.
    virtual void activated() = 0;
    // The marker was lost.
    virtual void deactivated() = 0;
    // The marker's pose: position in units of the marker width, and orientation (w, x, y, z).
    virtual void setPosePosition(float x, float y, float z) = 0;
    virtual void setPoseOrientation(float w, float x, float y, float z) = 0;
};
