#pragma once

// One TCP connection from velquin-ctl to a player: connect with a time limit, send everything,
// read reply lines or raw bytes with a time limit. Used from one thread only.

#include <csignal>
#include <string>

namespace VelCtl {

// Outcome of one wait for data from the player.
enum class Received {
    Data,        // a line or some bytes arrived
    Closed,      // the player ended the connection in order
    Failed,      // the connection broke (error() says why)
    TimedOut,    // nothing came within the time limit
    Interrupted, // a handled signal arrived while waiting
};

class PlayerConnection {
public:
    PlayerConnection() = default;
    ~PlayerConnection();
    PlayerConnection(const PlayerConnection&) = delete;
    PlayerConnection& operator=(const PlayerConnection&) = delete;

    // Connects to host:port over IPv4, trying each address the host name resolves to. A
    // timeout of 0 or less waits as long as the system does. False with error() set on failure,
    // e.g. "cannot connect to 127.0.0.1:4000: Connection refused".
    bool open(const std::string& host, int port, int timeoutMilliseconds);

    // Sends all bytes; false with error() set when the connection broke.
    bool sendAll(const std::string& bytes);
    bool sendAll(const char* data, size_t length);

    // The next line up to LF, without the LF (a CR before it stays). Bytes after the line stay
    // buffered for the next read. A timeout of 0 or less waits without limit.
    Received readLine(std::string& line, int timeoutMilliseconds);
    // Whatever arrives next, buffered bytes first, at most maximum bytes, appended to bytes.
    Received readSome(std::string& bytes, size_t maximum, int timeoutMilliseconds);

    // Tells the player that nothing more will be sent.
    void shutdownWrite();
    void close();

    // Signals that may interrupt a wait: they are blocked outside waits by the caller, and
    // unblocked by this mask while waiting. Null (the default) leaves the signal mask alone.
    void setWaitMask(const sigset_t* mask) { waitMask_ = mask; }

    const std::string& error() const { return error_; }

private:
    Received receiveMore(int timeoutMilliseconds);
    bool connectOne(const void* address, unsigned length, int timeoutMilliseconds);

    int handle_ = -1;
    std::string pending_; // received but not yet handed out
    std::string error_;
    const sigset_t* waitMask_ = nullptr;
};

} // namespace VelCtl
