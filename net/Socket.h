#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <mutex>
#include <string>

#include "net/ReceiveBuffer.h"

namespace VelOS {

// One TCP endpoint over a POSIX socket (IPv4 only): a listening socket or an accepted connection.
//
// Threads: a connection's socket is read by the connection's own thread (line and byte reader,
// which alone use the receive buffer), written by that thread and by whichever thread broadcasts
// an event to it, and shut down and closed by the server from yet another thread. The handle is
// guarded by the socket's own mutex, which is never held across a blocking call: close marks the
// socket closed at once (is valid turns false, later calls fail), and when a call is still
// blocked in the OS it shuts the socket down to wake that call, leaving the descriptor to be
// closed by the last call that leaves. So a descriptor number is never reused under a reader's feet.
class Socket {
public:
    // Every failure of the wrapper; the message is its whole content.
    class Exception : public std::exception {
    public:
        explicit Exception(std::string message, bool transient = false)
            : message_(std::move(message)), transient_(transient) {}
        const std::string& message() const { return message_; }
        const char* what() const noexcept override { return message_.c_str(); }
        // True for a shortage that passes (no descriptor or memory free for an accept): trying
        // again a little later can succeed.
        bool transient() const { return transient_; }

    private:
        std::string message_;
        bool transient_;
    };

    static constexpr int Stream = 0;
    static constexpr int Datagram = 1;

    // A socket without a handle.
    Socket() = default;
    // Closes the handle if there is one.
    ~Socket();
    // Moving hands the handle and the received bytes over; the source is left without a handle.
    // Only a socket that no other thread uses may be moved.
    Socket(Socket&& other) noexcept;
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    // Opens a new IPv4 stream socket (closing any handle held before) and empties the receive
    // buffer. Throws "DGRAM Not implemented" for kind Datagram, "socket error" when refused.
    void create(int kind);
    // Binds to the wildcard address and the port, allowing the address to be reused at once.
    // Throws "bind error", also for a port outside 0..65535.
    void bind(long port);
    // Throws "listen error".
    void listen(int backlog);
    // Blocks until a peer connects; returns the owning socket of the connection and, when asked,
    // the peer's IPv4 address in host byte order. Returns a socket without a handle when this
    // socket was shut down or closed meanwhile (a server being stopped); throws "accept error"
    // on any other failure, marked transient when the process or system ran out of descriptors
    // or memory.
    Socket accept(uint32_t* peerAddress = nullptr);
    // Until cleared, every receive fails like a closed connection once the deadline has passed,
    // however slowly the bytes trickle in: a peer gets this long for what it must send (the
    // handshake line). Connection thread only, or before that thread starts.
    void setReceiveDeadline(std::chrono::steady_clock::time_point deadline);
    void clearReceiveDeadline();
    // Whether the deadline was cleared (the handshake arrived); any thread.
    bool handshakeOver() const { return handshakeOver_.load(std::memory_order_relaxed); }
    // When bytes last arrived, or when the socket was made or accepted; any thread.
    std::chrono::steady_clock::time_point lastReceived() const {
        return std::chrono::steady_clock::time_point(
            std::chrono::steady_clock::duration(lastReceived_.load(std::memory_order_relaxed)));
    }
    // The port the socket is bound to; 0 when it has no handle or is not bound.
    int localPort() const;

    bool isValid() const;
    // Shuts both directions down; a call blocked on this socket returns.
    void shutdown();
    // Closes the handle; from then on the socket has none.
    void close();

    // One send of all the bytes (a send cut short by a signal goes on with the rest); never
    // raises SIGPIPE. Returns the count sent, or -1 when nothing could be sent.
    long send(const std::string& text);
    long send(const char* data, long length);
    // Sends all the bytes only if the socket can take them now; false when it could not take
    // them whole (a peer that does not read fills its buffer) or on an error.
    bool sendWithoutWaiting(const std::string& text);

    // The next line without its CR LF: false when the peer has closed, on an error, or when the
    // line is longer than ReceiveBuffer::MaximumLineLength (reported on standard error; the
    // socket reads no line after that). Receives 1024 bytes at a time.
    bool readLine(std::string& line);
    // True when a whole line has been received and not yet read. Connection thread only.
    bool hasWaitingLine() const { return received_.hasLine(); }
    // Up to maximum bytes: those still in the receive buffer first, and only when it is empty one
    // receive. 0 when the peer has closed (or maximum is not positive), negative on error.
    long readBytes(char* destination, long maximum);

private:
    // The handle for the length of one OS call, counted as in use; its handle is -1 when the
    // socket is closed. The last user to leave closes a handle that close had to leave open.
    class InUse;
    long receive(char* destination, long maximum);

    mutable std::mutex guard_;       // guards handle_, users_, closing_
    int handle_ = -1;                // the OS socket; -1 when there is none
    mutable int users_ = 0;          // OS calls under way on the handle
    mutable int closing_ = -1;       // a handle closed while in use, closed by its last user
    int kind_ = Stream;              // set by create
    VelNet::ReceiveBuffer received_; // connection thread only
    bool lineTooLong_ = false;       // connection thread only: no more lines after an overlong one
    bool hasDeadline_ = false;       // connection thread only: receives end at deadline_
    std::chrono::steady_clock::time_point deadline_;
    // Read by the server's accept thread when it must make room (see lastReceived).
    std::atomic<bool> handshakeOver_{false};
    std::atomic<std::chrono::steady_clock::rep> lastReceived_{
        std::chrono::steady_clock::now().time_since_epoch().count()};
};

} // namespace VelOS
