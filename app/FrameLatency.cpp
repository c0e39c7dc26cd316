#include "app/FrameLatency.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

FrameLatency::FrameLatency() {
    const char* value = std::getenv(Variable);
    enabled_ = value != nullptr && std::strcmp(value, "1") == 0;
}

void FrameLatency::shown(Clock::time_point delivered) {
    if (enabled_) {
        milliseconds_.push_back(std::chrono::duration<double, std::milli>(Clock::now() - delivered).count());
    }
}

std::string FrameLatency::report() const {
    if (milliseconds_.empty()) {
        return std::string();
    }
    std::vector<double> sorted = milliseconds_;
    std::sort(sorted.begin(), sorted.end());
    // Nearest rank.
    auto rank = [&sorted](double share) {
        const std::size_t index =
            static_cast<std::size_t>(share * static_cast<double>(sorted.size()) + 0.999999);
        return sorted[std::min(sorted.size(), std::max<std::size_t>(index, 1)) - 1];
    };
    char line[160];
    std::snprintf(
        line, sizeof line,
        "Frame latency, capture delivery to swap: %zu frames, median %.1f ms, 99th percentile %.1f ms",
        sorted.size(), rank(0.5), rank(0.99));
    return line;
}
