#include "platform/enginelog.h"

#include "platform/RepeatFilter.h"

#include <iostream>
#include <mutex>
#include <vector>

namespace VelOS {

namespace {
std::mutex sinkMutex; // guards sink, standardErrorRepeats and every write through them
EngineLogSink sink;
RepeatFilter standardErrorRepeats;

// Caller holds sinkMutex.
void writeToStandardError(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        std::cerr << line << '\n';
    }
    if (!lines.empty()) {
        std::cerr.flush();
    }
}
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
    std::lock_guard<std::mutex> guard(sinkMutex);
    if (sink) {
        sink(line);
    }
    std::vector<std::string> lines;
    standardErrorRepeats.pass(line, RepeatFilter::Clock::now(), lines);
    writeToStandardError(lines);
}

void flushRepeatedFailures() {
    std::lock_guard<std::mutex> guard(sinkMutex);
    std::vector<std::string> lines;
    standardErrorRepeats.flush(RepeatFilter::Clock::now(), lines);
    writeToStandardError(lines);
}

} // namespace VelOS
