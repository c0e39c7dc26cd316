#include "tools/console/PageSocket.h"

#include "tools/console/Console.h"
#include "tools/console/ConsoleProtocol.h"
#include "tools/console/ProjectSnapshot.h"

#include <algorithm>

namespace VelConsole {

namespace beast = boost::beast;
namespace websocket = beast::websocket;
using boost::system::error_code;

namespace {

constexpr std::size_t QueueLimit = 32u << 20;
constexpr std::size_t MessageLimit = 4u << 20;
// An events batch that has grown this large is closed, and the next events start another.
constexpr std::size_t BatchBytes = 1u << 20;
// One request may carry a whole show; more would only hold the player's other clients up.
constexpr std::size_t BatchLimit = 10000;

} // namespace

PageSocket::PageSocket(beast::tcp_stream&& stream, Console& console)
    : socket_(std::move(stream)), console_(console),
      commands_(std::make_shared<CommandChannel>(console.io(), console.player())) {}

PageSocket::~PageSocket() {
    console_.detach(this);
    commands_->close();
}

void PageSocket::start(beast::http::request<beast::http::empty_body> handshake) {
    socket_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
    socket_.set_option(websocket::stream_base::decorator([](websocket::response_type& response) {
        response.set(beast::http::field::server, "velquin-console");
    }));
    socket_.read_message_max(MessageLimit);
    socket_.write_buffer_bytes(64 * 1024);
    auto self = shared_from_this();
    socket_.async_accept(handshake, [self](const error_code& error) {
        if (error) {
            return;
        }
        self->open_ = true;
        self->console_.attach(self.get());
        self->send(
            std::make_shared<const std::string>(nlohmann::json{{"hello", self->console_.hello()}}.dump()));
        self->read();
    });
}

void PageSocket::send(Message message) {
    if (!open_) {
        return;
    }
    queuedBytes_ += message->size();
    queue_.push_back(std::move(message));
    openBatch_.reset();
    if (queuedBytes_ > QueueLimit) {
        close();
        return;
    }
    if (queue_.size() == 1) {
        write();
    }
}

void PageSocket::sendEvents(const std::string& entries) {
    if (!open_) {
        return;
    }
    if (openBatch_ && queue_.size() > 1 && openBatch_->size() < BatchBytes) {
        openBatch_->resize(openBatch_->size() - 2); // "]}"
        *openBatch_ += ",";
        *openBatch_ += entries;
        *openBatch_ += "]}";
        queuedBytes_ += entries.size() + 1;
        if (queuedBytes_ > QueueLimit) {
            close();
        }
        return;
    }
    auto batch = std::make_shared<std::string>("{\"events\":[" + entries + "]}");
    send(batch);
    openBatch_ = batch;
}

void PageSocket::write() {
    socket_.text(true);
    auto self = shared_from_this();
    socket_.async_write(boost::asio::buffer(*queue_.front()), [self](const error_code& error, std::size_t) {
        if (error || self->queue_.empty()) {
            self->open_ = false;
            return;
        }
        self->queuedBytes_ -= std::min(self->queuedBytes_, self->queue_.front()->size());
        self->queue_.pop_front();
        if (self->queue_.size() == 1 && self->openBatch_ == self->queue_.front()) {
            self->openBatch_.reset(); // about to be written: no longer open
        }
        if (!self->queue_.empty()) {
            self->write();
        }
    });
}

void PageSocket::close() {
    open_ = false;
    queue_.clear();
    openBatch_.reset();
    queuedBytes_ = 0;
    beast::get_lowest_layer(socket_).socket().close();
}

void PageSocket::read() {
    auto self = shared_from_this();
    socket_.async_read(buffer_, [self](const error_code& error, std::size_t) {
        if (error) {
            self->open_ = false;
            return;
        }
        const std::string text = beast::buffers_to_string(self->buffer_.data());
        self->buffer_.consume(self->buffer_.size());
        self->handle(text);
        self->read();
    });
}

void PageSocket::answer(const nlohmann::json& id, nlohmann::json body) {
    body["id"] = id;
    send(std::make_shared<const std::string>(
        body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)));
}

void PageSocket::handle(const std::string& text) {
    const nlohmann::json request = nlohmann::json::parse(text, nullptr, false);
    if (!request.is_object()) {
        answer(nullptr, {{"error", "not a JSON object"}});
        return;
    }
    const nlohmann::json id = request.value("id", nlohmann::json());
    if (request.contains("send")) {
        const nlohmann::json& commands = request["send"];
        if (!commands.is_array() || commands.empty() || commands.size() > BatchLimit) {
            answer(id, {{"error", "send wants a list of 1 to 10000 commands"}});
            return;
        }
        std::vector<std::string> sentences;
        bool renews = false;
        for (const nlohmann::json& command : commands) {
            std::string sentence;
            std::string reason;
            if (!command.is_array() || command.empty() || !command[0].is_string()) {
                answer(id, {{"error", "a command is a list: its name, then its arguments"}});
                return;
            }
            const nlohmann::json arguments(command.begin() + 1, command.end());
            if (!buildSentence(command[0].get<std::string>(), arguments, sentence, reason)) {
                answer(id, {{"error", command[0].get<std::string>() + ": " + reason}});
                return;
            }
            renews = renews || command[0] == "project.new";
            sentences.push_back(std::move(sentence));
        }
        std::weak_ptr<PageSocket> weak = shared_from_this();
        Console* console = &console_;
        commands_->run(
            std::move(sentences),
            [weak, id, renews, console](bool ok, std::vector<std::string> replies, const std::string& error) {
                // A new project announces nothing to listeners: every page reads the project again.
                if (ok && renews) {
                    console->projectRenewed();
                }
                if (auto self = weak.lock()) {
                    self->answer(id, ok ? nlohmann::json{{"replies", replies}}
                                        : nlohmann::json{{"error", error}});
                }
            });
    } else if (request.contains("snapshot")) {
        snapshot(id);
    } else if (request.contains("cameras")) {
        std::weak_ptr<PageSocket> weak = shared_from_this();
        console_.cameras([weak, id](nlohmann::json cameras) {
            if (auto self = weak.lock()) {
                self->answer(id, {{"cameras", std::move(cameras)}});
            }
        });
    } else {
        answer(id, {{"error", "unknown request"}});
    }
}

void PageSocket::snapshot(const nlohmann::json& id) {
    auto reading = std::make_shared<ProjectSnapshot>();
    std::weak_ptr<PageSocket> weak = shared_from_this();
    commands_->run(reading->firstQuestions(), [weak, id, reading](bool ok, std::vector<std::string> replies,
                                                                  const std::string& error) {
        auto self = weak.lock();
        if (!self) {
            return;
        }
        if (!ok) {
            self->answer(id, {{"error", error}});
            return;
        }
        self->commands_->run(
            reading->secondQuestions(replies),
            [weak, id, reading](bool ok, std::vector<std::string> replies, const std::string& error) {
                if (auto self = weak.lock()) {
                    self->answer(id, ok ? nlohmann::json{{"snapshot", reading->assemble(replies)}}
                                        : nlohmann::json{{"error", error}});
                }
            });
    });
}

} // namespace VelConsole
