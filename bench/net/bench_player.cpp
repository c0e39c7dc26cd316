// The remote control end to end, against the real player on a virtual display: ping-pong
// commands over one connection, events fanned out to 16 listeners (and to 15 while a 16th never
// reads), and command latency while a recorded "File" camera runs at 5 and at 30 frames a
// second. Prints medians of several runs beside the targets.
//
// The same ping-pong and fan-out run against a Redis server started on a free port (PING, and
// PUBLISH to 16 SUBSCRIBE connections), with the same client code, interleaved run by run with
// the player's, and the ratios are printed: the player's rates against a well-known server's
// on the same machine at the same moment. Without redis-server (scripts/install-deps.sh
// --bench) those rows are left out.
// Usage: bench_player [repetitions]   (starts itself under xvfb-run when there is no display)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "support/PlayerSession.h"

namespace {

using Clock = std::chrono::steady_clock;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

double percentile(std::vector<double> values, double share) {
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(std::ceil(share * static_cast<double>(values.size())));
    return values[std::max<std::size_t>(rank, 1) - 1];
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// What differs between the player and Redis in the two rate measures; the sockets, the line
// reading, the pacing and the counting are the same code for both.
struct Peer {
    const char* name;
    // A command connection, and a listener that has subscribed (nothing when it cannot).
    std::function<std::unique_ptr<nettest::Client>()> command, listener;
    std::string ping;                                       // a command whose reply is one line
    std::function<std::string(const std::string&)> publish; // sends TEXT to every listener
    // The text of the next event a listener hears; false when the connection ended.
    std::function<bool(nettest::Client&, std::string&)> hear;
};

Peer playerPeer(PlayerSession& player) {
    Peer peer;
    peer.name = "player";
    peer.command = [&player] { return player.open("command"); };
    peer.listener = [&player] { return player.open("listener"); };
    peer.ping = "project.title.get();\r\n";
    peer.publish = [](const std::string& text) { return "project.title.set(\"" + text + "\");\r\n"; };
    peer.hear = [](nettest::Client& listener, std::string& text) {
        static const std::string prefix = "project.title.changed(\"", suffix = "\");";
        if (!listener.readLine(text)) {
            return false;
        }
        if (text.size() >= prefix.size() + suffix.size() && text.compare(0, prefix.size(), prefix) == 0 &&
            text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0) {
            text = text.substr(prefix.size(), text.size() - prefix.size() - suffix.size());
        }
        return true;
    };
    return peer;
}

// Redis's inline commands are lines too; a message to a subscriber is the array
// *3 $7 message $CHANNEL-LENGTH CHANNEL $LENGTH TEXT, one element a line.
Peer redisPeer(int port) {
    Peer peer;
    peer.name = "Redis";
    peer.command = [port]() -> std::unique_ptr<nettest::Client> {
        auto client = std::make_unique<nettest::Client>(port);
        return client->connected() ? std::move(client) : nullptr;
    };
    peer.listener = [port]() -> std::unique_ptr<nettest::Client> {
        auto client = std::make_unique<nettest::Client>(port);
        if (!client->connected()) {
            return nullptr;
        }
        client->send("SUBSCRIBE show\r\n");
        std::string line;
        for (int i = 0; i < 6; ++i) { // *3 $9 subscribe $4 show :COUNT
            if (!client->readLine(line)) {
                return nullptr;
            }
        }
        return client;
    };
    peer.ping = "PING\r\n";
    peer.publish = [](const std::string& text) { return "PUBLISH show \"" + text + "\"\r\n"; };
    peer.hear = [](nettest::Client& listener, std::string& text) {
        std::string line;
        for (int i = 0; i < 7; ++i) {
            if (!listener.readLine(line)) {
                return false;
            }
        }
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        text = line;
        return true;
    };
    return peer;
}

// A redis-server of its own on a free loopback port, nothing saved, ended with the benchmark.
class RedisServer {
public:
    RedisServer() : port_(nettest::freePort()) {
        pid_ = ::fork();
        if (pid_ == 0) {
            // Its start-up notes would fill the benchmark's table.
            const int quiet = ::open("/dev/null", O_WRONLY);
            ::dup2(quiet, STDOUT_FILENO);
            ::dup2(quiet, STDERR_FILENO);
            const std::string port = std::to_string(port_);
            ::execlp("redis-server", "redis-server", "--port", port.c_str(), "--bind", "127.0.0.1", "--save",
                     "", "--appendonly", "no", "--protected-mode", "yes", "--loglevel", "warning",
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        if (pid_ < 0) {
            return;
        }
        for (int attempt = 0; attempt < 200 && !ready_; ++attempt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1; // not installed, or it could not start
                return;
            }
            nettest::Client probe(port_);
            std::string reply;
            if (probe.connected()) {
                probe.send("PING\r\n");
                ready_ = probe.readLine(reply) && reply == "+PONG\r";
            }
        }
    }
    ~RedisServer() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    RedisServer(const RedisServer&) = delete;
    RedisServer& operator=(const RedisServer&) = delete;

    bool ready() const { return ready_; }
    int port() const { return port_; }

private:
    int port_;
    pid_t pid_ = -1;
    bool ready_ = false;
};

// Commands answered per second, one at a time over one connection.
double pingPong(const Peer& peer, double seconds) {
    std::unique_ptr<nettest::Client> command = peer.command();
    if (!command) {
        return 0.0;
    }
    long answered = 0;
    const auto start = Clock::now();
    std::string reply;
    while (secondsSince(start) < seconds) {
        command->send(peer.ping);
        if (!command->readLine(reply)) {
            return 0.0;
        }
        ++answered;
    }
    return static_cast<double>(answered) / secondsSince(start);
}

struct FanOut {
    double slowestRate = 0.0; // events a second reaching the slowest reading listener
    long lost = 0;            // events missing at a reading listener, over all of them
    long reordered = 0;       // events arriving out of sending order
};

std::string eventText(long number) {
    return "t " + std::to_string(number);
}

// One connection sends events as fast as the peer answers (up to 256 waiting replies); every
// reading listener must hear every event once, in order.
FanOut fanOut(const Peer& peer, int readers, bool withSilentListener, long events) {
    FanOut result;
    std::vector<std::unique_ptr<nettest::Client>> listeners;
    for (int i = 0; i < readers; ++i) {
        listeners.push_back(peer.listener());
        if (!listeners.back()) {
            return result;
        }
    }
    std::unique_ptr<nettest::Client> silent;
    if (withSilentListener) {
        silent = peer.listener();
        // Shrink its receive buffer so that the player meets a full one soon.
        const int small = 4096;
        ::setsockopt(silent->handle(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    }
    std::unique_ptr<nettest::Client> command = peer.command();
    if (!command) {
        return result;
    }
    // Every listener is registered once it has heard this.
    command->send(peer.publish("ready"));
    command->line();
    for (auto& listener : listeners) {
        std::string text;
        while (peer.hear(*listener, text) && text != "ready") {
        }
    }

    std::vector<double> rates(static_cast<std::size_t>(readers), 0.0);
    std::vector<long> lost(static_cast<std::size_t>(readers), 0),
        reordered(static_cast<std::size_t>(readers), 0);
    std::atomic<long> replies{0};
    const auto start = Clock::now();
    std::vector<std::thread> hearing;
    for (int i = 0; i < readers; ++i) {
        hearing.emplace_back([&, i] {
            nettest::Client& listener = *listeners[static_cast<std::size_t>(i)];
            long expected = 0;
            std::string text;
            while (expected < events && peer.hear(listener, text)) {
                if (text == eventText(expected)) {
                    ++expected;
                    continue;
                }
                // Which one came instead: a later one means some were lost, an earlier one that
                // the order broke.
                const long got =
                    text.compare(0, 2, "t ") == 0 ? std::strtol(text.c_str() + 2, nullptr, 10) : -1;
                if (got > expected) {
                    lost[static_cast<std::size_t>(i)] += got - expected;
                    expected = got + 1;
                } else {
                    ++reordered[static_cast<std::size_t>(i)];
                }
            }
            lost[static_cast<std::size_t>(i)] += events - expected;
            rates[static_cast<std::size_t>(i)] = static_cast<double>(expected) / secondsSince(start);
        });
    }
    std::thread answers([&] {
        std::string reply;
        while (replies < events && command->readLine(reply)) {
            ++replies;
        }
    });
    for (long sent = 0; sent < events; ++sent) {
        while (sent - replies > 256) {
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        command->send(peer.publish(eventText(sent)));
    }
    answers.join();
    for (std::thread& thread : hearing) {
        thread.join();
    }
    result.slowestRate = *std::min_element(rates.begin(), rates.end());
    for (int i = 0; i < readers; ++i) {
        result.lost += lost[static_cast<std::size_t>(i)];
        result.reordered += reordered[static_cast<std::size_t>(i)];
    }
    return result;
}

struct Latency {
    double median = 0.0; // milliseconds
    double p99 = 0.0;
};

// Round trips of one command, spread over the camera's frame period by short random pauses.
Latency latency(nettest::Client& command, const std::function<std::string(int)>& sentence, int samples) {
    std::vector<double> times;
    std::string reply;
    unsigned seed = 12345;
    for (int i = 0; i < samples; ++i) {
        const std::string line = sentence(i) + "\r\n";
        const auto start = Clock::now();
        command.send(line);
        if (!command.readLine(reply)) {
            break;
        }
        times.push_back(secondsSince(start) * 1000.0);
        seed = seed * 1103515245u + 12345u;
        std::this_thread::sleep_for(std::chrono::microseconds((seed >> 8) % 7000));
    }
    return {median(times), percentile(times, 0.99)};
}

// The median of the ratios of runs made side by side: each pair saw the same load.
double ratioOfRuns(const std::vector<double>& ours, const std::vector<double>& theirs) {
    std::vector<double> ratios;
    for (std::size_t i = 0; i < ours.size() && i < theirs.size(); ++i) {
        if (theirs[i] > 0.0) {
            ratios.push_back(ours[i] / theirs[i]);
        }
    }
    return median(ratios);
}

void printRow(const char* what, double value, const char* unit, const char* target) {
    std::printf("%-58s %12.2f %-6s %s\n", what, value, unit, target);
}

} // namespace

int main(int argc, char** argv) {
    if (std::getenv("DISPLAY") == nullptr || *std::getenv("DISPLAY") == '\0') {
        std::vector<char*> command = {const_cast<char*>("xvfb-run"), const_cast<char*>("-a"),
                                      const_cast<char*>("-s"), const_cast<char*>("-screen 0 1280x1024x24")};
        for (int i = 0; i < argc; ++i) {
            command.push_back(argv[i]);
        }
        command.push_back(nullptr);
        ::execvp("xvfb-run", command.data());
        std::perror("xvfb-run");
        return 1;
    }
    if (std::getenv("VELQUIN_PLAYER_DIR") == nullptr) {
        ::setenv("VELQUIN_PLAYER_DIR", VELQUIN_BUILT_PLAYER_DIR, 1);
    }
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;

    ScratchDirectory scratch;
    PlayerSession player(scratch);
    if (!player.ready()) {
        std::fprintf(stderr, "bench_player: the player did not start\n");
        return 1;
    }

    const Peer ours = playerPeer(player);
    RedisServer redis;
    const Peer theirs = redisPeer(redis.port());
    if (!redis.ready()) {
        std::printf("(no redis-server: the comparison with Redis is left out)\n");
    }

    std::printf("%-58s %12s %-6s %s\n", "measure (median of runs)", "value", "", "target");
    // Run by run, the player and Redis take turns, so that both see the same load of the machine.
    std::vector<double> rates, redisRates;
    for (int run = 0; run < repetitions; ++run) {
        rates.push_back(pingPong(ours, 2.0));
        if (redis.ready()) {
            redisRates.push_back(pingPong(theirs, 2.0));
        }
    }
    printRow("ping-pong \"project.title.get\"", median(rates), "/s", ">= 30000 /s");
    if (redis.ready()) {
        printRow("ping-pong PING, Redis", median(redisRates), "/s", "");
        printRow("  ratio player / Redis (median of runs)", ratioOfRuns(rates, redisRates), "x", ">= 1");
    }

    const long events = 20000;
    for (int silent = 0; silent < 2; ++silent) {
        const int readers = silent != 0 ? 15 : 16;
        std::vector<double> fanRates, redisFanRates;
        long lost = 0;
        long reordered = 0;
        for (int run = 0; run < repetitions; ++run) {
            const FanOut result = fanOut(ours, readers, silent != 0, events);
            fanRates.push_back(result.slowestRate);
            lost += result.lost;
            reordered += result.reordered;
            if (redis.ready() && silent == 0) {
                redisFanRates.push_back(fanOut(theirs, readers, false, events).slowestRate);
            }
        }
        const std::string what = silent != 0 ? "events to each of 15 listeners, a 16th never reads"
                                             : "events to each of 16 listeners";
        printRow(what.c_str(), median(fanRates), "/s", ">= 10000 /s");
        std::printf("%-58s %12ld %-6s %s\n", "  events lost / reordered (all runs)", lost + reordered, "",
                    "0");
        if (lost + reordered != 0) {
            std::printf("  (lost %ld, reordered %ld)\n", lost, reordered);
        }
        if (!redisFanRates.empty()) {
            printRow("messages to each of 16 SUBSCRIBE connections, Redis", median(redisFanRates), "/s", "");
            printRow("  ratio player / Redis (median of runs)", ratioOfRuns(fanRates, redisFanRates), "x",
                     ">= 1");
        }
    }

    std::unique_ptr<nettest::Client> command = player.open("command");
    command->send("project.actors.light.create(\"lamp\");\r\n");
    command->line();
    for (const char* rate : {"5", "30"}) {
        command->send(std::string("project.videocapture.init(\"File\", \"frames@") + rate + "\");\r\n");
        command->line();
        nettest::eventually([&] {
            command->send("project.videocapture.isCapturing();\r\n");
            return command->line() == "true\r";
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        std::vector<double> titleMedians, titleTails, moveMedians, moveTails;
        for (int run = 0; run < repetitions; ++run) {
            const Latency title = latency(
                *command, [](int) { return std::string("project.title.get();"); }, 300);
            const Latency move = latency(
                *command,
                [](int i) {
                    return "project.actors.light.translate(\"lamp\", " + std::to_string(i % 50) +
                           ", 2.5, -1);";
                },
                300);
            titleMedians.push_back(title.median);
            titleTails.push_back(title.p99);
            moveMedians.push_back(move.median);
            moveTails.push_back(move.p99);
        }
        const std::string camera = std::string(" (File camera @") + rate + ")";
        printRow(("\"project.title.get\" latency, median" + camera).c_str(), median(titleMedians), "ms", "");
        printRow(("\"project.title.get\" latency, 99th percentile" + camera).c_str(), median(titleTails),
                 "ms", "<= 2 ms");
        printRow(("light translate latency, median" + camera).c_str(), median(moveMedians), "ms", "");
        printRow(("light translate latency, 99th percentile" + camera).c_str(), median(moveTails), "ms",
                 "<= 2 ms");
    }
    command->send("project.videocapture.done();\r\n");
    command->line();
    return player.close() == 0 ? 0 : 1;
}
