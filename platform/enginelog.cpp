#include "platform/enginelog.h"

#include <iostream>
#include <mutex>

namespace VelOS {

namespace {
std::mutex sinkMutex; // guards sink and every write through it
EngineLogSink sink;
thread_local std::string failureReason; // noted by this thread's current operation
} // namespace

void setEngineLogSink(EngineLogSink newSink) {
    std::lock_guard<std::mutex> guard(sinkMutex);
    sink = std::move(newSink);
}

void engineLog(const std::string& line) {
    std::lock_guard<std::mutex> guard(sinkMutex);
    if (sink) {
        sink(line);
    }
}

void noteFailure(const std::string& reason) {
    if (failureReason.empty()) {
        failureReason = reason;
    }
}

std::string takeFailureReason() {
    std::string reason;
    reason.swap(failureReason);
    return reason;
}

void logFailure(const std::string& line) {
    std::lock_guard<std::mutex> guard(sinkMutex);
    if (sink) {
        sink(line);
    }
    std::cerr << line << std::endl;
}

} // namespace VelOS
