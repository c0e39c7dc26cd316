#pragma once

// A page watching the live picture: a WebSocket (/picture) that carries each JPEG frame as one
// binary message. While one frame is being written, newer frames replace each other, so a slow
// browser gets fewer frames, never older ones. While the socket is open the picture feed runs.
// Network thread only.

#include "tools/console/PictureFeed.h"

#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include <memory>

namespace VelConsole {

class Console;

class PictureSocket : public std::enable_shared_from_this<PictureSocket> {
public:
    PictureSocket(boost::beast::tcp_stream&& stream, Console& console);
    ~PictureSocket();
    void start(boost::beast::http::request<boost::beast::http::empty_body> handshake);
    void show(PictureFeed::Frame frame);

private:
    void write();
    void read();

    boost::beast::websocket::stream<boost::beast::tcp_stream> socket_;
    boost::beast::flat_buffer buffer_;
    Console& console_;
    PictureFeed::Frame writing_; // the frame under way
    PictureFeed::Frame next_;    // the newest frame not yet written
    bool open_ = false;
};

} // namespace VelConsole
