#pragma once

// The per-frame rules of the main loop, kept free of the engine so they can be tested alone.
// Main thread only.

// The shortest time between two drawings, in milliseconds: at most 60 a second. A camera frame or a
// change is drawn as soon as it arrives, unless the last drawing was less than this long ago.
constexpr int MinimumFrameMilliseconds = 16;

// Milliseconds to wait before a drawing that is wanted, the last drawing having ended
// sinceLastDrawing milliseconds ago: what is left of MinimumFrameMilliseconds, truncated toward
// zero, never below 0.
int framePacingWait(double sinceLastDrawing);

// The splash screen rule, applied once per frame. While the splash is visible its timer grows
// by the frame time up to one second; after that the splash goes as soon as the camera runs.
// A hidden splash comes back whenever the camera stops. Returns whether the splash is visible
// after this frame; timer is in seconds.
bool nextSplashVisibility(bool visible, double& timer, float frameTime, bool captureRunning);
