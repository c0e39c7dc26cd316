#include "platform/enginelog.h"

#include <iostream>
#include <mutex>

namespace VelOS {

namespace {
std::mutex sinkMutex; // guards sink and every write through it
EngineLogSink sink;
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

void logFailure(const std::string& line) {
    engineLog(line);
    std::lock_guard<std::mutex> guard(sinkMutex);
    std::cerr << line << std::endl;
}

} // namespace VelOS
