#pragma once

// The console's connections to the player, both on the console's network thread (one
// io_context thread; nothing here is used from another thread):
// - PlayerListener: the one listener connection all pages share. It connects, and reconnects
//   every half second while the player is not there or after it went away, and hands every
//   batch of event lines that arrived together to its owner.
// - CommandChannel: one command connection, opened on the first command a page sends and
//   again after it broke. Commands are written as soon as they are given (the player answers
//   in order), so a batch costs one round trip.

#include <boost/asio.hpp>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace VelConsole {

// Where the player is.
struct PlayerAddress {
    std::string host;
    int port = 0;
    std::string text() const { return host + ":" + std::to_string(port); }
};

class PlayerListener : public std::enable_shared_from_this<PlayerListener> {
public:
    // Lines of events (LF and CR removed) that arrived in one piece.
    using EventsHandler = std::function<void(const std::vector<std::string>& lines)>;
    // The listener connection came up (true) or went down (false, with the reason).
    using StateHandler = std::function<void(bool connected, const std::string& reason)>;

    PlayerListener(boost::asio::io_context& io, PlayerAddress player, EventsHandler events,
                   StateHandler state);
    void start();
    void stop();

    bool connected() const { return connected_; }
    const std::string& reason() const { return reason_; }

private:
    void connect();
    void readHandshake();
    void readEvents();
    void fail(const std::string& reason);

    PlayerAddress player_;
    EventsHandler events_;
    StateHandler state_;
    boost::asio::ip::tcp::resolver resolver_;
    boost::asio::ip::tcp::socket socket_;
    boost::asio::steady_timer retry_;
    std::string received_;    // bytes read, not yet a whole line
    std::vector<char> chunk_; // one read's buffer
    bool connected_ = false;
    bool stopped_ = false;
    std::string reason_ = "connecting to the player";
};

class CommandChannel : public std::enable_shared_from_this<CommandChannel> {
public:
    // The replies, one per sentence, or ok false and the reason the batch could not be run.
    using Done = std::function<void(bool ok, std::vector<std::string> replies, const std::string& error)>;

    CommandChannel(boost::asio::io_context& io, PlayerAddress player);
    // Sentences with their CR LF. Done is called on the network thread, never from inside run.
    void run(std::vector<std::string> sentences, Done done);
    void close();

private:
    struct Batch {
        std::vector<std::string> sentences;
        std::vector<std::string> replies;
        Done done;
    };
    enum class State { Closed, Connecting, Ready };

    void connect();
    void flush();
    void write();
    void read();
    void takeLine(std::string line);
    void failAll(const std::string& reason);

    boost::asio::io_context& io_;
    PlayerAddress player_;
    boost::asio::ip::tcp::resolver resolver_;
    boost::asio::ip::tcp::socket socket_;
    boost::asio::steady_timer deadline_; // limits connecting and the handshake
    State state_ = State::Closed;
    bool handshakeDone_ = false;
    std::deque<Batch> waiting_;   // not yet written
    std::deque<Batch> answering_; // written, collecting replies in order
    std::string outgoing_;        // sentences to write after the current write
    std::string writing_;         // bytes of the write under way
    std::string received_;
    std::vector<char> chunk_;
    unsigned generation_ = 0; // bumped at every close, so that late handlers of an old socket do nothing
};

} // namespace VelConsole
