#include "support/PlayerProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {
using Clock = std::chrono::steady_clock;

int remaining(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}
} // namespace

PlayerProcess::~PlayerProcess() {
    kill();
    if (stdoutFd_ >= 0) {
        close(stdoutFd_);
    }
}

std::string PlayerProcess::builtPlayerDirectory() {
    const char* directory = std::getenv("VELQUIN_PLAYER_DIR");
    return directory != nullptr ? directory : "build/player";
}

bool PlayerProcess::start(const std::string& directory, const std::vector<std::string>& arguments,
                          const std::vector<std::string>& environment) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    if (captureStandardError_) {
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    }
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
    posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());

    std::vector<std::string> argumentTexts = launcher_;
    argumentTexts.push_back(directory + "/velquin");
    argumentTexts.insert(argumentTexts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : argumentTexts) {
        argv.push_back(&text[0]);
    }
    argv.push_back(nullptr);

    std::vector<std::string> environmentTexts = {"VELQUIN_NO_CONFIG_DIALOG=1", "LP_NUM_THREADS=0"};
    environmentTexts.insert(environmentTexts.end(), environment.begin(), environment.end());
    for (char** entry = environ; *entry != nullptr; ++entry) {
        environmentTexts.emplace_back(*entry); // earlier entries win
    }
    std::vector<char*> envp;
    for (std::string& text : environmentTexts) {
        envp.push_back(&text[0]);
    }
    envp.push_back(nullptr);

    const int result = posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (result != 0) {
        close(pipeFds[0]);
        pid_ = -1;
        return false;
    }
    stdoutFd_ = pipeFds[0];
    return true;
}

bool PlayerProcess::readSome(int timeoutMilliseconds) {
    if (stdoutFd_ < 0) {
        return false;
    }
    pollfd waiting{stdoutFd_, POLLIN, 0};
    if (poll(&waiting, 1, timeoutMilliseconds) <= 0) {
        return false;
    }
    char buffer[4096];
    const ssize_t got = read(stdoutFd_, buffer, sizeof buffer);
    if (got <= 0) {
        close(stdoutFd_);
        stdoutFd_ = -1;
        return false;
    }
    output_.append(buffer, static_cast<size_t>(got));
    return true;
}

std::string PlayerProcess::waitForLine(const std::string& prefix, int timeoutMilliseconds) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
    for (;;) {
        size_t end = 0;
        while ((end = output_.find('\n', scanned_)) != std::string::npos) {
            const std::string line = output_.substr(scanned_, end - scanned_);
            scanned_ = end + 1;
            if (line.compare(0, prefix.size(), prefix) == 0) {
                return line;
            }
        }
        if (remaining(deadline) == 0 || (!readSome(remaining(deadline)) && stdoutFd_ < 0)) {
            return std::string();
        }
    }
}

int PlayerProcess::waitForExit(int timeoutMilliseconds) {
    if (pid_ < 0) {
        return status_;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            pid_ = -1;
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            while (readSome(0)) {
            }
            return status_;
        }
        if (remaining(deadline) == 0) {
            return -1;
        }
        if (!readSome(20)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
}

bool PlayerProcess::running() {
    return pid_ >= 0 && waitpid(pid_, nullptr, WNOHANG) == 0;
}

void PlayerProcess::kill() {
    if (pid_ >= 0) {
        ::kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
}
