#include "net/ReceiveBuffer.h"

#include <algorithm>
#include <cstring>

namespace VelNet {

ReceiveBuffer::LineResult ReceiveBuffer::takeLine(std::string& line) {
    const std::size_t from = std::max(start_, scanned_);
    const std::size_t end = bytes_.find("\r\n", from);
    if (end != std::string::npos) {
        line.assign(bytes_, start_, end - start_);
        start_ = end + 2;
        scanned_ = start_;
        compact();
        return LineResult::Line;
    }
    // A CR at the very end may still meet its LF in the next receive.
    const bool crAtEnd = size() > 0 && bytes_.back() == '\r';
    scanned_ = bytes_.size() - (crAtEnd ? 1 : 0);
    if (size() - (crAtEnd ? 1 : 0) > MaximumLineLength) {
        clear();
        return LineResult::TooLong;
    }
    return LineResult::NeedMore;
}

void ReceiveBuffer::append(const char* data, std::size_t count) {
    bytes_.append(data, count);
}

std::size_t ReceiveBuffer::takeBytes(char* destination, std::size_t maximum) {
    const std::size_t count = std::min(size(), maximum);
    if (count > 0) {
        std::memcpy(destination, bytes_.data() + start_, count);
        start_ += count;
        compact();
    }
    return count;
}

void ReceiveBuffer::clear() {
    bytes_.clear();
    start_ = 0;
    scanned_ = 0;
}

void ReceiveBuffer::compact() {
    if (start_ == bytes_.size()) {
        clear();
    } else if (start_ >= 4096 && start_ * 2 >= bytes_.size()) {
        // Moving the rest to the front costs no more than what was handed out since the last move.
        bytes_.erase(0, start_);
        scanned_ = scanned_ > start_ ? scanned_ - start_ : 0;
        start_ = 0;
    }
}

} // namespace VelNet
