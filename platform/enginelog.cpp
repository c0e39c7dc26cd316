#include "platform/enginelog.h"

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

} // namespace VelOS
