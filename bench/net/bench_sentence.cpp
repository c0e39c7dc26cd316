// Lines per second of the remote control's text path: sentence parsing with signature matching,
// line framing in the receive buffer, and whole lines over a loopback connection into a
// server's connection thread. Prints the median of several runs.
// Usage: bench_sentence [repetitions]
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "net/NetTestSupport.h" // tests/net: client and counting handler factory
#include "net/ReceiveBuffer.h"
#include "net/Sentence.h"
#include "net/Server.h"
#include "net/SocketChannel.h"

namespace {

using Clock = std::chrono::steady_clock;

// What an authoring tool sends most: creation, placement and queries.
const std::vector<std::string> sentences = {
    "project.actors.mesh.create(\"ship\", \"fleet\", \"ship.mesh\");",
    "project.actors.mesh.translate(\"ship\", 0.25, -1.5, 40);",
    "project.actors.mesh.rotate(\"ship\", 1, 0, 0, 0);",
    "project.debug.isVisible();",
    "project.title.set(\"A title, with (punctuation); and \\\"quotes\\\"\");",
    "project.trackers.AR.create(\"hiro\", \"patt.hiro\", 80);",
};
const char* const signatures[] = {"", "s", "l", "sl", "ss", "sf", "sss", "ssl", "ssss", "sfff", "sffff"};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

template <typename Work> double linesPerSecond(long lines, Work work) {
    const auto start = Clock::now();
    work();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return static_cast<double>(lines) / seconds;
}

double parsing(long lines) {
    VelNet::Sentence sentence;
    long matched = 0;
    const double rate = linesPerSecond(lines, [&] {
        for (long i = 0; i < lines; ++i) {
            if (sentence.parse(sentences[static_cast<std::size_t>(i) % sentences.size()])) {
                // A table walk tries the name first; count every signature as a worst case.
                for (const char* signature : signatures) {
                    matched += sentence.matches(sentence.name(), signature) ? 1 : 0;
                }
            }
        }
    });
    if (matched == 0) {
        std::fprintf(stderr, "nothing matched\n");
    }
    return rate;
}

double framing(long lines) {
    std::string stream;
    for (const std::string& sentence : sentences) {
        stream += sentence + "\r\n";
    }
    VelNet::ReceiveBuffer buffer;
    std::string line;
    long taken = 0;
    const long rounds = lines / static_cast<long>(sentences.size());
    const double rate = linesPerSecond(rounds * static_cast<long>(sentences.size()), [&] {
        for (long round = 0; round < rounds; ++round) {
            // Receives of 1024 bytes cut lines anywhere; feed in pieces of a similar odd size.
            for (std::size_t at = 0; at < stream.size(); at += 97) {
                buffer.append(stream.data() + at, std::min<std::size_t>(97, stream.size() - at));
                while (buffer.takeLine(line) == VelNet::ReceiveBuffer::LineResult::Line) {
                    ++taken;
                }
            }
        }
    });
    if (taken != rounds * static_cast<long>(sentences.size())) {
        std::fprintf(stderr, "framing lost lines\n");
    }
    return rate;
}

double loopback(long lines) {
    std::mutex guard;
    std::condition_variable done;
    long received = 0;
    nettest::CountingFactory factory([&](VelOS::Socket& socket) {
        SocketChannel channel(socket);
        std::string line;
        long count = 0;
        VelNet::Sentence sentence;
        while (channel.readLine(line)) {
            count += sentence.parse(line) ? 1 : 0;
        }
        std::lock_guard<std::mutex> hold(guard);
        received = count;
        done.notify_all();
    });
    std::string block;
    for (long i = 0; i < lines; ++i) {
        block += sentences[static_cast<std::size_t>(i) % sentences.size()] + "\r\n";
    }
    double rate = 0;
    {
        VelNet::Server server;
        if (!server.start(0, factory)) {
            return 0;
        }
        rate = linesPerSecond(lines, [&] {
            nettest::Client client(server.port());
            client.send(block);
            client.close();
            std::unique_lock<std::mutex> hold(guard);
            done.wait(hold, [&] { return received > 0; });
        });
    }
    factory.waitUntilAllReleased();
    if (received != lines) {
        std::fprintf(stderr, "loopback lost lines: %ld of %ld\n", received, lines);
    }
    return rate;
}

} // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::vector<double> parse, frame, wire;
    for (int i = 0; i < repetitions; ++i) {
        parse.push_back(parsing(600000));
        frame.push_back(framing(1200000));
        wire.push_back(loopback(300000));
    }
    std::printf("sentence parse + 11 signature matches: %.2f M lines/s\n", median(parse) / 1e6);
    std::printf("line framing (receive buffer):         %.2f M lines/s\n", median(frame) / 1e6);
    std::printf("lines over loopback into a connection: %.2f M lines/s\n", median(wire) / 1e6);
    return 0;
}
