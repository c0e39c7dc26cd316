#pragma once

// Whoever wants to follow one AR tracker's marker: the actors connected to it. Called by the
// tracker on the capture thread during the tracking manager's fan-out, under the frame, image
// and scene locks and the tracker's listener lock.
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
