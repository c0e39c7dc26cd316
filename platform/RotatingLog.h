#pragma once

#include "platform/RepeatFilter.h"

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

namespace VelOS {

// The player's log file, "log.txt": one line per message, "HH:MM:SS: " before it, as the engine
// writes its own. It does not grow without end: like lines beyond a few a minute are counted
// (RepeatFilter), and at a size (VELQUIN_LOG_MAX_MB, default 10 MB) the file becomes log.txt.1
// (log.txt.1 becoming log.txt.2; KeptFiles old files in all) and a new one begins.
//
// Any thread; writes are serialised by its own mutex.
class RotatingLog {
public:
    static constexpr std::uint64_t DefaultMaximumBytes = 10ull * 1024 * 1024;
    static constexpr int KeptFiles = 2;
    static constexpr const char* SizeVariable = "VELQUIN_LOG_MAX_MB";

    // Opens (truncates) the file; maximumBytes 0 takes VELQUIN_LOG_MAX_MB or the default.
    explicit RotatingLog(std::string path, std::uint64_t maximumBytes = 0);
    ~RotatingLog();
    RotatingLog(const RotatingLog&) = delete;
    RotatingLog& operator=(const RotatingLog&) = delete;

    // Writes one message (through the repeat filter).
    void write(const std::string& message);
    // Writes the counts of floods that have ended; call now and then (the main loop, once a
    // second).
    void flush();

    const std::string& path() const { return path_; }
    std::uint64_t maximumBytes() const { return maximumBytes_; }

private:
    // Writes lines as they are, rotating first when the file is full. Caller holds mutex_.
    void writeLines(const std::vector<std::string>& lines);
    void rotate();

    std::mutex mutex_; // guards everything below
    const std::string path_;
    const std::uint64_t maximumBytes_;
    std::FILE* file_ = nullptr;
    std::uint64_t bytes_ = 0; // in the current file
    RepeatFilter repeats_;
};

} // namespace VelOS
