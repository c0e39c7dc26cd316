#pragma once

#include <memory>
#include <mutex>

// Whoever keeps the connections (the server) and wants to hear when one is over.
class ConnectionOwner {
public:
    virtual ~ConnectionOwner() = default;
    // Called on the ending connection's own thread once its socket is closed.
    virtual void connectionEnded(int connectionId) = 0;
};

namespace VelNet {

// The tie between an owner and its connections, shared by all of them, so that a connection
// whose owner is gone can tell. An owner cuts the tie before it goes away; cutting waits until
// no report is under way, and no report reaches the owner after that.
//
// Used by the connection threads (report) and by the owner's destroyer (cut); its mutex is held
// through the whole report, owner's locks included (order: platform/LockRank.h).
class OwnerLink {
public:
    explicit OwnerLink(ConnectionOwner& owner) : owner_(&owner) {}

    void report(int connectionId) {
        std::lock_guard<std::mutex> hold(guard_);
        if (owner_ != nullptr) {
            owner_->connectionEnded(connectionId);
        }
    }

    void cut() {
        std::lock_guard<std::mutex> hold(guard_);
        owner_ = nullptr;
    }

private:
    std::mutex guard_;       // guards owner_ and is held through every report
    ConnectionOwner* owner_; // nullptr once cut
};

} // namespace VelNet
