#pragma once

#include "net/ConnectionHandler.h"
#include "platform/Semaphore.h"

#include <condition_variable>
#include <memory>
#include <mutex>

class ProjectOperations;
class RemoteServices;

// The player's handshake: the first sentence of a connection makes it a command connection
// ("command"), a listener ("listener"), or one file transfer ("uploadFile", "downloadFile").
// One per connection, used by that connection's thread only.
class SentenceHandler : public ConnectionHandler {
public:
    // Counts the handlers still alive, so that the Scene can wait for every connection thread
    // to let go of it before it goes away.
    class LiveCount {
    public:
        void add();
        void remove();
        // True when the count reached 0 within the time.
        bool waitForZero(int timeoutMilliseconds);

    private:
        std::mutex mutex_; // guards count_
        std::condition_variable zero_;
        int count_ = 0;
    };

    SentenceHandler(RemoteServices& services, ProjectOperations& operations, std::shared_ptr<LiveCount> live);
    ~SentenceHandler() override;
    SentenceHandler(const SentenceHandler&) = delete;
    SentenceHandler& operator=(const SentenceHandler&) = delete;

    void handle(VelOS::Socket& socket) override;

private:
    VelOS::Semaphore semaphore_{
        VelOS::LockRank::Connection}; // held for the whole handling; private to this connection
    RemoteServices& services_;
    ProjectOperations& operations_;
    std::shared_ptr<LiveCount> live_;
};

// Made by the Scene at construction and handed to every server it starts.
class SentenceHandlerFactory : public ConnectionHandlerFactory {
public:
    SentenceHandlerFactory(RemoteServices& services, ProjectOperations& operations);
    std::unique_ptr<ConnectionHandler> createHandler() override;
    // Waits until every handler this factory made is gone. True if that happened in time.
    bool waitForHandlers(int timeoutMilliseconds);

private:
    RemoteServices& services_;
    ProjectOperations& operations_;
    std::shared_ptr<SentenceHandler::LiveCount> live_;
};
