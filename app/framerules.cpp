#include "app/framerules.h"

int framePacingWait(double sinceLastDrawing) {
    const int milliseconds = static_cast<int>(MinimumFrameMilliseconds - sinceLastDrawing);
    return milliseconds > 0 ? milliseconds : 0;
}

bool nextSplashVisibility(bool visible, double& timer, float frameTime, bool captureRunning) {
    if (!visible) {
        return !captureRunning;
    }
    if (timer < 1.0) {
        timer += frameTime;
        return true;
    }
    return !captureRunning;
}
