#include "platform/RotatingLog.h"

#include <cstdlib>
#include <ctime>
#include <vector>

namespace VelOS {

namespace {

std::uint64_t sizeFromEnvironment() {
    const char* text = std::getenv(RotatingLog::SizeVariable);
    if (text == nullptr || *text == '\0') {
        return RotatingLog::DefaultMaximumBytes;
    }
    char* end = nullptr;
    const unsigned long long megabytes = std::strtoull(text, &end, 10);
    return *end == '\0' && megabytes > 0 && megabytes < (1ull << 20) ? megabytes * 1024 * 1024
                                                                     : RotatingLog::DefaultMaximumBytes;
}

std::string oldFile(const std::string& path, int number) {
    return path + "." + std::to_string(number);
}

} // namespace

RotatingLog::RotatingLog(std::string path, std::uint64_t maximumBytes)
    : path_(std::move(path)), maximumBytes_(maximumBytes > 0 ? maximumBytes : sizeFromEnvironment()) {
    file_ = std::fopen(path_.c_str(), "w");
}

RotatingLog::~RotatingLog() {
    std::lock_guard<std::mutex> hold(mutex_);
    // The counts of floods still under way are written too: the log's last word on them.
    std::vector<std::string> lines;
    repeats_.flush(RepeatFilter::Clock::time_point::max(), lines);
    writeLines(lines);
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

void RotatingLog::write(const std::string& message) {
    std::lock_guard<std::mutex> hold(mutex_);
    std::vector<std::string> lines;
    repeats_.pass(message, RepeatFilter::Clock::now(), lines);
    writeLines(lines);
}

void RotatingLog::flush() {
    std::lock_guard<std::mutex> hold(mutex_);
    std::vector<std::string> lines;
    repeats_.flush(RepeatFilter::Clock::now(), lines);
    writeLines(lines);
    if (file_ != nullptr) {
        std::fflush(file_);
    }
}

void RotatingLog::writeLines(const std::vector<std::string>& lines) {
    if (lines.empty()) {
        return;
    }
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[16];
    std::strftime(stamp, sizeof stamp, "%H:%M:%S: ", &local);
    for (const std::string& line : lines) {
        if (bytes_ >= maximumBytes_) {
            rotate();
        }
        if (file_ == nullptr) {
            return;
        }
        std::fputs(stamp, file_);
        std::fputs(line.c_str(), file_);
        std::fputc('\n', file_);
        bytes_ += std::char_traits<char>::length(stamp) + line.size() + 1;
    }
    // Each message reaches the disk at once, as the engine's own log did: a player that is
    // killed leaves its last words behind.
    std::fflush(file_);
}

void RotatingLog::rotate() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    std::remove(oldFile(path_, KeptFiles).c_str());
    for (int number = KeptFiles - 1; number >= 1; --number) {
        std::rename(oldFile(path_, number).c_str(), oldFile(path_, number + 1).c_str());
    }
    std::rename(path_.c_str(), oldFile(path_, 1).c_str());
    file_ = std::fopen(path_.c_str(), "w");
    bytes_ = 0;
}

} // namespace VelOS
