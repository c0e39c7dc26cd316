#pragma once

// Helpers for tests of the remote control over real sockets on 127.0.0.1: a blocking client,
// capture of standard output or standard error, and a handler factory whose handlers run a
// test's own function and can be counted until they are all gone.

#include <arpa/inet.h>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>
#include <sys/time.h>
#include <thread>
#include <unistd.h>

#include "net/ConnectionHandler.h"
#include "net/Socket.h"
#include "support/Wait.h"

namespace nettest {

using namespace std::chrono_literals;

// Long enough for a slow sanitizer build, short enough that a hang fails the test soon.
constexpr auto Patience = 10s;

inline int countOf(const std::string& text, const std::string& needle) {
    int count = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos;
         at = text.find(needle, at + needle.size())) {
        ++count;
    }
    return count;
}

// A plain client socket connected to 127.0.0.1:port. Reads time out after Patience.
class Client {
public:
    // from: the client's own address, another of the loopback block than 127.0.0.1 (host byte
    // order; 0 lets the system choose), so that one machine plays several clients.
    explicit Client(int port, uint32_t from = 0) {
        handle_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        timeval timeout{static_cast<time_t>(std::chrono::seconds(Patience).count()), 0};
        ::setsockopt(handle_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        const int on = 1;
        ::setsockopt(handle_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        if (from != 0) {
            sockaddr_in local{};
            local.sin_family = AF_INET;
            local.sin_addr.s_addr = htonl(from);
            ::bind(handle_, reinterpret_cast<const sockaddr*>(&local), sizeof local);
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<uint16_t>(port));
        connected_ = ::connect(handle_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    ~Client() { close(); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool connected() const { return connected_; }

    void send(const std::string& bytes) {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t count = ::send(handle_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (count <= 0) {
                return;
            }
            sent += static_cast<std::size_t>(count);
        }
    }

    // The next line up to LF, without the LF (a CR before it stays). False when the server
    // closed (or nothing came in time) before a whole line.
    bool readLine(std::string& line) {
        for (;;) {
            const std::size_t end = pending_.find('\n');
            if (end != std::string::npos) {
                line = pending_.substr(0, end);
                pending_.erase(0, end + 1);
                return true;
            }
            if (!receiveMore()) {
                return false;
            }
        }
    }

    // The next line, or "<none>" when there is none.
    std::string line() {
        std::string text;
        return readLine(text) ? text : "<none>";
    }

    // True when the server closes the connection (end of stream or reset) with nothing more to
    // read; false when bytes come or nothing happens in time.
    bool closedByServer() {
        if (!pending_.empty()) {
            return false;
        }
        char byte;
        const ssize_t count = ::recv(handle_, &byte, 1, 0);
        return count == 0 || (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
    }

    // Closes with a reset instead of an orderly end.
    void reset() {
        linger abort{1, 0};
        ::setsockopt(handle_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        close();
    }

    int handle() const { return handle_; }

    void close() {
        if (handle_ >= 0) {
            ::close(handle_);
            handle_ = -1;
        }
    }

private:
    bool receiveMore() {
        char chunk[4096];
        const ssize_t count = ::recv(handle_, chunk, sizeof chunk, 0);
        if (count <= 0) {
            return false;
        }
        pending_.append(chunk, static_cast<std::size_t>(count));
        return true;
    }

    int handle_ = -1;
    bool connected_ = false;
    std::string pending_;
};

// A socket of another program that holds a port: bound to a free port and listening.
class PortHolder {
public:
    PortHolder() {
        handle_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        ::bind(handle_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        ::listen(handle_, 1);
        socklen_t length = sizeof address;
        ::getsockname(handle_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~PortHolder() { ::close(handle_); }
    int port() const { return port_; }

private:
    int handle_;
    int port_;
};

// Sends what the process writes to standard output (fd 1) or standard error (fd 2) into a file
// while it lives, from every thread, and reads it back. At its end the captured text goes on to
// where it was headed, so that nothing (a test failure message included) is lost.
class OutputCapture {
public:
    explicit OutputCapture(int descriptor) : descriptor_(descriptor) {
        std::fflush(nullptr);
        char pattern[] = "/tmp/velquin-net-output-XXXXXX";
        file_ = ::mkstemp(pattern);
        ::unlink(pattern);
        saved_ = ::dup(descriptor_);
        ::dup2(file_, descriptor_);
    }
    ~OutputCapture() {
        const std::string captured = text();
        ::dup2(saved_, descriptor_);
        if (::write(descriptor_, captured.data(), captured.size()) < 0) {
            std::perror("captured output");
        }
        ::close(saved_);
        ::close(file_);
    }
    OutputCapture(const OutputCapture&) = delete;
    OutputCapture& operator=(const OutputCapture&) = delete;

    std::string text() const {
        std::fflush(nullptr);
        std::string content;
        char chunk[4096];
        ssize_t count;
        off_t offset = 0;
        while ((count = ::pread(file_, chunk, sizeof chunk, offset)) > 0) {
            content.append(chunk, static_cast<std::size_t>(count));
            offset += count;
        }
        return content;
    }

    // Waits until the captured text holds the needle so many times; true when it came in time.
    bool waitFor(const std::string& needle, int times = 1) const {
        const auto deadline = std::chrono::steady_clock::now() + Patience;
        while (countOf(text(), needle) < times) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(2ms);
        }
        return true;
    }

private:
    int descriptor_;
    int file_;
    int saved_;
};

// Handlers that run a test's function on their connection and are counted while they exist, so
// that a test can wait until every connection of it has really finished (its record released).
class CountingFactory : public ConnectionHandlerFactory {
public:
    using Serve = std::function<void(VelOS::Socket&)>;

    explicit CountingFactory(Serve serve) : serve_(std::move(serve)) {}

    std::unique_ptr<ConnectionHandler> createHandler() override {
        std::lock_guard<std::mutex> hold(guard_);
        ++live_;
        ++made_;
        return std::make_unique<Handler>(*this);
    }

    int made() {
        std::lock_guard<std::mutex> hold(guard_);
        return made_;
    }

    // Waits until every handler made so far is destroyed; true when that happened in time.
    bool waitUntilAllReleased() {
        std::unique_lock<std::mutex> hold(guard_);
        return changed_.wait_for(hold, Patience, [this] { return live_ == 0; });
    }

private:
    class Handler : public ConnectionHandler {
    public:
        explicit Handler(CountingFactory& factory) : factory_(factory) {}
        ~Handler() override {
            std::lock_guard<std::mutex> hold(factory_.guard_);
            --factory_.live_;
            factory_.changed_.notify_all();
        }
        void handle(VelOS::Socket& socket) override { factory_.serve_(socket); }

    private:
        CountingFactory& factory_;
    };

    Serve serve_;
    std::mutex guard_; // guards live_ and made_
    std::condition_variable changed_;
    int live_ = 0;
    int made_ = 0;
};

// Waits until the predicate holds; true when it did in time.
inline bool eventually(const std::function<bool()>& predicate) {
    const auto deadline = std::chrono::steady_clock::now() + Patience;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

// A port nobody listens on right now.
inline int freePort() {
    PortHolder holder;
    return holder.port();
}

// A connection to the port once something listens there (a player may still be setting up);
// nothing after a minute. A refused connect costs next to nothing, so it is tried every poll
// interval: the test goes on as soon as the port opens.
inline std::unique_ptr<Client> connectWhenListening(int port) {
    std::unique_ptr<Client> client;
    testwait::waitUntil(
        [&] {
            client = std::make_unique<Client>(port);
            return client->connected();
        },
        60s);
    return client->connected() ? std::move(client) : nullptr;
}

// Streams bytes into the player's work directory and waits until the player has them all.
inline bool upload(int port, const std::string& name, const std::string& content) {
    Client client(port);
    if (!client.connected()) {
        return false;
    }
    client.send("uploadFile(\"" + name + "\", " + std::to_string(content.size()) + ");\r\n" + content);
    return client.closedByServer();
}

} // namespace nettest
