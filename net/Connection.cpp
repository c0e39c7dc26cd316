#include "net/Connection.h"
#include "platform/threadpriority.h"

#include <exception>
#include <string>

#include "net/NetTexts.h"
#include "net/console.h"

namespace VelNet {

Connection::Connection(VelOS::Socket socket, int connectionId, std::unique_ptr<ConnectionHandler> handler,
                       std::shared_ptr<OwnerLink> owner, uint32_t peer, bool trusted)
    : socket_(std::move(socket)), connectionId_(connectionId), handler_(std::move(handler)),
      owner_(std::move(owner)), peer_(peer), trusted_(trusted) {}

bool Connection::start() {
    return thread_.start(shared_from_this());
}

void Connection::run() {
    // A command is a short burst of work; its reply should not wait for a drawing thread's turn
    // to end.
    VelOS::askForShortSlices();
    // One connection's failure must not take the process down with it.
    try {
        if (handler_) {
            handler_->handle(socket_);
        }
    } catch (const std::exception& failure) {
        writeToStandardError(std::string(NetTexts::ConnectionError) + failure.what() + "\n");
    } catch (...) {
        writeToStandardError(std::string(NetTexts::ConnectionError) + "\n");
    }
    close();
    owner_->report(connectionId_);
}

void Connection::close() {
    socket_.shutdown();
    socket_.close();
}

} // namespace VelNet
