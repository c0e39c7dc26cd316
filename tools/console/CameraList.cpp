#include "tools/console/CameraList.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <sstream>

extern char** environ;

namespace VelConsole {

namespace {

// The text between the first quote and the next one; empty when there is none.
std::string firstQuoted(const std::string& line) {
    const std::string::size_type open = line.find('"');
    if (open == std::string::npos) {
        return std::string();
    }
    const std::string::size_type close = line.find('"', open + 1);
    return close == std::string::npos ? std::string() : line.substr(open + 1, close - open - 1);
}

} // namespace

nlohmann::json parseCameraList(const std::string& listing) {
    nlohmann::json cameras = nlohmann::json::array();
    std::istringstream lines(listing);
    std::string line;
    std::string device;
    std::string card;
    while (std::getline(lines, line)) {
        if (line.empty()) {
            continue;
        }
        if (line[0] == '/') {
            const std::string::size_type colon = line.find(':');
            device = line.substr(0, colon);
            card = firstQuoted(line);
            continue;
        }
        if (line[0] != ' ' || device.empty()) {
            continue;
        }
        const std::string::size_type start = line.find_first_not_of(' ');
        const std::string::size_type colon = line.rfind(": ");
        std::string configuration;
        std::string label;
        if (line.compare(start, 15, "lists no sizes;") == 0) {
            configuration = firstQuoted(line);
            label = "any size";
        } else if (colon != std::string::npos && line.compare(colon + 2, 1, "\"") == 0) {
            configuration = firstQuoted(line.substr(colon));
            label = line.substr(start, colon - start);
        }
        if (!configuration.empty()) {
            cameras.push_back({{"device", device},
                               {"card", card},
                               {"label", card + " (" + device + "): " + label},
                               {"configuration", configuration}});
        }
    }
    return cameras;
}

bool runCameraListing(const std::string& program, int timeoutMilliseconds, std::string& listing,
                      std::string& reason) {
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        reason = std::string("no pipe: ") + std::strerror(errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::string argument = "--list-cameras";
    char* const arguments[] = {const_cast<char*>(program.c_str()), argument.data(), nullptr};
    pid_t child = 0;
    const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    if (spawned != 0) {
        ::close(pipeEnds[0]);
        reason = "cannot start " + program + ": " + std::strerror(spawned);
        return false;
    }
    listing.clear();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
    bool timedOut = false;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                .count();
        if (left <= 0) {
            timedOut = true;
            break;
        }
        pollfd waiting{pipeEnds[0], POLLIN, 0};
        if (::poll(&waiting, 1, static_cast<int>(left)) < 0 && errno != EINTR) {
            break;
        }
        char chunk[4096];
        const ssize_t got = ::read(pipeEnds[0], chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        if (listing.size() < 256 * 1024) {
            listing.append(chunk, static_cast<std::size_t>(got));
        }
    }
    ::close(pipeEnds[0]);
    if (timedOut) {
        ::kill(child, SIGKILL);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (timedOut) {
        reason = program + " --list-cameras did not finish in time";
        return false;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        reason = program + " --list-cameras failed";
        return false;
    }
    return true;
}

} // namespace VelConsole
