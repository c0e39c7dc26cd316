#include "app/framerules.h"

int framePacingSleep(float frameTime) {
    const int milliseconds = static_cast<int>(40.0f - frameTime * 1000.0f);
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
