// velquin-soak: the player under load, faults and hostile clients, for a set time.
//
// Starts the player (recorded camera at 30 frames per second) and runs against it, all at once:
// command connections sending random valid command sequences, listeners that check every event
// line, uploads and downloads, clients that drop their connection mid-line, mid-upload and
// mid-download, a listener that never reads, and now and then a new server on a new port or a
// capture restart. An attacker adds what hostile clients do: floods of connections past the
// player's cap, handshakes that stall, numbers the engine cannot take, a package bomb, a project
// archive bomb, a scene file nested 50,000 levels deep, pictures too large to decode, an upload
// over the project's package dropped half-way and floods of malformed lines; file actors open a
// stand-in viewer. It passes when, at the end, the player
// still draws camera frames, answers a command within a second, has not grown beyond a memory bound, and its
// work directory holds only files the clients sent or the player made.
//   velquin-soak PLAYER_DIR SECONDS [--memory-mb N]
// Needs a display (run it under xvfb-run).
#include "support/PlayerProcess.h"
#include "support/XTestDisplay.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <set>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<int> currentPort{0};
std::atomic<bool> running{true};
std::atomic<long> repliesSeen{0}, eventsSeen{0}, malformedEvents{0}, reconnects{0}, transfers{0};
std::atomic<long> attacks{0}, attacksAccepted{0};
// Floods of idle clients, and how many of them kept a local authoring tool out although it asked
// three times. Reported, not failed: the soak's own clients are trusted too and open hundreds of
// connections a second, each of which may take the place of another trusted one.
std::atomic<long> idleFloods{0}, idleFloodsKeptOut{0};

// A blocking client socket with a receive timeout.
class Connection {
public:
    explicit Connection(int port, int timeoutMs = 3000) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        timeval timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<uint16_t>(port));
        ok_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~Connection() { ::close(fd_); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    bool ok() const { return ok_; }
    bool send(const std::string& bytes) {
        size_t sent = 0;
        while (ok_ && sent < bytes.size()) {
            const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) {
                ok_ = false;
            } else {
                sent += static_cast<size_t>(n);
            }
        }
        return ok_;
    }
    bool line(std::string& text) {
        for (;;) {
            const size_t end = pending_.find('\n');
            if (end != std::string::npos) {
                text = pending_.substr(0, end);
                pending_.erase(0, end + 1);
                return true;
            }
            char chunk[4096];
            const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
            if (n <= 0) {
                ok_ = false;
                return false;
            }
            pending_.append(chunk, static_cast<size_t>(n));
        }
    }
    // Everything until the player closes.
    std::string rest() {
        std::string bytes = pending_;
        char chunk[4096];
        ssize_t n = 0;
        while ((n = ::recv(fd_, chunk, sizeof chunk, 0)) > 0) {
            bytes.append(chunk, static_cast<size_t>(n));
        }
        return bytes;
    }
    void shutdownNow() { ::shutdown(fd_, SHUT_RDWR); }

private:
    int fd_ = -1;
    bool ok_ = false;
    std::string pending_;
};

const char* const Names[] = {"alpha", "beta", "gamma", "delta"};

// One random valid sentence of the protocol.
std::string randomCommand(std::mt19937& random) {
    const std::string name = Names[random() % 4];
    const std::string kinds[] = {"mesh", "light", "file", "scene"};
    const std::string kind = kinds[random() % 4];
    switch (random() % 22) {
    case 0:
        return "project.title.set(\"soak " + std::to_string(random() % 100) + "\");";
    case 1:
        return "project.title.get();";
    case 2:
        return "project.actors.mesh.create(\"" + name + "\", \"robot\", \"robot.mesh\");";
    case 3:
        return "project.actors.light.create(\"" + name + "\");";
    case 4:
        return "project.actors.file.create(\"" + name + "\", \"robot\", \"robot_poster.png\", \"image\");";
    case 5:
        return "project.actors.scene.create(\"" + name + "\", \"robot\", \"robot_stage.osm\");";
    case 6:
        return "project.actors." + kind + ".connect(\"" + name + "\", \"vee\");";
    case 7:
        return "project.actors." + kind + ".translate(\"" + name + "\", 1, 2.5, -3);";
    case 8:
        return "project.actors.mesh.yaw(\"" + name + "\", 15);";
    case 9:
        return "project.actors.select(\"" + name + "\");";
    case 10:
        return "project.actors.action(\"" + name + "\", \"play\", \"Wave\");";
    case 11:
        return "project.actors." + kind + ".destroy(\"" + name + "\");";
    case 12:
        return "project.actors." + kind + ".getList();";
    case 13:
        return "project.resources.getList();";
    case 14:
        return "project.resources.create(\"robot\", \"robot.zip\");";
    case 15:
        return "project.trackers.AR.create(\"vee\", \"letter-v.pat\", 80);";
    case 16:
        return "project.trackers.AR.getList();";
    case 17:
        return "project.debug.isVisible();";
    case 18:
        return "project.videocapture.flipX.set();";
    case 19:
        return "project.videocapture.flipX.unset();";
    case 20:
        return "project.save(\"soak\");";
    default:
        return "project.actors.mesh.getTranslation(\"" + name + "\");";
    }
}

void commander(unsigned seed) {
    std::mt19937 random(seed);
    while (running) {
        Connection connection(currentPort);
        if (!connection.ok() || !connection.send("command();\r\n")) {
            ++reconnects;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            continue;
        }
        std::string reply;
        connection.line(reply);
        for (int i = 0; i < 40 && running && connection.ok(); ++i) {
            if (!connection.send(randomCommand(random) + "\r\n") || !connection.line(reply)) {
                break;
            }
            ++repliesSeen;
        }
        if (random() % 4 == 0) {
            connection.send("project.title.set(\"cut in the midd"); // the line never ends
        } else {
            connection.send("quit();\r\n");
        }
    }
}

bool wellFormed(const std::string& event) {
    const size_t open = event.find('(');
    return open != std::string::npos && open > 0 && event.size() >= 3 &&
           event.compare(event.size() - 2, 2, ");") == 0 && event.compare(0, 8, "project.") == 0;
}

// What one listener connection heard, for comparing listeners of the same server.
struct Hearing {
    int port;
    std::vector<std::string> events;
    Clock::time_point joined; // when the player said "ok" to the listener
    Clock::time_point last;   // when the last event came
};
std::mutex hearingsGuard; // guards hearings
std::vector<Hearing> hearings;

void listener() {
    while (running) {
        Hearing hearing{currentPort, {}, {}, {}};
        Connection connection(hearing.port, 1000);
        if (!connection.ok() || !connection.send("listener();\r\n")) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            continue;
        }
        std::string line;
        if (!connection.line(line) || line != "ok") {
            continue;
        }
        hearing.joined = Clock::now();
        while (running) {
            if (!connection.line(line)) {
                if (!connection.ok()) {
                    break; // the server went away, or a receive timed out quietly
                }
                continue;
            }
            ++eventsSeen;
            hearing.events.push_back(line);
            hearing.last = Clock::now();
            if (!wellFormed(line)) {
                ++malformedEvents;
                std::fprintf(stderr, "malformed event: %s\n", line.c_str());
            }
        }
        if (hearing.events.size() > 1) {
            std::lock_guard<std::mutex> hold(hearingsGuard);
            hearings.push_back(std::move(hearing));
        }
    }
}

// Whether b continues a at some place: from there on, as far as both go, they hear the same.
bool continues(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    for (size_t start = 0; start < a.size(); ++start) {
        size_t k = 0;
        while (start + k < a.size() && k < b.size() && a[start + k] == b[k]) {
            ++k;
        }
        if (start + k == a.size() || k == b.size()) {
            return true;
        }
    }
    return false;
}

// Whether two listeners were on at the same time for long enough to hear events in common: one
// that left (a flood may take a quiet listener's place) before the other joined heard other
// events, not different ones. A second is well above the time an event takes to reach both.
bool listenedTogether(const Hearing& a, const Hearing& b) {
    const Clock::time_point from = std::max(a.joined, b.joined);
    const Clock::time_point to = std::min(a.last, b.last);
    return to - from > std::chrono::seconds(1);
}

// Every event reaches every listener of a server exactly once, in the same order: two listeners
// of one server hear the same sequence over the time both listened. Returns the pairs that
// disagree.
int disagreeingListeners() {
    std::lock_guard<std::mutex> hold(hearingsGuard);
    int disagreements = 0;
    for (size_t i = 0; i < hearings.size(); ++i) {
        for (size_t j = i + 1; j < hearings.size(); ++j) {
            const Hearing& a = hearings[i];
            const Hearing& b = hearings[j];
            if (a.port == b.port && listenedTogether(a, b) && !continues(a.events, b.events) &&
                !continues(b.events, a.events)) {
                if (disagreements++ == 0) {
                    // The first pair, for whoever looks into it: what each heard, side by side.
                    std::fprintf(stderr, "listeners disagree on port %d (%zu and %zu events):\n", a.port,
                                 a.events.size(), b.events.size());
                    for (size_t k = 0; k < std::max(a.events.size(), b.events.size()) && k < 40; ++k) {
                        std::fprintf(stderr, "  %-60s | %s\n", k < a.events.size() ? a.events[k].c_str() : "",
                                     k < b.events.size() ? b.events[k].c_str() : "");
                    }
                }
            }
        }
    }
    return disagreements;
}

void silentListener() {
    while (running) {
        Connection connection(currentPort);
        if (connection.ok() && connection.send("listener();\r\n")) {
            while (running && connection.ok()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(200)); // never reads
                if (!connection.send("")) {
                    break;
                }
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

void transferrer(const std::string& playerDir, unsigned seed) {
    std::mt19937 random(seed);
    std::ifstream in(playerDir + "/samples/robot.zip", std::ios::binary);
    const std::string package((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ifstream patternIn(playerDir + "/markers/letter-v.pat", std::ios::binary);
    const std::string pattern((std::istreambuf_iterator<char>(patternIn)), std::istreambuf_iterator<char>());
    while (running) {
        const int what = static_cast<int>(random() % 5);
        Connection connection(currentPort);
        if (!connection.ok()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            continue;
        }
        if (what == 0) {
            connection.send("uploadFile(\"robot.zip\", " + std::to_string(package.size()) + ");\r\n" +
                            package);
            connection.rest();
        } else if (what == 1) {
            connection.send("uploadFile(\"letter-v.pat\", " + std::to_string(pattern.size()) + ");\r\n" +
                            pattern);
            connection.rest();
        } else if (what == 2) {
            // Dropped mid-upload: the player keeps nothing of it.
            connection.send("uploadFile(\"partial.bin\", 100000);\r\n" + std::string(3000, 'p'));
        } else if (what == 3) {
            connection.send("downloadFile(\"robot.zip\");\r\n");
            connection.rest();
        } else {
            connection.send("downloadFile(\"robot.zip\");\r\n");
            std::string first;
            connection.line(first); // then drop it mid-download
        }
        ++transfers;
    }
}

// Sends one sentence on a fresh command connection; its reply, or "" when none came.
std::string askOnce(const std::string& sentence) {
    Connection connection(currentPort);
    std::string reply;
    if (connection.send("command();\r\n") && connection.line(reply) && connection.send(sentence + "\r\n") &&
        connection.line(reply)) {
        if (!reply.empty() && reply.back() == '\r') {
            reply.pop_back();
        }
        return reply;
    }
    return std::string();
}

// Hostile clients: each round one attack. An attack the player accepts ("ok" to a number it
// cannot take, a bomb that loads) is counted and fails the soak.
void attacker(const std::string& scratch, unsigned seed) {
    std::mt19937 random(seed);
    const auto upload = [](const std::string& name, const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        Connection connection(currentPort);
        connection.send("uploadFile(\"" + name + "\", " + std::to_string(bytes.size()) + ");\r\n" + bytes);
        connection.rest();
    };
    const char* const unusable[] = {"1e39", "-1e39", "1e308"};
    while (running) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300 + random() % 700));
        ++attacks;
        const std::string name = Names[random() % 4];
        switch (random() % 11) {
        case 0: {
            // A flood past the connection cap (256), held a moment; every one stays unanswered.
            std::vector<std::unique_ptr<Connection>> flood;
            for (int i = 0; i < 300 && running; ++i) {
                flood.push_back(std::make_unique<Connection>(currentPort, 200));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            break;
        }
        case 1: {
            // Handshakes that stall: half a line, then nothing; the player ends them.
            std::vector<std::unique_ptr<Connection>> stalled;
            for (int i = 0; i < 10; ++i) {
                stalled.push_back(std::make_unique<Connection>(currentPort, 200));
                stalled.back()->send("comm");
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            break;
        }
        case 2: {
            const std::string value = unusable[random() % 3];
            const std::string kind = random() % 2 == 0 ? "mesh" : "scene";
            for (const std::string& sentence :
                 {"project.actors." + kind + ".translate(\"" + name + "\", " + value + ", 0, 0);",
                  "project.actors." + kind + ".scale(\"" + name + "\", 1, " + value + ", 1);",
                  "project.actors." + kind + ".rotate(\"" + name + "\", 0, 0, 0, 0);",
                  "project.actors." + kind + ".pitch(\"" + name + "\", " + value + ");"}) {
                if (askOnce(sentence) == "ok") {
                    ++attacksAccepted;
                    std::fprintf(stderr, "accepted: %s\n", sentence.c_str());
                }
            }
            break;
        }
        case 3:
            upload("bomb.zip", scratch + "bomb.zip");
            if (askOnce("project.resources.create(\"bomb\", \"bomb.zip\");") == "ok") {
                ++attacksAccepted;
                std::fprintf(stderr, "accepted: the package bomb\n");
            }
            break;
        case 5: {
            // Pictures too large to decode (a 1 x 65536 PNG hung the player, a 12000 x 12000 one took
            // 3 GB): the camera does not start; the recording plays again afterwards.
            const char* const pictures[] = {"thin.png", "huge.png"};
            const std::string picture = pictures[random() % 2];
            upload(picture, scratch + picture);
            askOnce("project.videocapture.init(\"File\", \"" + picture + "\");");
            if (askOnce("project.videocapture.isCapturing();") == "true") {
                ++attacksAccepted;
                std::fprintf(stderr, "accepted: the picture %s\n", picture.c_str());
            }
            askOnce("project.videocapture.init(\"File\", \"frames@30\");");
            break;
        }
        case 6:
            // A project archive that expands past the package bounds.
            upload("pbomb.zip", scratch + "pbomb.zip");
            if (askOnce("project.load(\"pbomb.zip\");") == "ok") {
                ++attacksAccepted;
                std::fprintf(stderr, "accepted: the project archive bomb\n");
            }
            break;
        case 7: {
            // An upload over a file the project uses, dropped half-way: the file stays whole.
            std::ifstream in(scratch + "robot.zip", std::ios::binary);
            const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            Connection connection(currentPort);
            connection.send("uploadFile(\"robot.zip\", " + std::to_string(bytes.size()) + ");\r\n" +
                            bytes.substr(0, bytes.size() / 2));
            break;
        }
        case 8: {
            // A flood of malformed lines, alike: each gets its failure reply; the log counts them.
            Connection connection(currentPort);
            std::string reply;
            if (connection.send("command();\r\n") && connection.line(reply)) {
                std::string burst;
                for (int i = 0; i < 2000; ++i) {
                    burst += "no sentence at all " + std::to_string(i) + "\r\n";
                }
                connection.send(burst);
                for (int i = 0; i < 2000 && connection.line(reply); ++i) {
                }
            }
            break;
        }
        case 9: {
            // Clients that finish their handshake and idle, more than there are places: a local
            // authoring tool still gets in and is answered.
            std::vector<std::unique_ptr<Connection>> idle;
            for (int i = 0; i < 280 && running; ++i) {
                idle.push_back(std::make_unique<Connection>(currentPort, 200));
                idle.back()->send("command();\r\n");
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            // The server may move to another port meanwhile (the churn restarts it): an
            // answer missed while it moved is no lock-out.
            const int port = currentPort;
            bool answered = false;
            for (int attempt = 0; attempt < 3 && !answered && running; ++attempt) {
                answered = !askOnce("project.title.get();").empty();
            }
            if (running && currentPort == port) {
                ++idleFloods;
                if (!answered) {
                    ++idleFloodsKeptOut;
                    std::fprintf(stderr, "idle clients kept a local authoring tool out\n");
                }
            }
            break;
        }
        case 10: {
            // A camera size that wraps round to 640x480 in 32 bits: refused; the recording plays
            // again afterwards.
            askOnce("project.videocapture.init(\"V4L2\", \"4294967936x480\");");
            if (askOnce("project.videocapture.isCapturing();") == "true") {
                ++attacksAccepted;
                std::fprintf(stderr, "accepted: the camera size 4294967936x480\n");
            }
            askOnce("project.videocapture.init(\"File\", \"frames@30\");");
            break;
        }
        default:
            upload("deep.zip", scratch + "deep.zip");
            askOnce("project.resources.create(\"deep\", \"deep.zip\");");
            if (askOnce("project.actors.scene.create(\"deep\", \"deep\", \"deep_deep.osm\");") == "ok") {
                ++attacksAccepted;
                std::fprintf(stderr, "accepted: a scene nested 50,000 levels deep\n");
            }
            break;
        }
    }
}

long residentKilobytes(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 6, "VmRSS:") == 0) {
            return std::atol(line.c_str() + 6);
        }
    }
    return -1;
}

// Sends one command and waits for its reply, with a deadline.
bool answersWithin(int port, const std::string& sentence, int milliseconds, std::string* reply = nullptr) {
    Connection connection(port, milliseconds);
    std::string line;
    if (!connection.ok() || !connection.send("command();\r\n") || !connection.line(line)) {
        return false;
    }
    const auto start = Clock::now();
    if (!connection.send(sentence + "\r\n") || !connection.line(line)) {
        return false;
    }
    if (reply != nullptr) {
        *reply = line;
    }
    connection.send("quit();\r\n");
    return Clock::now() - start < std::chrono::milliseconds(milliseconds);
}

// A free port below the range the system hands out to connecting sockets: the soak's own
// thousands of connections take ports of that range, and a port chosen there may be taken by one
// of them before the player listens on it (the player then has no server and nobody can reach it).
int freePort() {
    int lowest = 32768;
    std::ifstream range("/proc/sys/net/ipv4/ip_local_port_range");
    range >> lowest;
    static std::mt19937 random(static_cast<unsigned>(::getpid()));
    const int floor = std::min(10000, lowest / 2);
    for (;;) {
        const int port = floor + static_cast<int>(random() % static_cast<unsigned>(lowest - floor));
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        const bool free = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        if (free) {
            return port;
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: velquin-soak PLAYER_DIR SECONDS [--memory-mb N]\n");
        return 2;
    }
    char* absolute = realpath(argv[1], nullptr);
    if (absolute == nullptr) {
        std::fprintf(stderr, "no player folder at %s\n", argv[1]);
        return 2;
    }
    const std::string playerDir = absolute;
    std::free(absolute);
    const int seconds = std::max(5, std::atoi(argv[2]));
    long memoryBoundMb = 400;
    if (argc == 5 && std::string(argv[3]) == "--memory-mb") {
        memoryBoundMb = std::atol(argv[4]);
    }
    char scratchPattern[] = "/tmp/velquin-soak-XXXXXX";
    const std::string scratch = std::string(mkdtemp(scratchPattern)) + "/";
    currentPort = freePort();
    {
        std::ofstream commands(scratch + "start.cmd");
        commands << "project.net.init(" << currentPort << ");\n"
                 << "project.videocapture.init(\"File\", \"frames@30\");\n";
    }
    // The attacker's archives, and a stand-in for xdg-open that stays a second as a viewer would,
    // so that no real viewer fills the display whatever this machine has installed.
    const std::string make =
        "python3 -c \"import zipfile\n"
        "z = zipfile.ZipFile('" +
        scratch +
        "bomb.zip', 'w', zipfile.ZIP_DEFLATED)\n"
        "z.writestr('zeros.bin', bytes(256 << 20))\n"
        "z.close()\n"
        "z = zipfile.ZipFile('" +
        scratch +
        "deep.zip', 'w', zipfile.ZIP_DEFLATED)\n"
        "z.writestr('deep.osm', '<scene>' + '<node>' * 50000 + '</node>' * 50000 + '</scene>')\n"
        "z.close()\n"
        "z = zipfile.ZipFile('" +
        scratch +
        "pbomb.zip', 'w', zipfile.ZIP_DEFLATED)\n"
        "z.writestr('pbomb.xml', '<Velquin><Global title=\\\"bomb\\\"/></Velquin>')\n"
        "z.writestr('zeros.bin', bytes(200 << 20))\n"
        "z.close()\n"
        "import struct, zlib\n"
        "def png(path, width, height):\n"
        "    chunk = lambda kind, data: struct.pack('>I', len(data)) + kind + data + struct.pack('>I', "
        "zlib.crc32(kind + data))\n"
        "    rows = zlib.compress(bytes(height * (width + 1)), 9)\n"
        "    open(path, 'wb').write(b'\\x89PNG\\r\\n\\x1a\\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', "
        "width, height, 8, 0, 0, 0, 0)) + chunk(b'IDAT', rows) + chunk(b'IEND', b''))\n"
        "png('" +
        scratch +
        "thin.png', 1, 65536)\n"
        "png('" +
        scratch + "huge.png', 12000, 12000)\n\" && cp '" + playerDir + "/samples/robot.zip' '" + scratch +
        "robot.zip' && mkdir -p '" + scratch + "bin' && printf '#!/bin/sh\\nsleep 1\\n' > '" + scratch +
        "bin/xdg-open' && chmod 700 '" + scratch + "bin/xdg-open'";
    if (std::system(make.c_str()) != 0) {
        std::fprintf(stderr, "cannot make the attacker's files\n");
        return 1;
    }
    const char* path = std::getenv("PATH");
    PlayerProcess player;
    if (!player.start(playerDir, {scratch + "start.cmd"},
                      {"TMPDIR=" + scratch,
                       "PATH=" + scratch + "bin:" + (path != nullptr ? path : "/usr/bin:/bin"),
                       "VELQUIN_PACKAGE_MAX_RATIO=100000", "VELQUIN_PACKAGE_MAX_MB=128"})) {
        std::fprintf(stderr, "cannot start the player\n");
        return 1;
    }
    const unsigned long window = XTestDisplay::waitForWindow("Velquinor", 60000);
    for (int i = 0; i < 300 && !answersWithin(currentPort, "project.title.get();", 1000); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const long startKb = residentKilobytes(player.pid());

    std::vector<std::thread> clients;
    for (unsigned i = 0; i < 32; ++i) {
        clients.emplace_back(commander, 1000 + i);
    }
    for (int i = 0; i < 8; ++i) {
        clients.emplace_back(listener);
    }
    clients.emplace_back(silentListener);
    for (unsigned i = 0; i < 3; ++i) {
        clients.emplace_back(transferrer, playerDir, 2000 + i);
    }
    clients.emplace_back(attacker, scratch, 3000);
    // Server and capture churn.
    std::thread churn([&] {
        std::mt19937 random(7);
        while (running) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2000 + random() % 2000));
            if (!running) {
                break;
            }
            const int next = freePort();
            const int now = currentPort;
            if (random() % 3 == 0) {
                answersWithin(now, "project.videocapture.done();", 5000);
                answersWithin(now, "project.videocapture.init(\"File\", \"frames@30\");", 5000);
            } else {
                // The reply to a move is lost with the connection the move closes. The move may
                // also not happen: while a flood holds every place the player has, this connection
                // is closed unheard. The clients follow once the new port answers.
                answersWithin(now, "project.net.init(" + std::to_string(next) + ");", 5000);
                for (int i = 0; i < 20; ++i) {
                    if (answersWithin(next, "project.title.get();", 1000)) {
                        currentPort = next;
                        break;
                    }
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                }
            }
        }
    });

    long peakKb = startKb;
    long halfKb = -1;
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    const auto half = Clock::now() + std::chrono::seconds(seconds / 2);
    while (Clock::now() < end && player.running()) {
        // Keeps the player's standard output drained: a full pipe would stop its writers.
        player.waitForLine("\x01", 500);
        const long now = residentKilobytes(player.pid());
        peakKb = std::max(peakKb, now);
        if (halfKb < 0 && Clock::now() >= half) {
            halfKb = now;
        }
    }
    running = false;
    std::thread drain([&player] {
        for (int i = 0; i < 40; ++i) {
            player.waitForLine("\x01", 100);
        }
    });
    churn.join();
    for (std::thread& client : clients) {
        client.join();
    }

    drain.join();

    // The verdict.
    player.waitForLine("\x01", 10);
    bool passed = player.running();
    std::string reply;
    const bool answered = answersWithin(currentPort, "project.title.get();", 1000, &reply);
    passed = passed && answered;
    const RgbImage first = XTestDisplay::grab(window);
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    const RgbImage second = XTestDisplay::grab(window);
    const bool drawing = first.pixels != second.pixels && !first.pixels.empty();
    passed = passed && drawing;
    const long endKb = residentKilobytes(player.pid());
    const bool memoryOk = endKb >= 0 && endKb - startKb < memoryBoundMb * 1024;
    const int disagreements = disagreeingListeners();
    passed = passed && memoryOk && malformedEvents == 0 && disagreements == 0 && attacksAccepted == 0;

    std::set<std::string> unexpected;
    std::string workDirectory = scratch + "Velquin-" + std::to_string(player.pid()) + "/";
    const std::set<std::string> expected = {"void.zip", "Nothing",  "robot.zip", "letter-v.pat", "soak.xml",
                                            "soak.zip", "robot",    "bomb.zip",  "deep.zip",     "deep",
                                            "thin.png", "huge.png", "pbomb.zip"};
    if (DIR* directory = opendir(workDirectory.c_str())) {
        while (const dirent* entry = readdir(directory)) {
            const std::string name = entry->d_name;
            if (name != "." && name != ".." && expected.count(name) == 0) {
                unexpected.insert(name);
            }
        }
        closedir(directory);
    }
    passed = passed && unexpected.empty();

    std::printf("soak: %d s, %ld replies, %ld events (%ld malformed), %ld transfers, %ld reconnects\n",
                seconds, repliesSeen.load(), eventsSeen.load(), malformedEvents.load(), transfers.load(),
                reconnects.load());
    std::printf("soak: %ld attacks, %ld of them accepted\n", attacks.load(), attacksAccepted.load());
    std::printf("soak: %ld floods of idle clients, a local authoring tool kept out by %ld\n",
                idleFloods.load(), idleFloodsKeptOut.load());
    std::printf("soak: %zu listener connections compared, %d pairs heard different sequences\n",
                hearings.size(), disagreements);
    std::printf("soak: player running %s, final command answered within 1 s %s (%s), still drawing %s\n",
                player.running() ? "yes" : "NO", answered ? "yes" : "NO", reply.c_str(),
                drawing ? "yes" : "NO");
    std::printf("soak: resident memory %ld -> %ld kB (after %d s: %ld kB; peak %ld kB, bound +%ld MB) %s\n",
                startKb, endKb, seconds / 2, halfKb, peakKb, memoryBoundMb, memoryOk ? "ok" : "EXCEEDED");
    for (const std::string& name : unexpected) {
        std::printf("soak: unexpected file in the work directory: %s\n", name.c_str());
    }
    player.kill();
    std::string cleanup = "rm -rf '" + scratch + "'";
    if (std::system(cleanup.c_str()) != 0) {
        std::fprintf(stderr, "cannot remove %s\n", scratch.c_str());
    }
    std::printf("soak: %s\n", passed ? "1 passed, 0 failed" : "0 passed, 1 failed");
    return passed ? 0 : 1;
}
