#pragma once

#include <chrono>
#include <string>
#include <vector>

// Time from the capture thread's delivery of a camera frame to the buffer swap that first shows
// it, collected when VELQUIN_FRAME_LATENCY=1 (bench/app/frame_latency.sh) and reported at exit.
// Main thread only.
class FrameLatency {
public:
    using Clock = std::chrono::steady_clock;

    // Reads the environment: off unless asked for.
    FrameLatency();
    bool enabled() const { return enabled_; }
    // When a frame went through each step on its way to the screen.
    struct Steps {
        Clock::time_point delivered; // the capture thread had it
        Clock::time_point detected;  // its markers were found and it waited for the main thread
        Clock::time_point uploaded;  // the main thread had put it into the texture
    };
    // The swap just done showed a frame that went through those steps.
    void shown(const Steps& steps);
    // "Frame latency, capture delivery to swap: N frames, median M ms, 99th percentile P ms",
    // then a line with the median of each step; empty when nothing was measured.
    std::string report() const;

    static constexpr const char* Variable = "VELQUIN_FRAME_LATENCY";

private:
    bool enabled_ = false;
    std::vector<double> milliseconds_; // delivery to swap
    std::vector<double> detecting_;    // delivery to detected
    std::vector<double> waiting_;      // detected to uploaded: the main loop's wake-up and turn
    std::vector<double> drawing_;      // uploaded to swap
};
