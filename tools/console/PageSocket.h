#pragma once

// One open page: its WebSocket (/events) and its own command connection to the player. The page
// sends JSON requests with an "id" and gets one answer with the same id:
//   {"id": 1, "send": [["project.title.set", "Hello"], ...]} -> {"id": 1, "replies": ["ok", ...]}
//   {"id": 2, "snapshot": true}                            -> {"id": 2, "snapshot": {...}}
//   (ProjectSnapshot.h)
//   {"id": 3, "cameras": true}                             -> {"id": 3, "cameras": {...}} (CameraList.h)
// and a failure as {"id": N, "error": REASON}. The console also sends, unasked: {"hello": {...}}
// first, {"events": [[LINE, NAME, [ARGUMENTS...]], ...]} for every batch of events the listener
// read, {"player": {...}}, {"picture": {...}} and {"uploads": [...]} when those change, and
// {"renewed": true} after a page's "project.new", which the player announces to nobody.
//
// A page that does not read its socket is closed once 32 MiB wait for it, so it cannot make the
// console grow; it reconnects and reads the project afresh. Network thread only.

#include "tools/console/PlayerLink.h"

#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <nlohmann/json.hpp>

#include <deque>
#include <memory>
#include <string>

namespace VelConsole {

class Console;

class PageSocket : public std::enable_shared_from_this<PageSocket> {
public:
    using Message = std::shared_ptr<const std::string>;

    PageSocket(boost::beast::tcp_stream&& stream, Console& console);
    ~PageSocket();
    void start(boost::beast::http::request<boost::beast::http::empty_body> handshake);
    // Queues a text message for the page.
    void send(Message message);
    // Queues events (serialized event entries, comma-separated). While earlier messages wait,
    // they join the last waiting batch, so a page that reads slower than a burst arrives gets
    // fewer, larger messages instead of a message per read of the listener.
    void sendEvents(const std::string& entries);

private:
    void read();
    void handle(const std::string& text);
    void answer(const nlohmann::json& id, nlohmann::json body);
    void snapshot(const nlohmann::json& id);
    void write();
    void close();

    boost::beast::websocket::stream<boost::beast::tcp_stream> socket_;
    boost::beast::flat_buffer buffer_;
    Console& console_;
    std::shared_ptr<CommandChannel> commands_;
    std::deque<Message> queue_; // waiting to be written; the front is being written
    std::size_t queuedBytes_ = 0;
    std::shared_ptr<std::string>
        openBatch_; // the queue's last message while it is an events batch not yet written
    bool open_ = false;
};

} // namespace VelConsole
