// The remote control end to end, against the real player on a virtual display: ping-pong
// commands over one connection, events fanned out to 16 listeners (and to 15 while a 16th never
// reads), and command latency while a recorded "File" camera runs at 5 and at 30 frames a
// second. Prints medians of several runs beside the targets.
// Usage: bench_player [repetitions]   (starts itself under xvfb-run when there is no display)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
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

// Commands answered per second, one at a time over one connection.
double pingPong(PlayerSession& player, double seconds) {
    std::unique_ptr<nettest::Client> command = player.open("command");
    if (!command) {
        return 0.0;
    }
    long answered = 0;
    const auto start = Clock::now();
    std::string reply;
    while (secondsSince(start) < seconds) {
        command->send("project.title.get();\r\n");
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

std::string titleEvent(long number) {
    return "project.title.changed(\"t " + std::to_string(number) + "\");";
}

// One connection sends "project.title.set" as fast as the player answers (up to 256 waiting
// replies); every reading listener must hear every event once, in order.
FanOut fanOut(PlayerSession& player, int readers, bool withSilentListener, long events) {
    FanOut result;
    std::vector<std::unique_ptr<nettest::Client>> listeners;
    for (int i = 0; i < readers; ++i) {
        listeners.push_back(player.open("listener"));
        if (!listeners.back()) {
            return result;
        }
    }
    std::unique_ptr<nettest::Client> silent;
    if (withSilentListener) {
        silent = player.open("listener");
        // Shrink its receive buffer so that the player meets a full one soon.
        const int small = 4096;
        ::setsockopt(silent->handle(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    }
    std::unique_ptr<nettest::Client> command = player.open("command");
    if (!command) {
        return result;
    }
    // Every listener is registered once it has heard this.
    command->send("project.title.set(\"ready\");\r\n");
    command->line();
    for (auto& listener : listeners) {
        std::string line;
        while (listener->readLine(line) && line != "project.title.changed(\"ready\");") {
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
            std::string line;
            while (expected < events && listener.readLine(line)) {
                if (line == titleEvent(expected)) {
                    ++expected;
                    continue;
                }
                // Which one came instead: a later one means some were lost, an earlier one that
                // the order broke.
                const std::string prefix = "project.title.changed(\"t ";
                const long got = line.compare(0, prefix.size(), prefix) == 0
                                     ? std::strtol(line.c_str() + prefix.size(), nullptr, 10)
                                     : -1;
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
        command->send("project.title.set(\"t " + std::to_string(sent) + "\");\r\n");
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

    std::printf("%-58s %12s %-6s %s\n", "measure (median of runs)", "value", "", "target");
    std::vector<double> rates;
    for (int run = 0; run < repetitions; ++run) {
        rates.push_back(pingPong(player, 2.0));
    }
    printRow("ping-pong \"project.title.get\"", median(rates), "/s", ">= 30000 /s");

    const long events = 20000;
    for (int silent = 0; silent < 2; ++silent) {
        const int readers = silent != 0 ? 15 : 16;
        std::vector<double> fanRates;
        long lost = 0;
        long reordered = 0;
        for (int run = 0; run < repetitions; ++run) {
            const FanOut result = fanOut(player, readers, silent != 0, events);
            fanRates.push_back(result.slowestRate);
            lost += result.lost;
            reordered += result.reordered;
        }
        const std::string what = silent != 0 ? "events to each of 15 listeners, a 16th never reads"
                                             : "events to each of 16 listeners";
        printRow(what.c_str(), median(fanRates), "/s", ">= 10000 /s");
        std::printf("%-58s %12ld %-6s %s\n", "  events lost / reordered (all runs)", lost + reordered, "",
                    "0");
        if (lost + reordered != 0) {
            std::printf("  (lost %ld, reordered %ld)\n", lost, reordered);
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
