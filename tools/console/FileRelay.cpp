#include "tools/console/FileRelay.h"

#include "tools/console/Console.h"
#include "tools/console/HttpSession.h"
#include "tools/ctl/ctlprotocol.h"

#include <nlohmann/json.hpp>

#include <functional>

namespace VelConsole {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using boost::system::error_code;

namespace {

constexpr std::size_t ChunkSize = 64 * 1024;
// A browser or player that stalls this long in the middle of a file is given up on.
const auto StallLimit = std::chrono::seconds(30);

std::string errorJson(const std::string& reason) {
    return nlohmann::json{{"error", reason}}.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// Connects a transfer connection to the player and sends its first line, then calls opened, or
// failed with the reason. The callbacks hold their relay alive until then.
void openTransfer(tcp::resolver& resolver, beast::tcp_stream& player, const PlayerAddress& address,
                  const std::string& line, std::function<void(const std::string&)> failed,
                  std::function<void()> opened) {
    player.expires_after(StallLimit);
    resolver.async_resolve(
        address.host, std::to_string(address.port),
        [&player, address, &line, failed, opened](const error_code& error,
                                                  tcp::resolver::results_type found) {
            if (error) {
                failed("cannot find the player's host: " + error.message());
                return;
            }
            player.async_connect(found, [&player, address, &line, failed, opened](const error_code& error,
                                                                                  const tcp::endpoint&) {
                if (error) {
                    failed("no player at " + address.text() + ": " + error.message());
                    return;
                }
                asio::async_write(player, asio::buffer(line),
                                  [failed, opened](const error_code& error, std::size_t) {
                                      if (error) {
                                          failed(error.message());
                                      } else {
                                          opened();
                                      }
                                  });
            });
        });
}

} // namespace

std::string attachmentName(const std::string& name) {
    std::string result = VelCtl::storedName(name);
    for (char& c : result) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                           c == '-' || c == '_' || c == '.';
        if (!plain) {
            c = '_';
        }
    }
    return result.empty() ? std::string("download") : result;
}

UploadRelay::UploadRelay(beast::tcp_stream&& browser, beast::flat_buffer&& buffer,
                         http::request_parser<http::empty_body>&& header, Console& console)
    : browser_(std::move(browser)), buffer_(std::move(buffer)), parser_(std::move(header)), console_(console),
      resolver_(console.io()), player_(console.io()), chunk_(ChunkSize) {}

void UploadRelay::start() {
    const auto& request = parser_.get();
    const std::string name = queryParameter(std::string(request.target()), "name");
    if (!VelCtl::isStorableName(name)) {
        fail(http::status::bad_request, "no file name the player can store ('" + name + "')");
        return;
    }
    name_ = VelCtl::storedName(name);
    if (request.chunked() || !parser_.content_length()) {
        fail(http::status::length_required, "an upload must say its size (Content-Length)");
        return;
    }
    size_ = *parser_.content_length();
    const auto limit = static_cast<unsigned long long>(console_.options().maxUploadBytes);
    if (size_ > limit) {
        fail(http::status::payload_too_large, "the file is larger than the console accepts (" +
                                                  std::to_string(limit >> 20) + " MiB, --max-upload)");
        return;
    }
    parser_.body_limit(size_);
    VelCtl::uploadSentence(name_, static_cast<long long>(size_), line_);
    connectPlayer();
}

void UploadRelay::connectPlayer() {
    auto self = shared_from_this();
    openTransfer(
        resolver_, player_, console_.player(), line_,
        [self](const std::string& reason) { self->fail(http::status::bad_gateway, reason); },
        [self] { self->continueBody(); });
}

void UploadRelay::continueBody() {
    // A client that waits for leave to send the body (curl does for large files) gets it now.
    if (!beast::iequals(parser_.get()[http::field::expect], "100-continue")) {
        readBody();
        return;
    }
    auto self = shared_from_this();
    auto leave = std::make_shared<std::string>("HTTP/1.1 100 Continue\r\n\r\n");
    asio::async_write(browser_, asio::buffer(*leave), [self, leave](const error_code& error, std::size_t) {
        if (error) {
            self->fail(http::status::bad_request, error.message());
            return;
        }
        self->readBody();
    });
}

void UploadRelay::readBody() {
    if (parser_.is_done() || sent_ >= size_) {
        finish();
        return;
    }
    auto& body = parser_.get().body();
    body.data = chunk_.data();
    body.size = chunk_.size();
    browser_.expires_after(StallLimit);
    auto self = shared_from_this();
    http::async_read_some(browser_, buffer_, parser_, [self](error_code error, std::size_t) {
        if (error == http::error::need_buffer) {
            error = {};
        }
        if (error) {
            self->fail(http::status::bad_request, "the upload broke off after " +
                                                      std::to_string(self->sent_) + " of " +
                                                      std::to_string(self->size_) + " bytes");
            return;
        }
        const std::size_t got = self->chunk_.size() - self->parser_.get().body().size;
        if (got == 0) {
            self->readBody();
            return;
        }
        self->player_.expires_after(StallLimit);
        asio::async_write(self->player_, asio::buffer(self->chunk_.data(), got),
                          [self, got](const error_code& error, std::size_t) {
                              if (error) {
                                  self->fail(http::status::bad_gateway,
                                             "the player stopped taking the file: " + error.message());
                                  return;
                              }
                              self->sent_ += got;
                              self->readBody();
                          });
    });
}

void UploadRelay::finish() {
    // The player closes an upload once it has every byte: only then may a command use the file.
    auto self = shared_from_this();
    player_.expires_after(StallLimit);
    player_.async_read_some(asio::buffer(chunk_), [self](const error_code& error, std::size_t) {
        if (!error) {
            self->finish(); // the player sends nothing; anything it does is dropped
            return;
        }
        if (error != asio::error::eof && error != asio::error::connection_reset) {
            self->fail(http::status::bad_gateway,
                       "the player did not confirm the upload: " + error.message());
            return;
        }
        self->console_.uploaded(self->name_, static_cast<long long>(self->size_));
        self->respond(http::status::ok, nlohmann::json{{"name", self->name_}, {"size", self->size_}}.dump(
                                            -1, ' ', false, nlohmann::json::error_handler_t::replace));
    });
}

void UploadRelay::fail(http::status status, const std::string& reason) {
    error_code ignored;
    player_.socket().close(ignored);
    respond(status, errorJson(reason));
}

void UploadRelay::respond(http::status status, const std::string& json) {
    if (answered_) {
        return;
    }
    answered_ = true;
    auto response = std::make_shared<http::response<http::string_body>>(status, 11);
    response->set(http::field::server, "velquin-console");
    response->set(http::field::content_type, "application/json");
    response->set(http::field::cache_control, "no-store");
    // What the browser may still be sending is not read: the connection ends with the answer.
    response->keep_alive(false);
    response->body() = json;
    response->prepare_payload();
    browser_.expires_after(StallLimit);
    auto self = shared_from_this();
    http::async_write(browser_, *response, [self, response](const error_code&, std::size_t) {
        error_code ignored;
        self->browser_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    });
}

DownloadRelay::DownloadRelay(beast::tcp_stream&& browser, Console& console, std::string name)
    : browser_(std::move(browser)), console_(console), name_(std::move(name)), resolver_(console.io()),
      player_(console.io()), chunk_(ChunkSize) {}

void DownloadRelay::start() {
    if (name_.empty() || !VelCtl::downloadSentence(name_, line_)) {
        fail(http::status::bad_request, "no file name the player can send ('" + name_ + "')");
        return;
    }
    header_ = "HTTP/1.1 200 OK\r\nServer: velquin-console\r\nContent-Type: application/octet-stream\r\n"
              "Content-Disposition: attachment; filename=\"" +
              attachmentName(name_) + "\"\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n";
    auto self = shared_from_this();
    openTransfer(
        resolver_, player_, console_.player(), line_,
        [self](const std::string& reason) { self->fail(http::status::bad_gateway, reason); },
        [self] { self->readPlayer(); });
}

void DownloadRelay::readPlayer() {
    auto self = shared_from_this();
    player_.expires_after(StallLimit);
    player_.async_read_some(asio::buffer(chunk_), [self](const error_code& error, std::size_t size) {
        if (error) {
            if (self->relayed_ == 0 &&
                (error == asio::error::eof || error == asio::error::connection_reset)) {
                self->fail(http::status::not_found, "the player has no file '" + self->name_ + "'");
            } else {
                self->end(); // the end of the player's connection is the end of the file
            }
            return;
        }
        // The response's head goes with the first bytes: until then a missing file can still be 404.
        auto piece = std::make_shared<std::string>(std::move(self->header_));
        self->header_.clear();
        piece->append(self->chunk_.data(), size);
        self->relayed_ += size;
        self->browser_.expires_after(StallLimit);
        asio::async_write(self->browser_, asio::buffer(*piece),
                          [self, piece](const error_code& error, std::size_t) {
                              if (error) {
                                  error_code ignored;
                                  self->player_.socket().close(ignored);
                                  return;
                              }
                              self->readPlayer();
                          });
    });
}

void DownloadRelay::end() {
    error_code ignored;
    player_.socket().close(ignored);
    browser_.socket().shutdown(tcp::socket::shutdown_send, ignored);
}

void DownloadRelay::fail(http::status status, const std::string& reason) {
    error_code ignored;
    player_.socket().close(ignored);
    auto response = std::make_shared<http::response<http::string_body>>(status, 11);
    response->set(http::field::server, "velquin-console");
    response->set(http::field::content_type, "application/json");
    response->keep_alive(false);
    response->body() = errorJson(reason);
    response->prepare_payload();
    auto self = shared_from_this();
    browser_.expires_after(StallLimit);
    http::async_write(browser_, *response, [self, response](const error_code&, std::size_t) {
        error_code ignored;
        self->browser_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    });
}

} // namespace VelConsole
