#include "CtlProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {
using Clock = std::chrono::steady_clock;

int remaining(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// A file holding the input, opened for reading from its start: a pipe could fill up while the
// child is not reading yet.
int inputFile(const std::string& input) {
    char pattern[] = "/tmp/velquin-ctl-input-XXXXXX";
    const int descriptor = ::mkstemp(pattern);
    if (descriptor < 0) {
        return -1;
    }
    ::unlink(pattern);
    size_t written = 0;
    while (written < input.size()) {
        const ssize_t count = ::write(descriptor, input.data() + written, input.size() - written);
        if (count <= 0) {
            ::close(descriptor);
            return -1;
        }
        written += static_cast<size_t>(count);
    }
    ::lseek(descriptor, 0, SEEK_SET);
    return descriptor;
}
} // namespace

CtlProcess::~CtlProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    for (int descriptor : {outFd_, errFd_}) {
        if (descriptor >= 0) {
            ::close(descriptor);
        }
    }
}

std::string CtlProcess::program() {
    const char* directory = std::getenv("VELQUIN_PLAYER_DIR");
    return std::string(directory != nullptr ? directory : "build/player") + "/velquin-ctl";
}

bool CtlProcess::start(const std::vector<std::string>& arguments, const std::string& input,
                       const std::vector<std::string>& environment, const std::string& directory) {
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) {
        return false;
    }
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        return false;
    }
    const int in = inputFile(input);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    if (!directory.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    }

    std::vector<std::string> argumentTexts = {program()};
    argumentTexts.insert(argumentTexts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : argumentTexts) {
        argv.push_back(&text[0]);
    }
    argv.push_back(nullptr);
    // The caller's entries first: the first of equal names wins. The host and port variables
    // of whoever runs the tests must not steer them.
    std::vector<std::string> environmentTexts = environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "VELQUIN_HOST=", 13) != 0 &&
            std::strncmp(*entry, "VELQUIN_PORT=", 13) != 0) {
            environmentTexts.emplace_back(*entry);
        }
    }
    std::vector<char*> envp;
    for (std::string& text : environmentTexts) {
        envp.push_back(&text[0]);
    }
    envp.push_back(nullptr);

    const int result = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(in);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    outFd_ = outPipe[0];
    errFd_ = errPipe[0];
    if (result != 0 || in < 0) {
        pid_ = -1;
        return false;
    }
    return true;
}

bool CtlProcess::pump(int timeoutMilliseconds) {
    pollfd waiting[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
    if (outFd_ < 0 && errFd_ < 0) {
        return false;
    }
    if (::poll(waiting, 2, timeoutMilliseconds) <= 0) {
        return false;
    }
    bool got = false;
    for (pollfd& one : waiting) {
        if (one.fd < 0 || one.revents == 0) {
            continue;
        }
        char buffer[4096];
        const ssize_t count = ::read(one.fd, buffer, sizeof buffer);
        std::string& text = one.fd == outFd_ ? out_ : err_;
        if (count > 0) {
            text.append(buffer, static_cast<size_t>(count));
            got = true;
        } else {
            (one.fd == outFd_ ? outFd_ : errFd_) = -1;
            ::close(one.fd);
        }
    }
    return got;
}

bool CtlProcess::waitForOutput(const std::string& text, int timeoutMilliseconds) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
    while (out_.find(text) == std::string::npos) {
        if (remaining(deadline) == 0 || (outFd_ < 0 && errFd_ < 0)) {
            return false;
        }
        pump(remaining(deadline));
    }
    return true;
}

int CtlProcess::finish(int timeoutMilliseconds) {
    if (pid_ <= 0) {
        return -1;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
    while ((outFd_ >= 0 || errFd_ >= 0) && remaining(deadline) > 0) {
        pump(remaining(deadline) < 50 ? remaining(deadline) : 50);
    }
    int status = 0;
    pid_t done = 0;
    while ((done = ::waitpid(pid_, &status, WNOHANG)) == 0 && remaining(deadline) > 0) {
        ::usleep(10000);
    }
    if (done != pid_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
        return -1;
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void CtlProcess::signal(int number) {
    if (pid_ > 0) {
        ::kill(pid_, number);
    }
}

CtlResult runCtl(const std::vector<std::string>& arguments, const std::string& input,
                 const std::vector<std::string>& environment, const std::string& directory) {
    CtlProcess process;
    if (!process.start(arguments, input, environment, directory)) {
        return {-1, "", "could not start " + CtlProcess::program()};
    }
    const int status = process.finish(60000);
    return {status, process.out(), process.err()};
}
