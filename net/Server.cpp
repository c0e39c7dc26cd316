#include "net/Server.h"

#include <atomic>
#include <exception>
#include <string>

#include "net/NetTexts.h"
#include "net/console.h"

namespace VelNet {

namespace {

// Connection ids of the whole process: never reset, not even by a new server, never reused.
std::atomic<int> lastConnectionId{0};

std::string countLine(const char* what, int connectionId, std::size_t count) {
    return what + std::to_string(connectionId) + NetTexts::ConnectionOf + std::to_string(count) + "\n";
}

} // namespace

Server::Server() : link_(std::make_shared<OwnerLink>(*this)) {}

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
        listeningSocket_.listen(5);
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
    for (;;) {
        try {
            VelOS::Socket accepted = listeningSocket_.accept();
            if (!accepted.isValid()) {
                return;
            }
            VelOS::SemaphoreLock hold(listLock_);
            if (factory_ == nullptr) {
                return; // stopped while accepting: the peer is closed unserved
            }
            const int connectionId = ++lastConnectionId;
            auto connection = std::make_shared<Connection>(std::move(accepted), connectionId,
                                                           factory_->createHandler(), link_);
            connections_.push_back(connection);
            if (!connection->start()) {
                connections_.pop_back();
                writeToStandardError(std::string(NetTexts::ThreadError) + "\n");
                continue;
            }
            writeToStandardOutput(countLine(NetTexts::Started, connectionId, connections_.size()));
        } catch (const VelOS::Socket::Exception& failure) {
            VelOS::SemaphoreLock hold(listLock_);
            if (running_) {
                writeToStandardError(failure.message() + "\n");
            }
            return;
        } catch (const std::exception& failure) {
            // A handler that could not be made; the accept loop cannot go on without one.
            writeToStandardError(std::string(failure.what()) + "\n");
            return;
        }
    }
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
