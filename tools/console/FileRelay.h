#pragma once

// Files between the browser and the player's work directory, streamed through the console in
// pieces of 64 KiB: the console never holds a whole file and writes none to disk.
// - UploadRelay: POST /upload?name=NAME with a Content-Length of at most --max-upload; the
//   body goes to a new upload connection to the player as it arrives. Answers 200 with
//   {"name", "size"} once the player has closed the upload (it then has the whole file), else
//   400, 413 or 502 with {"error": REASON}.
// - DownloadRelay: GET /download?name=NAME; the player's bytes go to the browser as they
//   arrive, as an attachment. A file the player does not have (no bytes at all) is 404.
// Network thread only.

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <memory>
#include <string>
#include <vector>

namespace VelConsole {

class Console;

class UploadRelay : public std::enable_shared_from_this<UploadRelay> {
public:
    UploadRelay(boost::beast::tcp_stream&& browser, boost::beast::flat_buffer&& buffer,
                boost::beast::http::request_parser<boost::beast::http::empty_body>&& header,
                Console& console);
    void start();

private:
    void connectPlayer();
    void continueBody();
    void readBody();
    void finish();
    void respond(boost::beast::http::status status, const std::string& json);
    void fail(boost::beast::http::status status, const std::string& reason);

    boost::beast::tcp_stream browser_;
    boost::beast::flat_buffer buffer_;
    boost::beast::http::request_parser<boost::beast::http::buffer_body> parser_;
    Console& console_;
    boost::asio::ip::tcp::resolver resolver_;
    boost::beast::tcp_stream player_;
    std::string name_; // the name the player stores the file under
    unsigned long long size_ = 0;
    unsigned long long sent_ = 0;
    std::vector<char> chunk_;
    std::string line_; // the upload sentence
    bool answered_ = false;
};

class DownloadRelay : public std::enable_shared_from_this<DownloadRelay> {
public:
    DownloadRelay(boost::beast::tcp_stream&& browser, Console& console, std::string name);
    void start();

private:
    void readPlayer();
    void fail(boost::beast::http::status status, const std::string& reason);
    void end();

    boost::beast::tcp_stream browser_;
    Console& console_;
    std::string name_;
    boost::asio::ip::tcp::resolver resolver_;
    boost::beast::tcp_stream player_;
    std::vector<char> chunk_;
    std::string line_;
    std::string header_; // the response's head, sent with the first bytes
    unsigned long long relayed_ = 0;
};

// The name a file is offered for saving under in the browser: the part after the last "/", with
// characters other than letters, digits, "-", "_" and "." replaced by "_".
std::string attachmentName(const std::string& name);

} // namespace VelConsole
