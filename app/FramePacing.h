#pragma once

#include "app/MainThreadQueue.h"
#include "platform/CommandContext.h"

#include <atomic>
#include <chrono>

// When the main loop draws: only when its picture may have changed (a camera frame, a project
// change, input, a resize, an animation, the debug overlay's statistics), as soon as that happens
// but at most 60 times a second, and once a second otherwise. Between drawings the loop serves
// the project work other threads hand over.
//
// Main thread, but for requestRedraw, which any thread calls.
class FramePacing {
public:
    explicit FramePacing(MainThreadQueue& tasks) : tasks_(tasks) {}

    // Asks for a drawing at the next turn and cuts short an idle wait. Inside a command (context
    // given) the wake waits until the command's reply is written: the reply goes first.
    void requestRedraw(VelOS::CommandContext* context = nullptr);

    // Whether this turn draws, for a window of that size; continuously: something moves or
    // shows live statistics. When it does not, wait says how long the loop may serve project
    // work before it asks again (milliseconds).
    bool dueNow(unsigned width, unsigned height, bool continuously, int& wait);
    // A drawing starts now; a change from here on asks for the next one.
    void drawing();

private:
    MainThreadQueue& tasks_;
    std::atomic<bool> redraw_{true};                    // a change asks for a drawing; any thread
    std::chrono::steady_clock::time_point lastDrawn_{}; // main thread
    unsigned drawnWidth_ = 0;                           // window size at the last drawing; main thread
    unsigned drawnHeight_ = 0;
};
