#include "tools/console/HttpSession.h"

#include "tools/console/Console.h"
#include "tools/console/FileRelay.h"
#include "tools/console/PageSocket.h"
#include "tools/console/PictureSocket.h"

#include <boost/beast/websocket.hpp>

#include <cstdint>
#include <fstream>
#include <limits>
#include <sstream>

namespace VelConsole {

namespace beast = boost::beast;
namespace http = beast::http;
using boost::system::error_code;

namespace {

const auto HeaderLimit = std::chrono::seconds(30);

std::string contentTypeOf(const std::string& name) {
    const std::string::size_type dot = name.rfind('.');
    const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    if (extension == "html") {
        return "text/html; charset=utf-8";
    }
    if (extension == "js") {
        return "text/javascript; charset=utf-8";
    }
    if (extension == "css") {
        return "text/css; charset=utf-8";
    }
    if (extension == "svg") {
        return "image/svg+xml";
    }
    if (extension == "png") {
        return "image/png";
    }
    if (extension == "json") {
        return "application/json";
    }
    return "application/octet-stream";
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

std::string targetPath(const std::string& target) {
    return target.substr(0, target.find_first_of("?#"));
}

std::string queryParameter(const std::string& target, const std::string& key) {
    const std::string::size_type question = target.find('?');
    if (question == std::string::npos) {
        return std::string();
    }
    std::string query = target.substr(question + 1);
    query = query.substr(0, query.find('#'));
    std::istringstream pairs(query);
    std::string pair;
    while (std::getline(pairs, pair, '&')) {
        if (pair.compare(0, key.size() + 1, key + "=") != 0) {
            continue;
        }
        std::string decoded;
        for (std::size_t at = key.size() + 1; at < pair.size(); ++at) {
            if (pair[at] == '+') {
                decoded += ' ';
            } else if (pair[at] == '%') {
                if (at + 2 >= pair.size() || hexValue(pair[at + 1]) < 0 || hexValue(pair[at + 2]) < 0) {
                    return std::string();
                }
                decoded += static_cast<char>(hexValue(pair[at + 1]) * 16 + hexValue(pair[at + 2]));
                at += 2;
            } else {
                decoded += pair[at];
            }
        }
        return decoded;
    }
    return std::string();
}

std::string pageFileName(const std::string& path) {
    if (path == "/") {
        return "index.html";
    }
    if (path.size() < 2 || path[0] != '/' || path.size() > 100) {
        return std::string();
    }
    const std::string name = path.substr(1);
    int dots = 0;
    for (const char c : name) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                           c == '-' || c == '_';
        if (c == '.') {
            ++dots;
        } else if (!plain) {
            return std::string();
        }
    }
    if (dots != 1 || name.front() == '.' || name.back() == '.') {
        return std::string();
    }
    return name;
}

bool originAllowed(const std::string& origin, const std::string& host) {
    return origin.empty() || (!host.empty() && origin == "http://" + host);
}

HttpSession::HttpSession(boost::asio::ip::tcp::socket&& socket, Console& console)
    : stream_(std::move(socket)), console_(console) {}

void HttpSession::start() {
    error_code ignored;
    stream_.socket().set_option(boost::asio::ip::tcp::no_delay(true), ignored);
    readHeader();
}

void HttpSession::readHeader() {
    parser_.emplace();
    parser_->header_limit(16 * 1024);
    // A body's size is judged once the request is known: an upload against --max-upload (413
    // with the reason), any other body is refused. The parser's own default limit (1 MiB) would
    // drop a larger upload at its header, with no answer at all. (No limit is said with the
    // largest number: Boost 1.74's parser takes an empty limit for a limit of nothing.)
    parser_->body_limit(std::numeric_limits<std::uint64_t>::max());
    stream_.expires_after(HeaderLimit);
    auto self = shared_from_this();
    http::async_read_header(stream_, buffer_, *parser_, [self](const error_code& error, std::size_t) {
        if (error) {
            error_code ignored;
            self->stream_.socket().shutdown(boost::asio::ip::tcp::socket::shutdown_both, ignored);
            return;
        }
        self->route();
    });
}

void HttpSession::route() {
    const auto& request = parser_->get();
    const std::string target(request.target());
    const std::string path = targetPath(target);
    const std::string offered =
        AccessToken::offeredBy(target, std::string(request[http::field::cookie]), console_.cookieName());
    // A request that carries a body we do not read cannot leave the connection open.
    const bool hasBody = request.has_content_length() || request.chunked();
    if (!console_.token().matches(offered)) {
        respond(http::status::unauthorized, "text/plain; charset=utf-8",
                "401 Unauthorized: open the address velquin-console printed, with its token.\n", !hasBody);
        return;
    }
    // The token came in the address: the page's own requests (its modules, its sockets) carry it
    // in a cookie from now on.
    const std::string cookie =
        queryParameter(target, "token").empty()
            ? std::string()
            : console_.cookieName() + "=" + console_.token().text() + "; Path=/; HttpOnly; SameSite=Strict";
    if (beast::websocket::is_upgrade(request)) {
        if (!originAllowed(std::string(request[http::field::origin]),
                           std::string(request[http::field::host]))) {
            respond(http::status::forbidden, "text/plain; charset=utf-8",
                    "403 Forbidden: a page of another site may not drive the player.\n", false);
            return;
        }
        stream_.expires_never();
        if (path == "/events") {
            std::make_shared<PageSocket>(std::move(stream_), console_)->start(parser_->release());
        } else if (path == "/picture") {
            std::make_shared<PictureSocket>(std::move(stream_), console_)->start(parser_->release());
        } else {
            respond(http::status::not_found, "text/plain; charset=utf-8", "404 Not Found\n", false);
        }
        return;
    }
    if (request.method() == http::verb::post && path == "/upload") {
        stream_.expires_never();
        std::make_shared<UploadRelay>(std::move(stream_), std::move(buffer_), std::move(*parser_), console_)
            ->start();
        return;
    }
    if (hasBody) {
        respond(http::status::method_not_allowed, "text/plain; charset=utf-8", "405 Method Not Allowed\n",
                false);
        return;
    }
    if (request.method() != http::verb::get && request.method() != http::verb::head) {
        respond(http::status::method_not_allowed, "text/plain; charset=utf-8", "405 Method Not Allowed\n",
                true);
        return;
    }
    if (path == "/download") {
        stream_.expires_never();
        std::make_shared<DownloadRelay>(std::move(stream_), console_, queryParameter(target, "name"))
            ->start();
        return;
    }
    if (path == "/picture.jpg") {
        servePicture(cookie);
        return;
    }
    serveFile(path, cookie);
}

void HttpSession::respond(http::status status, const std::string& contentType, std::string body,
                          bool keepOpen, const std::string& cookie) {
    auto response = std::make_shared<http::response<http::string_body>>(status, 11);
    response->set(http::field::server, "velquin-console");
    response->set(http::field::content_type, contentType);
    response->set(http::field::cache_control, "no-store");
    response->set("X-Content-Type-Options", "nosniff");
    if (!cookie.empty()) {
        response->set(http::field::set_cookie, cookie);
    }
    const bool head = parser_->get().method() == http::verb::head;
    response->keep_alive(keepOpen && parser_->get().keep_alive());
    response->body() = std::move(body);
    response->prepare_payload();
    if (head) {
        response->body().clear();
    }
    auto self = shared_from_this();
    stream_.expires_after(HeaderLimit);
    http::async_write(stream_, *response, [self, response](const error_code& error, std::size_t) {
        if (!error && response->keep_alive()) {
            self->readHeader();
            return;
        }
        error_code ignored;
        self->stream_.socket().shutdown(boost::asio::ip::tcp::socket::shutdown_send, ignored);
    });
}

void HttpSession::serveFile(const std::string& path, const std::string& cookie) {
    const std::string name = pageFileName(path);
    std::ifstream file;
    if (!name.empty()) {
        file.open(console_.options().pageFolder + "/" + name, std::ios::binary);
    }
    if (!file) {
        respond(http::status::not_found, "text/plain; charset=utf-8", "404 Not Found\n", true, cookie);
        return;
    }
    std::ostringstream contents;
    contents << file.rdbuf();
    respond(http::status::ok, contentTypeOf(name), contents.str(), true, cookie);
}

void HttpSession::servePicture(const std::string& cookie) {
    auto self = shared_from_this();
    console_.waitForFrame([self, cookie](PictureFeed::Frame frame, const std::string& reason) {
        if (frame) {
            self->respond(http::status::ok, "image/jpeg", *frame, true, cookie);
        } else {
            self->respond(http::status::service_unavailable, "text/plain; charset=utf-8",
                          "503 The picture is not available: " + reason + "\n", true, cookie);
        }
    });
}

} // namespace VelConsole
