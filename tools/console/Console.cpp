#include "tools/console/Console.h"

#include "tools/console/CameraList.h"
#include "tools/console/ConsoleProtocol.h"
#include "tools/console/HttpSession.h"
#include "tools/console/PageSocket.h"
#include "tools/console/PictureSocket.h"

#include <unistd.h>

namespace VelConsole {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using boost::system::error_code;

namespace {

constexpr int FramesPerSecond = 15;

std::shared_ptr<const std::string> encode(const nlohmann::json& message) {
    return std::make_shared<const std::string>(
        message.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

} // namespace

Console::Console(asio::io_context& io, ConsoleOptions options, AccessToken token)
    : io_(io), options_(std::move(options)), token_(std::move(token)), acceptor_(io) {}

Console::~Console() {
    stop();
}

bool Console::start(std::string& error) {
    error_code failure;
    tcp::resolver resolver(io_);
    const auto found = resolver.resolve(options_.listenAddress, std::to_string(options_.listenPort),
                                        tcp::resolver::passive, failure);
    if (failure || found.empty()) {
        error = "cannot use the address " + options_.listenAddress + ": " + failure.message();
        return false;
    }
    const tcp::endpoint endpoint = *found.begin();
    acceptor_.open(endpoint.protocol(), failure);
    if (!failure) {
        acceptor_.set_option(asio::socket_base::reuse_address(true), failure);
        acceptor_.bind(endpoint, failure);
    }
    if (!failure) {
        acceptor_.listen(asio::socket_base::max_listen_connections, failure);
    }
    if (failure) {
        error = "cannot listen on " + options_.listenAddress + ":" + std::to_string(options_.listenPort) +
                ": " + failure.message();
        return false;
    }
    boundPort_ = acceptor_.local_endpoint().port();

    listener_ = std::make_shared<PlayerListener>(
        io_, player(), [this](const std::vector<std::string>& lines) { onEvents(lines); },
        [this](bool connected, const std::string& reason) { onPlayerState(connected, reason); });
    listener_->start();

    const std::string elsewhere =
        isLoopbackHost(options_.playerHost)
            ? std::string()
            : "the player runs on " + options_.playerHost +
                  ", not on the console's machine: only a console started beside it can show its window";
    feed_ = std::make_unique<PictureFeed>(
        io_, options_.windowTitle, elsewhere, FramesPerSecond,
        [this](PictureFeed::Frame frame) { onFrame(frame); },
        [this](bool available, const std::string& reason) { onPictureStatus(available, reason); });
    pictureReason_ = feed_->reason();
    feed_->start();
    accept();
    return true;
}

void Console::stop() {
    if (stopped_) {
        return;
    }
    stopped_ = true;
    error_code ignored;
    acceptor_.close(ignored);
    if (listener_) {
        listener_->stop();
    }
    if (feed_) {
        feed_->stop();
    }
    if (cameraThread_.joinable()) {
        cameraThread_.join();
    }
}

std::string Console::pageAddress() const {
    std::string host = options_.listenAddress;
    if (host == "0.0.0.0" || host == "::") {
        char name[256] = {};
        host = ::gethostname(name, sizeof name - 1) == 0 && name[0] != '\0' ? name : "localhost";
    } else if (host.find(':') != std::string::npos) {
        host = "[" + host + "]";
    }
    return "http://" + host + ":" + std::to_string(boundPort_) + "/?token=" + token_.text();
}

std::string Console::cookieName() const {
    return "velquin-console-" + std::to_string(boundPort_);
}

void Console::accept() {
    acceptor_.async_accept([this](const error_code& error, tcp::socket socket) {
        if (stopped_) {
            return;
        }
        if (!error) {
            std::make_shared<HttpSession>(std::move(socket), *this)->start();
        }
        accept();
    });
}

void Console::attach(PageSocket* page) {
    pages_.insert(page);
}

void Console::detach(PageSocket* page) {
    pages_.erase(page);
}

void Console::attach(PictureSocket* picture) {
    if (pictures_.insert(picture).second) {
        feed_->watch();
    }
}

void Console::detach(PictureSocket* picture) {
    if (pictures_.erase(picture) > 0) {
        feed_->unwatch();
    }
}

nlohmann::json Console::hello() const {
    return {{"version", VELQUIN_VERSION},
            {"player",
             {{"address", player().text()},
              {"connected", listener_ && listener_->connected()},
              {"reason", listener_ ? listener_->reason() : std::string()}}},
            {"picture", {{"available", pictureAvailable_}, {"reason", pictureReason_}}},
            {"cameras", isLoopbackHost(options_.playerHost)},
            {"uploads", uploadList()}};
}

void Console::onEvents(const std::vector<std::string>& lines) {
    if (pages_.empty()) {
        return;
    }
    // Each event is serialized once, whatever the number of pages.
    std::string entries;
    Event event;
    for (const std::string& line : lines) {
        nlohmann::json entry = parseEvent(line, event)
                                   ? nlohmann::json{line, event.name, event.arguments}
                                   : nlohmann::json{line, nullptr, nlohmann::json::array()};
        if (!entries.empty()) {
            entries += ',';
        }
        entries += entry.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    }
    for (PageSocket* page : pages_) {
        page->sendEvents(entries);
    }
}

void Console::onPlayerState(bool connected, const std::string& reason) {
    broadcast({{"player", {{"address", player().text()}, {"connected", connected}, {"reason", reason}}}});
}

void Console::onFrame(PictureFeed::Frame frame) {
    if (!pictureAvailable_) {
        onPictureStatus(true, std::string());
    }
    std::vector<FrameWaiter> waiters;
    waiters.swap(frameWaiters_);
    for (FrameWaiter& waiter : waiters) {
        waiter(frame, std::string());
    }
    for (PictureSocket* picture : pictures_) {
        picture->show(frame);
    }
}

void Console::onPictureStatus(bool available, const std::string& reason) {
    if (!available) {
        std::vector<FrameWaiter> waiters;
        waiters.swap(frameWaiters_);
        for (FrameWaiter& waiter : waiters) {
            waiter(nullptr, reason);
        }
    }
    if (available == pictureAvailable_ && reason == pictureReason_) {
        return;
    }
    pictureAvailable_ = available;
    pictureReason_ = reason;
    broadcast({{"picture", {{"available", available}, {"reason", reason}}}});
}

void Console::waitForFrame(FrameWaiter waiter) {
    if (!isLoopbackHost(options_.playerHost)) {
        waiter(nullptr, pictureReason_);
        return;
    }
    frameWaiters_.push_back(std::move(waiter));
    feed_->requestFrame();
}

void Console::projectRenewed() {
    broadcast({{"renewed", true}});
}

void Console::uploaded(const std::string& name, long long size) {
    uploads_[name] = size;
    broadcast({{"uploads", uploadList()}});
}

nlohmann::json Console::uploadList() const {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& [name, size] : uploads_) {
        list.push_back({{"name", name}, {"size", size}});
    }
    return list;
}

void Console::cameras(std::function<void(nlohmann::json)> answer) {
    if (!isLoopbackHost(options_.playerHost)) {
        answer({{"available", false},
                {"reason", "the player runs on another machine: type its camera's configuration"},
                {"cameras", nlohmann::json::array()}});
        return;
    }
    cameraWaiters_.push_back(std::move(answer));
    if (cameraWaiters_.size() > 1) {
        return; // a listing is under way and answers everyone
    }
    if (cameraThread_.joinable()) {
        cameraThread_.join();
    }
    cameraThread_ = std::thread([this, program = options_.playerProgram] {
        std::string listing;
        std::string reason;
        const bool listed = runCameraListing(program, 10000, listing, reason);
        nlohmann::json result = {{"available", listed},
                                 {"reason", reason},
                                 {"cameras", listed ? parseCameraList(listing) : nlohmann::json::array()}};
        asio::post(io_, [this, result] {
            std::vector<std::function<void(nlohmann::json)>> waiters;
            waiters.swap(cameraWaiters_);
            for (auto& waiter : waiters) {
                waiter(result);
            }
        });
    });
}

void Console::broadcast(const nlohmann::json& message) {
    const std::shared_ptr<const std::string> text = encode(message);
    for (PageSocket* page : pages_) {
        page->send(text);
    }
}

} // namespace VelConsole
