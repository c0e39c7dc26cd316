#pragma once

#include <string>

#include "net/ByteChannel.h"
#include "net/LineChannel.h"
#include "net/Socket.h"
#include "project/ListenerChannel.h"

// One connection's socket (not owned) seen as the three channels the handlers use: lines for
// commands and replies, raw bytes for file transfer, event lines for a listening client. The
// line and byte readers share the socket's receive buffer, so bytes sent right behind a line
// are not lost. Threads: see each interface; the socket guards its own handle.
class SocketChannel : public LineChannel, public ByteChannel, public ListenerChannel {
public:
    explicit SocketChannel(VelOS::Socket& socket) : socket_(socket) {}

    // LineChannel and ByteChannel: open while the socket has a handle.
    bool isOpen() override;
    bool readLine(std::string& line) override;
    void writeLine(const std::string& line) override;
    bool hasWaitingLine() override;

    long readBytes(char* destination, long maximum) override;
    long writeBytes(const char* data, long length) override;

    void waitUntilLeaves() override;
    void sendLine(const std::string& line) override;

private:
    VelOS::Socket& socket_;
};
