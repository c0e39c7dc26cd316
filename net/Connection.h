#pragma once

#include <chrono>
#include <cstdint>
#include <memory>

#include "net/ConnectionHandler.h"
#include "net/ConnectionOwner.h"
#include "net/Runnable.h"
#include "net/Socket.h"
#include "net/Thread.h"

namespace VelNet {

// One accepted connection and the thread that serves it.
//
// Ownership is shared between the server's list and the connection's own thread, so the record
// (socket, handler and all) stays valid while its thread still uses it, even after the server
// let go of it or was destroyed from that very thread; the last owner releases it.
//
// Threads: run is the connection's own thread; close may come from any thread (the server's
// stop or destruction); the socket guards itself.
class Connection : public Runnable, public std::enable_shared_from_this<Connection> {
public:
    // peer: the client's IPv4 address (host byte order); trusted: a loopback or allow-listed
    // client, which the server makes room for when it is full.
    Connection(VelOS::Socket socket, int connectionId, std::unique_ptr<ConnectionHandler> handler,
               std::shared_ptr<OwnerLink> owner, uint32_t peer = 0, bool trusted = false);

    // Starts the connection's thread, which shares the record until it ends. False when the OS
    // makes no thread.
    bool start();
    // Serves the connection: the handler, then the socket is closed, then the owner is told.
    void run() override;
    // Shuts the socket down and closes it; a read blocked in the handler returns.
    void close();
    int connectionId() const { return connectionId_; }
    uint32_t peer() const { return peer_; }
    bool trusted() const { return trusted_; }
    // Whether the client sent its handshake line, and when it last sent anything. Any thread.
    bool handshakeOver() const { return socket_.handshakeOver(); }
    std::chrono::steady_clock::time_point lastReceived() const { return socket_.lastReceived(); }

private:
    VelOS::Socket socket_;                       // the accepted socket, owned
    VelOS::Thread thread_;                       // runs this connection
    const int connectionId_;                     // serial number, process-wide, never reused
    std::unique_ptr<ConnectionHandler> handler_; // made for this connection alone
    std::shared_ptr<OwnerLink> owner_;           // the server that accepted it, while it exists
    const uint32_t peer_;                        // the client's address
    const bool trusted_;                         // loopback or allow-listed
};

} // namespace VelNet
