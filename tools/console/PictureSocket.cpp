#include "tools/console/PictureSocket.h"

#include "tools/console/Console.h"

namespace VelConsole {

namespace beast = boost::beast;
namespace websocket = beast::websocket;
using boost::system::error_code;

PictureSocket::PictureSocket(beast::tcp_stream&& stream, Console& console)
    : socket_(std::move(stream)), console_(console) {}

PictureSocket::~PictureSocket() {
    if (open_) {
        console_.detach(this);
    }
}

void PictureSocket::start(beast::http::request<beast::http::empty_body> handshake) {
    socket_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
    socket_.read_message_max(4096);
    socket_.binary(true);
    auto self = shared_from_this();
    socket_.async_accept(handshake, [self](const error_code& error) {
        if (error) {
            return;
        }
        self->open_ = true;
        self->console_.attach(self.get());
        self->read();
    });
}

void PictureSocket::show(PictureFeed::Frame frame) {
    next_ = std::move(frame);
    if (!writing_) {
        write();
    }
}

void PictureSocket::write() {
    writing_ = std::move(next_);
    next_.reset();
    auto self = shared_from_this();
    socket_.async_write(boost::asio::buffer(*writing_), [self](const error_code& error, std::size_t) {
        self->writing_.reset();
        if (error) {
            return;
        }
        if (self->next_) {
            self->write();
        }
    });
}

void PictureSocket::read() {
    // The page sends nothing; reading keeps the socket's closing handshake and pings going.
    auto self = shared_from_this();
    socket_.async_read(buffer_, [self](const error_code& error, std::size_t) {
        if (error) {
            if (self->open_) {
                self->open_ = false;
                self->console_.detach(self.get());
            }
            return;
        }
        self->buffer_.consume(self->buffer_.size());
        self->read();
    });
}

} // namespace VelConsole
