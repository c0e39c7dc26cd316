#include "platform/RepeatFilter.h"

#include <cctype>

namespace VelOS {

std::string RepeatFilter::kindOf(const std::string& line) {
    std::string kind;
    kind.reserve(line.size());
    bool inNumber = false;
    for (char c : line) {
        const bool digit = std::isdigit(static_cast<unsigned char>(c)) != 0;
        if (digit && !inNumber) {
            kind += '#';
        } else if (!digit) {
            kind += c;
        }
        inNumber = digit;
    }
    return kind;
}

std::string RepeatFilter::withThousands(std::uint64_t count) {
    std::string digits = std::to_string(count);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) {
        digits.insert(static_cast<std::size_t>(at), ",");
    }
    return digits;
}

void RepeatFilter::close(Kind& kind, Clock::time_point now, std::vector<std::string>& out) {
    if (kind.counted > 0) {
        out.push_back(kind.example + " ... and " + withThousands(kind.counted) +
                      " more like it in the last minute");
    }
    kind.windowStart = now;
    kind.written = 0;
    kind.counted = 0;
    kind.example.clear();
}

void RepeatFilter::pass(const std::string& line, Clock::time_point now, std::vector<std::string>& out) {
    const std::string key = kindOf(line);
    auto found = kinds_.find(key);
    if (found == kinds_.end()) {
        if (kinds_.size() >= MaximumKinds) {
            flush(now, out);
        }
        if (kinds_.size() >= MaximumKinds) {
            kinds_.clear(); // every kind is busy: a flood of ever new lines forgets the counts
        }
        found = kinds_.emplace(key, Kind{}).first;
        found->second.windowStart = now;
    }
    Kind& kind = found->second;
    if (now - kind.windowStart >= window_) {
        close(kind, now, out);
    }
    if (kind.written < writtenPerWindow_) {
        ++kind.written;
        out.push_back(line);
        return;
    }
    if (kind.counted == 0) {
        kind.example = line;
    }
    ++kind.counted;
}

void RepeatFilter::flush(Clock::time_point now, std::vector<std::string>& out) {
    for (auto at = kinds_.begin(); at != kinds_.end();) {
        Kind& kind = at->second;
        if (now - kind.windowStart < window_) {
            ++at;
            continue;
        }
        close(kind, now, out);
        // A kind quiet for a whole window is forgotten: the next such line starts afresh.
        at = kinds_.erase(at);
    }
}

} // namespace VelOS
