#pragma once

#include <memory>

namespace VelOS {
class Socket;
}

// Serves one accepted connection. The server only knows this interface; the player's handler is
// SentenceHandler (the handshake), tests use their own. One per connection, owned by the
// connection record and used by the connection's own thread only.
class ConnectionHandler {
public:
    virtual ~ConnectionHandler() = default;
    // Runs on the connection's thread and returns when the connection's work is over; the
    // caller then closes the socket. The socket may be closed meanwhile by another thread (the
    // server going away): reads then report the end and writes are lost.
    virtual void handle(VelOS::Socket& socket) = 0;
};

// Makes the handler of each accepted connection. Called by a server's accept thread while it
// holds the server's list lock; it must stay alive until that server is stopped.
class ConnectionHandlerFactory {
public:
    virtual ~ConnectionHandlerFactory() = default;
    virtual std::unique_ptr<ConnectionHandler> createHandler() = 0;
};
