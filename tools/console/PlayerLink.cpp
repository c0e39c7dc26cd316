#include "tools/console/PlayerLink.h"

#include "tools/ctl/ctlprotocol.h"

namespace VelConsole {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using boost::system::error_code;

namespace {

constexpr std::size_t ChunkSize = 64 * 1024;
// A line longer than the player ever writes means the other end is no player.
constexpr std::size_t MaximumLine = 64 * 1024 * 1024;
const auto RetryDelay = std::chrono::milliseconds(500);
const auto ConnectLimit = std::chrono::seconds(5);

std::string describe(const error_code& error) {
    return error == asio::error::eof ? std::string("the player closed the connection") : error.message();
}

// Moves every whole line (up to LF) out of received into lines, without its line end.
bool cutLines(std::string& received, std::vector<std::string>& lines) {
    std::string::size_type start = 0;
    for (;;) {
        const std::string::size_type end = received.find('\n', start);
        if (end == std::string::npos) {
            break;
        }
        std::string line = received.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(std::move(line));
        start = end + 1;
    }
    received.erase(0, start);
    return received.size() <= MaximumLine;
}

} // namespace

PlayerListener::PlayerListener(asio::io_context& io, PlayerAddress player, EventsHandler events,
                               StateHandler state)
    : player_(std::move(player)), events_(std::move(events)), state_(std::move(state)), resolver_(io),
      socket_(io), retry_(io), chunk_(ChunkSize) {}

void PlayerListener::start() {
    connect();
}

void PlayerListener::stop() {
    stopped_ = true;
    retry_.cancel();
    resolver_.cancel();
    error_code ignored;
    socket_.close(ignored);
}

void PlayerListener::connect() {
    if (stopped_) {
        return;
    }
    auto self = shared_from_this();
    resolver_.async_resolve(
        player_.host, std::to_string(player_.port),
        [self](const error_code& error, tcp::resolver::results_type found) {
            if (error) {
                self->fail("cannot find the player's host " + self->player_.host + ": " + error.message());
                return;
            }
            asio::async_connect(self->socket_, found, [self](const error_code& error, const tcp::endpoint&) {
                if (error) {
                    self->fail("no player at " + self->player_.text() + ": " + error.message());
                    return;
                }
                error_code ignored;
                self->socket_.set_option(tcp::no_delay(true), ignored);
                auto handshake = std::make_shared<std::string>(VelCtl::ListenerHandshake);
                asio::async_write(self->socket_, asio::buffer(*handshake),
                                  [self, handshake](const error_code& error, std::size_t) {
                                      if (error) {
                                          self->fail(describe(error));
                                          return;
                                      }
                                      self->readHandshake();
                                  });
            });
        });
}

void PlayerListener::readHandshake() {
    auto self = shared_from_this();
    socket_.async_read_some(asio::buffer(chunk_), [self](const error_code& error, std::size_t size) {
        if (error) {
            self->fail(describe(error));
            return;
        }
        self->received_.append(self->chunk_.data(), size);
        const std::string::size_type end = self->received_.find('\n');
        if (end == std::string::npos) {
            if (self->received_.size() > 64) {
                self->fail("the player at " + self->player_.text() + " did not accept a listener");
            } else {
                self->readHandshake();
            }
            return;
        }
        std::string answer = self->received_.substr(0, end);
        if (!answer.empty() && answer.back() == '\r') {
            answer.pop_back();
        }
        self->received_.erase(0, end + 1);
        if (answer != VelCtl::Accepted) {
            self->fail("the player at " + self->player_.text() + " answered '" + answer + "' to a listener");
            return;
        }
        self->connected_ = true;
        self->reason_.clear();
        self->state_(true, std::string());
        std::vector<std::string> lines;
        cutLines(self->received_, lines);
        if (!lines.empty()) {
            self->events_(lines);
        }
        self->readEvents();
    });
}

void PlayerListener::readEvents() {
    auto self = shared_from_this();
    socket_.async_read_some(asio::buffer(chunk_), [self](const error_code& error, std::size_t size) {
        if (error) {
            self->fail(describe(error));
            return;
        }
        self->received_.append(self->chunk_.data(), size);
        std::vector<std::string> lines;
        if (!cutLines(self->received_, lines)) {
            self->fail("the player sent a line longer than any event");
            return;
        }
        if (!lines.empty()) {
            self->events_(lines);
        }
        self->readEvents();
    });
}

void PlayerListener::fail(const std::string& reason) {
    error_code ignored;
    socket_.close(ignored);
    received_.clear();
    if (stopped_) {
        return;
    }
    const bool was = connected_;
    connected_ = false;
    if (was || reason != reason_) {
        reason_ = reason;
        state_(false, reason);
    }
    auto self = shared_from_this();
    retry_.expires_after(RetryDelay);
    retry_.async_wait([self](const error_code& error) {
        if (!error) {
            self->connect();
        }
    });
}

CommandChannel::CommandChannel(asio::io_context& io, PlayerAddress player)
    : io_(io), player_(std::move(player)), resolver_(io), socket_(io), deadline_(io), chunk_(ChunkSize) {}

void CommandChannel::run(std::vector<std::string> sentences, Done done) {
    if (sentences.empty()) {
        asio::post(io_, [done = std::move(done)] { done(true, {}, std::string()); });
        return;
    }
    waiting_.push_back(Batch{std::move(sentences), {}, std::move(done)});
    if (state_ == State::Closed) {
        connect();
    } else if (state_ == State::Ready) {
        flush();
    }
}

void CommandChannel::close() {
    error_code ignored;
    socket_.close(ignored);
    resolver_.cancel();
    deadline_.cancel();
    ++generation_;
    state_ = State::Closed;
    failAll("the console closed the connection");
}

void CommandChannel::connect() {
    state_ = State::Connecting;
    handshakeDone_ = false;
    received_.clear();
    outgoing_.clear();
    writing_.clear();
    const unsigned generation = ++generation_;
    auto self = shared_from_this();
    deadline_.expires_after(ConnectLimit);
    deadline_.async_wait([self, generation](const error_code& error) {
        if (!error && generation == self->generation_ && !self->handshakeDone_) {
            self->failAll("the player at " + self->player_.text() + " did not answer within 5 seconds");
        }
    });
    resolver_.async_resolve(
        player_.host, std::to_string(player_.port),
        [self, generation](const error_code& error, tcp::resolver::results_type found) {
            if (generation != self->generation_) {
                return;
            }
            if (error) {
                self->failAll("cannot find the player's host " + self->player_.host + ": " + error.message());
                return;
            }
            asio::async_connect(
                self->socket_, found, [self, generation](const error_code& error, const tcp::endpoint&) {
                    if (generation != self->generation_) {
                        return;
                    }
                    if (error) {
                        self->failAll("no player at " + self->player_.text() + ": " + error.message());
                        return;
                    }
                    error_code ignored;
                    self->socket_.set_option(tcp::no_delay(true), ignored);
                    self->outgoing_ = VelCtl::CommandHandshake;
                    self->write();
                    self->read();
                });
        });
}

void CommandChannel::flush() {
    while (!waiting_.empty()) {
        for (const std::string& sentence : waiting_.front().sentences) {
            outgoing_ += sentence;
        }
        answering_.push_back(std::move(waiting_.front()));
        waiting_.pop_front();
    }
    write();
}

void CommandChannel::write() {
    if (!writing_.empty() || outgoing_.empty()) {
        return;
    }
    writing_.swap(outgoing_);
    auto self = shared_from_this();
    const unsigned generation = generation_;
    asio::async_write(socket_, asio::buffer(writing_),
                      [self, generation](const error_code& error, std::size_t) {
                          if (generation != self->generation_) {
                              return;
                          }
                          self->writing_.clear();
                          if (error) {
                              self->failAll(describe(error));
                              return;
                          }
                          self->write();
                      });
}

void CommandChannel::read() {
    auto self = shared_from_this();
    const unsigned generation = generation_;
    socket_.async_read_some(asio::buffer(chunk_),
                            [self, generation](const error_code& error, std::size_t size) {
                                if (generation != self->generation_) {
                                    return;
                                }
                                if (error) {
                                    self->failAll(describe(error));
                                    return;
                                }
                                self->received_.append(self->chunk_.data(), size);
                                std::vector<std::string> lines;
                                if (!cutLines(self->received_, lines)) {
                                    self->failAll("the player sent a line longer than any reply");
                                    return;
                                }
                                for (std::string& line : lines) {
                                    self->takeLine(std::move(line));
                                    if (generation != self->generation_) {
                                        return;
                                    }
                                }
                                self->read();
                            });
}

void CommandChannel::takeLine(std::string line) {
    if (!handshakeDone_) {
        if (line != VelCtl::Accepted) {
            failAll("the player at " + player_.text() + " answered '" + line + "' to a command connection");
            return;
        }
        handshakeDone_ = true;
        deadline_.cancel();
        state_ = State::Ready;
        flush();
        return;
    }
    if (answering_.empty()) {
        failAll("the player sent a reply nobody asked for: " + line);
        return;
    }
    Batch& batch = answering_.front();
    batch.replies.push_back(std::move(line));
    if (batch.replies.size() == batch.sentences.size()) {
        Batch done = std::move(batch);
        answering_.pop_front();
        done.done(true, std::move(done.replies), std::string());
    }
}

void CommandChannel::failAll(const std::string& reason) {
    error_code ignored;
    socket_.close(ignored);
    deadline_.cancel();
    ++generation_;
    state_ = State::Closed;
    std::deque<Batch> failed;
    failed.swap(answering_);
    for (Batch& batch : waiting_) {
        failed.push_back(std::move(batch));
    }
    waiting_.clear();
    for (Batch& batch : failed) {
        batch.done(false, {}, reason);
    }
}

} // namespace VelConsole
