#include "net/Server.h"

#include <atomic>
#include <chrono>
#include <exception>
#include <functional>
#include <map>
#include <string>
#include <thread>

#include "net/NetTexts.h"
#include "net/console.h"
#include "platform/enginelog.h"

namespace VelNet {

namespace {

// Connection ids of the whole process: never reset, not even by a new server, never reused.
std::atomic<int> lastConnectionId{0};

// Connections the system completes before the accept loop takes them. A backlog of a handful
// makes every client that arrives during a burst wait out the system's SYN retries (a second,
// then three, then seven), long after the burst is gone.
constexpr int ListenBacklog = 128;

// A connection silent this long is idle for good, more likely a flood's than a client's between
// two commands: a trusted newcomer takes the place of such a one first.
constexpr int LongSilenceSeconds = 5;

// As many connections without their handshake as this are a flood of them: the oldest goes
// first even before it has stalled.
constexpr int HalfOpenFlood = 8;

// How long the accept loop rests after a failed accept before it tries again.
constexpr int AcceptPauseMilliseconds = 100;

std::string countLine(const char* what, int connectionId, std::size_t count) {
    return what + std::to_string(connectionId) + NetTexts::ConnectionOf + std::to_string(count) + "\n";
}

} // namespace

Server::Server(ServerPolicy policy) : policy_(std::move(policy)), link_(std::make_shared<OwnerLink>(*this)) {}

Server::~Server() {
    // From here on no ending connection reaches this server; a report under way is waited for.
    link_->cut();
    if (acceptThread_.started()) {
        stop();
    }
    std::list<std::shared_ptr<Connection>> remaining;
    {
        VelOS::SemaphoreLock hold(listLock_);
        remaining.swap(connections_);
    }
    for (const auto& connection : remaining) {
        connection->close();
    }
}

bool Server::start(long port, ConnectionHandlerFactory& factory) {
    // Starting again moves the server to the new port; its connections go on.
    if (acceptThread_.started()) {
        stop();
    }
    try {
        listeningSocket_.create(VelOS::Socket::Stream);
        listeningSocket_.bind(port);
        listeningSocket_.listen(ListenBacklog);
    } catch (const VelOS::Socket::Exception& failure) {
        listeningSocket_.close();
        writeToStandardError(failure.message() + "\n");
        return false;
    }
    {
        VelOS::SemaphoreLock hold(listLock_);
        factory_ = &factory;
        running_ = true;
    }
    if (!acceptThread_.start(*this)) {
        {
            VelOS::SemaphoreLock hold(listLock_);
            factory_ = nullptr;
            running_ = false;
        }
        listeningSocket_.close();
        writeToStandardError(std::string(NetTexts::ThreadError) + "\n");
        return false;
    }
    return true;
}

void Server::stop() {
    // Not running first, so that the accept loop, woken by the shutdown, ends without a word.
    {
        VelOS::SemaphoreLock hold(listLock_);
        running_ = false;
        factory_ = nullptr;
    }
    listeningSocket_.shutdown();
    listeningSocket_.close();
    acceptThread_.wait();
}

int Server::port() const {
    return listeningSocket_.localPort();
}

int Server::connectionCount() {
    VelOS::SemaphoreLock hold(listLock_);
    return static_cast<int>(connections_.size());
}

void Server::run() {
    bool shortageReported = false;
    for (;;) {
        uint32_t peer = 0;
        VelOS::Socket accepted;
        try {
            accepted = listeningSocket_.accept(&peer);
        } catch (const VelOS::Socket::Exception& failure) {
            if (!isRunning()) {
                return;
            }
            // Out of descriptors or memory (a flood of connections) passes once connections end:
            // the loop says so once and keeps accepting, slowly, instead of going deaf for good.
            if (!shortageReported) {
                report(failure.message() +
                       (failure.transient() ? NetTexts::AcceptShortage : NetTexts::AcceptRetry));
                shortageReported = true;
            }
            pauseUnlessStopped(AcceptPauseMilliseconds);
            continue;
        }
        shortageReported = false;
        if (!accepted.isValid()) {
            return;
        }
        if (!policy_.allows(peer)) {
            report(NetTexts::RefusedClient + dottedAddress(peer) + NetTexts::NotAllowed);
            continue; // the socket closes as it goes out of scope, before any handshake
        }
        try {
            VelOS::SemaphoreLock hold(listLock_);
            if (factory_ == nullptr) {
                return; // stopped while accepting: the peer is closed unserved
            }
            const bool trusted = policy_.trusts(peer);
            if (!admit(peer, trusted)) {
                continue;
            }
            accepted.setReceiveDeadline(std::chrono::steady_clock::now() +
                                        std::chrono::seconds(policy_.handshakeSeconds));
            const int connectionId = ++lastConnectionId;
            auto connection = std::make_shared<Connection>(std::move(accepted), connectionId,
                                                           factory_->createHandler(), link_, peer, trusted);
            connections_.push_back(connection);
            if (!connection->start()) {
                connections_.pop_back();
                writeToStandardError(std::string(NetTexts::ThreadError) + "\n");
                continue;
            }
            writeToStandardOutput(countLine(NetTexts::Started, connectionId, connections_.size()));
        } catch (const std::exception& failure) {
            // A handler that could not be made (out of memory): this peer goes unserved.
            writeToStandardError(std::string(failure.what()) + "\n");
        }
    }
}

bool Server::admit(uint32_t peer, bool trusted) {
    const int total = static_cast<int>(connections_.size());
    if (!trusted) {
        int fromPeer = 0;
        for (const auto& connection : connections_) {
            fromPeer += connection->peer() == peer ? 1 : 0;
        }
        if (fromPeer >= policy_.maximumPerAddress) {
            report(NetTexts::RefusedClient + dottedAddress(peer) + NetTexts::TooManyFromAddress +
                   std::to_string(policy_.maximumPerAddress) + ")");
            return false;
        }
        if (total >= policy_.maximumConnections - policy_.reservedConnections()) {
            report(NetTexts::RefusedClient + dottedAddress(peer) + NetTexts::TooManyConnections +
                   std::to_string(policy_.maximumConnections) + ")");
            return false;
        }
        return true;
    }
    if (total < policy_.maximumConnections) {
        return true;
    }
    const auto victim = leastUseful();
    if (victim == connections_.end()) {
        report(NetTexts::RefusedClient + dottedAddress(peer) + NetTexts::TooManyConnections +
               std::to_string(policy_.maximumConnections) + ")");
        return false;
    }
    report(NetTexts::ClosedClient + dottedAddress((*victim)->peer()) + NetTexts::MakingRoom +
           std::to_string(policy_.maximumConnections) + ")");
    // Closed here, its thread ends by itself; it finds itself gone from the list.
    (*victim)->close();
    connections_.erase(victim);
    return true;
}

std::list<std::shared_ptr<Connection>>::iterator Server::leastUseful() {
    using Entry = std::list<std::shared_ptr<Connection>>::iterator;
    using Candidate = std::function<bool(const Connection&)>;
    const auto now = std::chrono::steady_clock::now();
    const auto settled = now - std::chrono::milliseconds(policy_.settleMilliseconds);
    const auto longSilent = now - std::chrono::seconds(LongSilenceSeconds);
    // The list is in accept order.
    const auto oldest = [this](const Candidate& candidate) {
        for (Entry at = connections_.begin(); at != connections_.end(); ++at) {
            if (candidate(**at)) {
                return at;
            }
        }
        return connections_.end();
    };
    const auto newest = [this](const Candidate& candidate) {
        Entry found = connections_.end();
        for (Entry at = connections_.begin(); at != connections_.end(); ++at) {
            if (candidate(**at)) {
                found = at;
            }
        }
        return found;
    };
    // Silent since it settled: a connection that sent nothing lately (a newcomer is sending its
    // handshake, a client its command; they keep their place).
    const auto silent = [settled](const Connection& c) { return c.lastReceived() < settled; };
    const auto stalled = [&](const Connection& c) { return !c.handshakeOver() && silent(c); };
    const auto stranger = [](const Connection& c) { return !c.trusted(); };
    // The address that holds the most, a flood's: it gives up its newest connections, which are
    // newer than an authoring tool's listener.
    std::map<uint32_t, int> counts;
    uint32_t busiest = 0;
    int most = 0;
    for (const auto& connection : connections_) {
        const int count = ++counts[connection->peer()];
        if (count > most) {
            most = count;
            busiest = connection->peer();
        }
    }
    const auto idleOfBusiest = [&](const Connection& c) {
        return c.peer() == busiest && c.handshakeOver() && silent(c);
    };
    // Many handshakes not made yet are a flood of them, not a client or two sending theirs.
    int halfOpen = 0;
    for (const auto& connection : connections_) {
        halfOpen += connection->handshakeOver() ? 0 : 1;
    }
    const bool halfOpenFlood = halfOpen >= HalfOpenFlood;
    const Entry order[] = {
        oldest([&](const Connection& c) { return stranger(c) && stalled(c); }),
        newest([&](const Connection& c) { return stranger(c) && silent(c); }),
        newest(stranger),
        oldest(stalled),
        oldest([&](const Connection& c) { return halfOpenFlood && !c.handshakeOver(); }),
        newest([&](const Connection& c) { return idleOfBusiest(c) && c.lastReceived() < longSilent; }),
        newest(idleOfBusiest),
        newest([&](const Connection& c) { return c.handshakeOver() && silent(c); }),
        oldest([](const Connection& c) { return !c.handshakeOver(); }),
        newest([](const Connection&) { return true; }),
    };
    for (Entry victim : order) {
        if (victim != connections_.end()) {
            return victim;
        }
    }
    return connections_.end();
}

bool Server::isRunning() {
    VelOS::SemaphoreLock hold(listLock_);
    return running_;
}

void Server::pauseUnlessStopped(int milliseconds) {
    constexpr int Step = 10;
    for (int waited = 0; waited < milliseconds && isRunning(); waited += Step) {
        std::this_thread::sleep_for(std::chrono::milliseconds(Step));
    }
}

void Server::report(const std::string& line) {
    VelOS::logFailure(line); // a flood of refusals is counted, not written line by line
}

void Server::connectionEnded(int connectionId) {
    VelOS::SemaphoreLock hold(listLock_);
    if (!running_) {
        return;
    }
    for (auto at = connections_.begin(); at != connections_.end();) {
        if ((*at)->connectionId() == connectionId) {
            (*at)->close();
            at = connections_.erase(at);
        } else {
            ++at;
        }
    }
    writeToStandardOutput(countLine(NetTexts::Stopped, connectionId, connections_.size()));
}

} // namespace VelNet
