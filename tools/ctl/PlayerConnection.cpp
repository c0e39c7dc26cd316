#include "tools/ctl/PlayerConnection.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace VelCtl {

namespace {

// Waits for the events on one descriptor; the poll result (0 on timeout, -1 with errno set).
int waitFor(int handle, short events, int timeoutMilliseconds, const sigset_t* mask) {
    pollfd waiting{handle, events, 0};
    if (mask == nullptr && timeoutMilliseconds <= 0) {
        return ::poll(&waiting, 1, -1);
    }
    timespec limit{timeoutMilliseconds / 1000, static_cast<long>(timeoutMilliseconds % 1000) * 1000000L};
    return ::ppoll(&waiting, 1, timeoutMilliseconds > 0 ? &limit : nullptr, mask);
}

} // namespace

PlayerConnection::~PlayerConnection() {
    close();
}

bool PlayerConnection::open(const std::string& host, int port, int timeoutMilliseconds) {
    close();
    const std::string target = host + ":" + std::to_string(port);
    addrinfo hints{};
    hints.ai_family = AF_INET; // the player listens on IPv4 only
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int resolved = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (resolved != 0) {
        error_ = "cannot resolve " + host + ": " +
                 (resolved == EAI_SYSTEM ? std::strerror(errno) : ::gai_strerror(resolved));
        return false;
    }
    int lastError = ECONNREFUSED;
    for (addrinfo* address = found; address != nullptr; address = address->ai_next) {
        if (connectOne(address->ai_addr, address->ai_addrlen, timeoutMilliseconds)) {
            ::freeaddrinfo(found);
            return true;
        }
        lastError = errno;
    }
    ::freeaddrinfo(found);
    error_ = "cannot connect to " + target + ": " + std::strerror(lastError);
    return false;
}

bool PlayerConnection::connectOne(const void* address, unsigned length, int timeoutMilliseconds) {
    handle_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (handle_ < 0) {
        return false;
    }
    int result = ::connect(handle_, static_cast<const sockaddr*>(address), length);
    if (result != 0 && errno == EINPROGRESS) {
        const int ready = waitFor(handle_, POLLOUT, timeoutMilliseconds, nullptr);
        if (ready == 0) {
            errno = ETIMEDOUT;
        } else if (ready > 0) {
            int failure = 0;
            socklen_t size = sizeof failure;
            ::getsockopt(handle_, SOL_SOCKET, SO_ERROR, &failure, &size);
            errno = failure;
            result = failure == 0 ? 0 : -1;
        }
    }
    if (result != 0) {
        const int failure = errno;
        close();
        errno = failure;
        return false;
    }
    // Waits use poll; the socket itself blocks so that sends go out whole.
    ::fcntl(handle_, F_SETFL, ::fcntl(handle_, F_GETFL) & ~O_NONBLOCK);
    const int on = 1;
    ::setsockopt(handle_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return true;
}

bool PlayerConnection::sendAll(const std::string& bytes) {
    return sendAll(bytes.data(), bytes.size());
}

bool PlayerConnection::sendAll(const char* data, size_t length) {
    size_t sent = 0;
    while (sent < length) {
        const ssize_t count = ::send(handle_, data + sent, length - sent, MSG_NOSIGNAL);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            error_ = std::string("cannot send: ") + std::strerror(count < 0 ? errno : EPIPE);
            return false;
        }
        sent += static_cast<size_t>(count);
    }
    return true;
}

Received PlayerConnection::receiveMore(int timeoutMilliseconds) {
    if (handle_ < 0) {
        error_ = "not connected";
        return Received::Failed;
    }
    const int ready = waitFor(handle_, POLLIN, timeoutMilliseconds, waitMask_);
    if (ready == 0) {
        return Received::TimedOut;
    }
    if (ready < 0) {
        if (errno == EINTR) {
            return Received::Interrupted;
        }
        error_ = std::string("cannot wait for the player: ") + std::strerror(errno);
        return Received::Failed;
    }
    char chunk[65536];
    ssize_t count;
    do {
        count = ::recv(handle_, chunk, sizeof chunk, 0);
    } while (count < 0 && errno == EINTR);
    if (count == 0) {
        return Received::Closed;
    }
    if (count < 0) {
        error_ = std::string("connection lost: ") + std::strerror(errno);
        return Received::Failed;
    }
    pending_.append(chunk, static_cast<size_t>(count));
    return Received::Data;
}

Received PlayerConnection::readLine(std::string& line, int timeoutMilliseconds) {
    for (;;) {
        const std::string::size_type end = pending_.find('\n');
        if (end != std::string::npos) {
            line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return Received::Data;
        }
        const Received got = receiveMore(timeoutMilliseconds);
        if (got != Received::Data) {
            return got;
        }
    }
}

Received PlayerConnection::readSome(std::string& bytes, size_t maximum, int timeoutMilliseconds) {
    if (pending_.empty()) {
        const Received got = receiveMore(timeoutMilliseconds);
        if (got != Received::Data) {
            return got;
        }
    }
    const size_t count = pending_.size() < maximum ? pending_.size() : maximum;
    bytes.append(pending_, 0, count);
    pending_.erase(0, count);
    return Received::Data;
}

void PlayerConnection::shutdownWrite() {
    if (handle_ >= 0) {
        ::shutdown(handle_, SHUT_WR);
    }
}

void PlayerConnection::close() {
    if (handle_ >= 0) {
        ::close(handle_);
        handle_ = -1;
    }
    pending_.clear();
}

} // namespace VelCtl
