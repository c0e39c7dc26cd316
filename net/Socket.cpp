#include "net/Socket.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include "net/NetTexts.h"
#include "net/console.h"

namespace VelOS {

namespace {

constexpr long ReceiveChunk = 1024;

// Errors after which accept simply waits for the next peer: a peer that gave up (or reset)
// before it was accepted, a signal, and the network errors Linux passes on from the new
// connection. None of them says anything about the listening socket.
bool acceptMayRetry(int error) {
    switch (error) {
    case EINTR:
    case ECONNABORTED:
    case EPROTO:
    case ENETDOWN:
    case ENOPROTOOPT:
    case EHOSTDOWN:
    case ENONET:
    case EHOSTUNREACH:
    case ENETUNREACH:
        return true;
    default:
        return false;
    }
}

} // namespace

class Socket::InUse {
public:
    explicit InUse(const Socket& socket) : socket_(socket) {
        std::lock_guard<std::mutex> hold(socket_.guard_);
        handle = socket_.handle_;
        if (handle >= 0) {
            ++socket_.users_;
        }
    }
    ~InUse() {
        if (handle < 0) {
            return;
        }
        std::lock_guard<std::mutex> hold(socket_.guard_);
        if (--socket_.users_ == 0 && socket_.closing_ >= 0) {
            ::close(socket_.closing_);
            socket_.closing_ = -1;
        }
    }
    InUse(const InUse&) = delete;
    InUse& operator=(const InUse&) = delete;

    int handle;

private:
    const Socket& socket_;
};

Socket::~Socket() {
    close();
}

Socket::Socket(Socket&& other) noexcept {
    *this = std::move(other);
}

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = other.handle_;
        kind_ = other.kind_;
        received_ = std::move(other.received_);
        lineTooLong_ = other.lineTooLong_;
        hasDeadline_ = other.hasDeadline_;
        deadline_ = other.deadline_;
        handshakeOver_.store(other.handshakeOver_.load());
        lastReceived_.store(other.lastReceived_.load());
        other.handle_ = -1;
        other.hasDeadline_ = false;
        other.received_.clear();
        other.lineTooLong_ = false;
    }
    return *this;
}

void Socket::create(int kind) {
    if (kind == Datagram) {
        throw Exception(NetTexts::DatagramNotImplemented);
    }
    close();
    const int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (handle < 0) {
        throw Exception(NetTexts::SocketError);
    }
    {
        std::lock_guard<std::mutex> hold(guard_);
        handle_ = handle;
    }
    kind_ = kind;
    received_.clear();
    lineTooLong_ = false;
}

void Socket::bind(long port) {
    InUse use(*this);
    bool bound = false;
    if (use.handle >= 0 && port >= 0 && port <= 65535) {
        // A restarted player takes its port back at once instead of waiting out TIME_WAIT.
        const int on = 1;
        ::setsockopt(use.handle, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        address.sin_port = htons(static_cast<uint16_t>(port));
        bound = ::bind(use.handle, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    if (!bound) {
        throw Exception(NetTexts::BindError);
    }
}

void Socket::listen(int backlog) {
    InUse use(*this);
    if (use.handle < 0 || ::listen(use.handle, backlog) != 0) {
        throw Exception(NetTexts::ListenError);
    }
}

Socket Socket::accept(uint32_t* peerAddress) {
    Socket socket;
    int error = 0;
    {
        InUse use(*this);
        if (use.handle < 0) {
            return socket;
        }
        int accepted;
        sockaddr_in peer{};
        socklen_t length;
        do {
            length = sizeof peer;
            accepted = ::accept4(use.handle, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
            error = accepted < 0 ? errno : 0;
        } while (accepted < 0 && acceptMayRetry(error));
        if (accepted >= 0) {
            socket.handle_ = accepted;
            socket.lastReceived_.store(std::chrono::steady_clock::now().time_since_epoch().count());
            if (peerAddress != nullptr) {
                *peerAddress = peer.sin_family == AF_INET ? ntohl(peer.sin_addr.s_addr) : 0;
            }
            return socket;
        }
    }
    // Linux answers a shut-down listening socket with EINVAL: the server is being stopped.
    if (error == EINVAL || !isValid()) {
        return socket;
    }
    const bool shortage = error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
    throw Exception(NetTexts::AcceptError, shortage);
}

void Socket::setReceiveDeadline(std::chrono::steady_clock::time_point deadline) {
    hasDeadline_ = true;
    deadline_ = deadline;
}

void Socket::clearReceiveDeadline() {
    handshakeOver_.store(true, std::memory_order_relaxed);
    if (!hasDeadline_) {
        return;
    }
    hasDeadline_ = false;
    InUse use(*this);
    if (use.handle >= 0) {
        const timeval forever{};
        ::setsockopt(use.handle, SOL_SOCKET, SO_RCVTIMEO, &forever, sizeof forever);
    }
}

int Socket::localPort() const {
    InUse use(*this);
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (use.handle < 0 || ::getsockname(use.handle, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

bool Socket::isValid() const {
    std::lock_guard<std::mutex> hold(guard_);
    return handle_ >= 0;
}

void Socket::shutdown() {
    std::lock_guard<std::mutex> hold(guard_);
    if (handle_ >= 0) {
        ::shutdown(handle_, SHUT_RDWR);
    }
}

void Socket::close() {
    std::lock_guard<std::mutex> hold(guard_);
    if (handle_ < 0) {
        return;
    }
    if (users_ > 0) {
        // Wake the blocked call; it closes the handle when it leaves.
        ::shutdown(handle_, SHUT_RDWR);
        closing_ = handle_;
    } else {
        ::close(handle_);
    }
    handle_ = -1;
}

long Socket::send(const std::string& text) {
    return send(text.data(), static_cast<long>(text.size()));
}

long Socket::send(const char* data, long length) {
    InUse use(*this);
    if (use.handle < 0) {
        return -1;
    }
    long sent = 0;
    while (sent < length) {
        const ssize_t count =
            ::send(use.handle, data + sent, static_cast<size_t>(length - sent), MSG_NOSIGNAL);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        sent += count;
    }
    return sent > 0 || length <= 0 ? sent : -1;
}

bool Socket::sendWithoutWaiting(const std::string& text) {
    InUse use(*this);
    if (use.handle < 0) {
        return false;
    }
    size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t count =
            ::send(use.handle, text.data() + sent, text.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        sent += static_cast<size_t>(count);
    }
    return true;
}

bool Socket::readLine(std::string& line) {
    if (lineTooLong_) {
        return false;
    }
    char chunk[ReceiveChunk];
    for (;;) {
        switch (received_.takeLine(line)) {
        case VelNet::ReceiveBuffer::LineResult::Line:
            return true;
        case VelNet::ReceiveBuffer::LineResult::TooLong:
            lineTooLong_ = true;
            VelNet::writeToStandardError(std::string(NetTexts::LineTooLong) + "\n");
            return false;
        case VelNet::ReceiveBuffer::LineResult::NeedMore:
            break;
        }
        const long count = receive(chunk, ReceiveChunk);
        if (count <= 0) {
            return false;
        }
        received_.append(chunk, static_cast<size_t>(count));
    }
}

long Socket::readBytes(char* destination, long maximum) {
    if (maximum <= 0) {
        return 0;
    }
    if (received_.size() > 0) {
        return static_cast<long>(received_.takeBytes(destination, static_cast<size_t>(maximum)));
    }
    return receive(destination, maximum);
}

long Socket::receive(char* destination, long maximum) {
    InUse use(*this);
    if (use.handle < 0) {
        return -1;
    }
    if (hasDeadline_) {
        // What is left of the deadline bounds this one receive (at least a millisecond, since a
        // zero timeout would mean no limit at all).
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
            deadline_ - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return -1;
        }
        timeval timeout{};
        timeout.tv_sec = static_cast<time_t>(left.count() / 1000000);
        timeout.tv_usec = static_cast<suseconds_t>(std::max<long long>(left.count() % 1000000, 1000));
        ::setsockopt(use.handle, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    }
    ssize_t count;
    do {
        count = ::recv(use.handle, destination, static_cast<size_t>(maximum), 0);
    } while (count < 0 && errno == EINTR);
    if (count > 0) {
        lastReceived_.store(std::chrono::steady_clock::now().time_since_epoch().count(),
                            std::memory_order_relaxed);
    }
    return static_cast<long>(count);
}

} // namespace VelOS
