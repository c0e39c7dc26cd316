#pragma once

// One browser connection to the console, until it turns into something else: reads request
// headers, refuses those without the token (401) and WebSocket handshakes from another site's
// page (403), serves the page's files, and hands uploads, downloads and WebSocket handshakes to
// the objects that carry them on. Network thread only.

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <memory>
#include <optional>
#include <string>

namespace VelConsole {

class Console;

class HttpSession : public std::enable_shared_from_this<HttpSession> {
public:
    HttpSession(boost::asio::ip::tcp::socket&& socket, Console& console);
    void start();

private:
    void readHeader();
    void route();
    // Sends a whole response; the connection stays open for the next request when keepOpen.
    void respond(boost::beast::http::status status, const std::string& contentType, std::string body,
                 bool keepOpen, const std::string& cookie = std::string());
    void serveFile(const std::string& path, const std::string& cookie);
    void servePicture(const std::string& cookie);

    boost::beast::tcp_stream stream_;
    boost::beast::flat_buffer buffer_;
    std::optional<boost::beast::http::request_parser<boost::beast::http::empty_body>> parser_;
    Console& console_;
};

// The path of a request target without its query ("/upload?name=a" -> "/upload").
std::string targetPath(const std::string& target);
// One query parameter, percent-decoded; empty when absent or malformed.
std::string queryParameter(const std::string& target, const std::string& key);
// The page's file a path names, or empty when it names none: one plain file name of the page's
// folder ("/" is "index.html"), letters, digits, "-", "_" and one "." only, so that no request
// reaches outside the folder.
std::string pageFileName(const std::string& path);
// True when a WebSocket handshake may go on: no Origin (not a browser), or the console's own
// address as the browser reached it ("http://" and the Host header).
bool originAllowed(const std::string& origin, const std::string& host);

} // namespace VelConsole
