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
    // The swap just done showed a frame delivered then.
    void shown(Clock::time_point delivered);
    // "Frame latency, capture delivery to swap: N frames, median M ms, 99th percentile P ms";
    // empty when nothing was measured.
    std::string report() const;

    static constexpr const char* Variable = "VELQUIN_FRAME_LATENCY";

private:
    bool enabled_ = false;
    std::vector<double> milliseconds_;
};
