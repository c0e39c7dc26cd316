#pragma once

// The per-frame rules of the main loop, kept free of the engine so they can be tested alone.
// Main thread only.

// Milliseconds to sleep after a frame that took frameTime seconds, so that the loop stays near
// 25 frames per second: 40 - frameTime * 1000, truncated toward zero, never below 0.
int framePacingSleep(float frameTime);

// The splash screen rule, applied once per frame. While the splash is visible its timer grows
// by the frame time up to one second; after that the splash goes as soon as the camera runs.
// A hidden splash comes back whenever the camera stops. Returns whether the splash is visible
// after this frame; timer is in seconds.
bool nextSplashVisibility(bool visible, double& timer, float frameTime, bool captureRunning);
