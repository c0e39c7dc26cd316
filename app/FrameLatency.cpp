#include "app/FrameLatency.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

FrameLatency::FrameLatency() {
    const char* value = std::getenv(Variable);
    enabled_ = value != nullptr && std::strcmp(value, "1") == 0;
}

namespace {
double millisecondsBetween(FrameLatency::Clock::time_point from, FrameLatency::Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Nearest rank; the list is sorted.
double rank(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    const std::size_t index = static_cast<std::size_t>(share * static_cast<double>(values.size()) + 0.999999);
    return values[std::min(values.size(), std::max<std::size_t>(index, 1)) - 1];
}
} // namespace

void FrameLatency::shown(const Steps& steps) {
    if (enabled_) {
        const Clock::time_point now = Clock::now();
        milliseconds_.push_back(millisecondsBetween(steps.delivered, now));
        detecting_.push_back(millisecondsBetween(steps.delivered, steps.detected));
        waiting_.push_back(millisecondsBetween(steps.detected, steps.uploaded));
        drawing_.push_back(millisecondsBetween(steps.uploaded, now));
    }
}

std::string FrameLatency::report() const {
    if (milliseconds_.empty()) {
        return std::string();
    }
    char line[320];
    std::snprintf(
        line, sizeof line,
        "Frame latency, capture delivery to swap: %zu frames, median %.1f ms, 99th percentile %.1f ms\n"
        "Frame latency by step (medians): detection %.1f ms, waiting for the main loop %.1f ms, upload to "
        "swap %.1f ms",
        milliseconds_.size(), rank(milliseconds_, 0.5), rank(milliseconds_, 0.99), rank(detecting_, 0.5),
        rank(waiting_, 0.5), rank(drawing_, 0.5));
    return line;
}
