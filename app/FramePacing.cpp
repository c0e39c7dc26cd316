#include "app/FramePacing.h"

#include "app/framerules.h"

namespace {
// A turn that draws nothing waits at most this long (milliseconds) for work or a change, so that
// input is still polled 25 times a second.
constexpr int IdleTurn = 40;
// Without any change the window is still drawn this often, for whatever the program cannot see
// (a window uncovered, a display that lost its contents).
constexpr auto LongestPause = std::chrono::seconds(1);
} // namespace

void FramePacing::requestRedraw(VelOS::CommandContext* context) {
    redraw_ = true;
    if (context != nullptr) {
        context->afterReply([this] { tasks_.wake(); });
    } else {
        tasks_.wake();
    }
}

bool FramePacing::dueNow(unsigned width, unsigned height, bool continuously, int& wait) {
    const auto now = std::chrono::steady_clock::now();
    if (width != drawnWidth_ || height != drawnHeight_) {
        drawnWidth_ = width;
        drawnHeight_ = height;
        return true;
    }
    if (redraw_ || continuously) {
        wait = framePacingWait(std::chrono::duration<double, std::milli>(now - lastDrawn_).count());
        return wait == 0;
    }
    if (now - lastDrawn_ >= LongestPause) {
        return true;
    }
    wait = IdleTurn;
    return false;
}

void FramePacing::drawing() {
    redraw_ = false;
    lastDrawn_ = std::chrono::steady_clock::now();
}
