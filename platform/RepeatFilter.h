#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace VelOS {

// Keeps a flood of like lines (a client refused a thousand times a second, a command failing in a
// loop) from filling the log: of the lines alike but for their numbers, the first few of each
// minute are written and the rest counted, and the count is written when the minute is over:
// "refused client 10.0.0.7: ... and 4,211 more like it in the last minute".
//
// A plain object without a lock: its owner serialises the calls.
class RepeatFilter {
public:
    using Clock = std::chrono::steady_clock;

    // Lines of one kind written in a minute before the rest are counted.
    static constexpr int DefaultWrittenPerMinute = 20;
    // Kinds of line followed at once; beyond, the quietest are forgotten.
    static constexpr std::size_t MaximumKinds = 4096;

    explicit RepeatFilter(int writtenPerMinute = DefaultWrittenPerMinute,
                          Clock::duration window = std::chrono::minutes(1))
        : writtenPerWindow_(writtenPerMinute), window_(window) {}

    // Appends to out what is to be written for this line now: the count of an earlier window of
    // its kind that has ended, and the line itself unless it is counted.
    void pass(const std::string& line, Clock::time_point now, std::vector<std::string>& out);
    // Appends the counts of every window that has ended; for quiet moments, so that a flood's
    // count is written although no line of its kind follows.
    void flush(Clock::time_point now, std::vector<std::string>& out);

    // The line with every run of digits made one "#": lines alike but for their numbers.
    static std::string kindOf(const std::string& line);
    // "4,211"
    static std::string withThousands(std::uint64_t count);

private:
    struct Kind {
        Clock::time_point windowStart;
        int written = 0;           // lines written in this window
        std::uint64_t counted = 0; // lines counted instead
        std::string example;       // the first line counted
    };

    // The count line of a window, if it counted any, and the window restarted.
    void close(Kind& kind, Clock::time_point now, std::vector<std::string>& out);

    int writtenPerWindow_;
    Clock::duration window_;
    std::unordered_map<std::string, Kind> kinds_;
};

} // namespace VelOS
