#pragma once

#include <cstddef>
#include <string>

namespace VelNet {

// Bytes received from a peer and not yet handed out, shared by the line reader and the byte
// reader of one connection: bytes that arrived behind a line are the first ones the byte reader
// gets. Lines end at CR LF only, wherever the receives split them.
//
// Used by the connection's own thread only; no lock.
class ReceiveBuffer {
public:
    // The longest line accepted, without its CR LF. A client that sends more without a line end
    // would otherwise grow the buffer without bound.
    static constexpr std::size_t MaximumLineLength = 1 << 20;

    enum class LineResult {
        Line,     // a whole line was taken
        NeedMore, // no CR LF yet: receive more and ask again
        TooLong,  // the pending line is past MaximumLineLength; it has been discarded
    };

    // Takes the first line and its CR LF out of the buffer; line gets it without the CR LF.
    LineResult takeLine(std::string& line);
    // Appends received bytes behind those already held.
    void append(const char* data, std::size_t count);
    // Hands out up to maximum bytes from the front; returns their count.
    std::size_t takeBytes(char* destination, std::size_t maximum);
    // Bytes held.
    std::size_t size() const { return bytes_.size() - start_; }
    // True when a whole line waits to be taken.
    bool hasLine() const { return bytes_.find("\r\n", start_) != std::string::npos; }
    void clear();

private:
    void compact();

    std::string bytes_;       // held bytes start at start_; the front part was handed out already
    std::size_t start_ = 0;   // first byte not yet handed out
    std::size_t scanned_ = 0; // bytes before this index hold no line end (a CR at the end is rescanned)
};

} // namespace VelNet
