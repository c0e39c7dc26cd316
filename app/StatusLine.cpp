#include "app/StatusLine.h"

#include <cstdio>

namespace {
constexpr const char* Gap = "    ";
} // namespace

std::string statusLine(const StatusFacts& facts) {
    std::string line = "Camera: ";
    if (facts.capturing && facts.lost) {
        line = "Camera LOST: " + facts.device + " - looking for it every second";
    } else if (facts.capturing) {
        char rate[32];
        std::snprintf(rate, sizeof rate, "%.0f", facts.framesPerSecond);
        line += facts.device + ", " + rate + " frames per second";
        if (!facts.calibrationNote.empty()) {
            line += " (" + facts.calibrationNote + ")";
        }
    } else if (!facts.failure.empty()) {
        line += "not running: " + facts.failure;
    } else {
        line += "none (no project.videocapture.init yet)";
    }
    line += "\n";
    line += "Markers: " + std::to_string(facts.markersFound) + " found of " + std::to_string(facts.trackers) +
            (facts.trackers == 1 ? " tracker" : " trackers") + Gap;
    if (facts.port > 0) {
        line += "Remote control: port " + std::to_string(facts.port) + " on all addresses, " +
                std::to_string(facts.clients) + (facts.clients == 1 ? " client" : " clients");
    } else if (!facts.netFailure.empty()) {
        line += "Remote control: not listening: " + facts.netFailure;
    } else {
        line += "Remote control: off (no project.net.init yet)";
    }
    return line;
}
