#pragma once

#include <list>
#include <memory>

#include "net/Connection.h"
#include "net/ConnectionHandler.h"
#include "net/ConnectionOwner.h"
#include "net/Runnable.h"
#include "net/ServerPolicy.h"
#include "net/Socket.h"
#include "net/Thread.h"
#include "platform/Semaphore.h"

namespace VelNet {

// The TCP server of the remote control: listens on one IPv4 port, accepts connections on its
// accept thread (run) and serves each on a thread of its own. Its policy bounds who may connect,
// how many connections it holds at once and how long a handshake may take; a failed accept (a
// flood that used up the descriptors) is retried after a pause, never the end of the server.
//
// Threads: start, stop and destruction come from the thread that manages the server (in the
// player, the main thread in project work; destruction may come from one of the server's own
// connection threads). The accept thread and the ending connection threads take the list lock (its place in
// the lock order: platform/LockRank.h); the list lock is never held while waiting for a thread.
class Server : public Runnable, public ConnectionOwner {
public:
    explicit Server(ServerPolicy policy = ServerPolicy());
    // Stops the server if it was started, then closes every connection still listed without
    // waiting for their threads: each thread finishes on its own and does not report back.
    ~Server() override;
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Listens on the port (0 picks a free one, see port) and starts accepting. On a socket
    // failure its message goes to standard error and the result is false.
    bool start(long port, ConnectionHandlerFactory& factory);
    // Stops listening and accepting and waits for the accept thread. Connections go on.
    void stop();
    // The port listened on; 0 when not listening.
    int port() const;
    // Connections open now. Takes the list lock.
    int connectionCount();

    // The accept loop (the accept thread).
    void run() override;
    // Removes the ended connection from the list (connection threads).
    void connectionEnded(int connectionId) override;

private:
    bool isRunning();
    // Sleeps in short steps, returning early once the server is stopped.
    void pauseUnlessStopped(int milliseconds);
    // A refusal or failure of the accept loop: standard error and the engine log.
    void report(const std::string& line);
    // Whether a client at that address may have a connection now, closing another one to make
    // room for a trusted client; reports a refusal. Caller holds the list lock.
    bool admit(uint32_t peer, bool trusted);
    // The connection a trusted newcomer takes the place of: a stranger's, then the oldest whose
    // handshake stalled (or the oldest of a flood of handshakes not made), then the newest silent
    // one of the address that holds the most; one at work (see ServerPolicy::settleMilliseconds)
    // only when there is no other.
    // connections_.end() when there is none. Caller holds the list lock.
    std::list<std::shared_ptr<Connection>>::iterator leastUseful();

    const ServerPolicy policy_;                              // who may connect, how many at once
    VelOS::Semaphore listLock_{VelOS::LockRank::ServerList}; // guards running_, factory_, connections_
    std::shared_ptr<OwnerLink> link_;                        // cut first when the server goes away
    VelOS::Socket listeningSocket_;                          // bound to the port, backlog 128
    VelOS::Thread acceptThread_;                             // runs the accept loop
    ConnectionHandlerFactory* factory_ = nullptr;            // not owned; nullptr unless running
    bool running_ = false;                                   // between a successful start and stop
    std::list<std::shared_ptr<Connection>> connections_;     // in accept order, shared with their threads
};

} // namespace VelNet
