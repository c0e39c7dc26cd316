// velquin-ctl: drives a running player from the command line (command, listener, upload and
// download connections).
#include "tools/ctl/CommandLine.h"
#include "tools/ctl/PlayerConnection.h"
#include "tools/ctl/ctlprotocol.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

#ifndef VELQUIN_VERSION
#define VELQUIN_VERSION "unknown"
#endif

using namespace VelCtl;

namespace {

constexpr const char* Program = "velquin-ctl";
constexpr int Success = 0;
constexpr int Failure = 1;
constexpr int UsageError = 2;
// Connecting never waits forever, even when -t does not say how long.
constexpr int DefaultConnectMilliseconds = 10000;
// How long the polite goodbye at the end of a command connection may take.
constexpr int GoodbyeMilliseconds = 5000;
constexpr size_t TransferChunk = 65536;

int fail(const std::string& message) {
    std::cerr << Program << ": " << message << std::endl;
    return Failure;
}

std::string where(const CommandLine& line) {
    return line.host + ":" + std::to_string(line.port);
}

std::string seconds(int milliseconds) {
    std::string text = std::to_string(milliseconds / 1000);
    if (milliseconds % 1000 != 0) {
        char fraction[8];
        std::snprintf(fraction, sizeof fraction, ".%03d", milliseconds % 1000);
        text += fraction;
        text.erase(text.find_last_not_of('0') + 1);
    }
    return text + " s";
}

// A message for a wait on the player that brought no data; what names what was awaited.
std::string waitProblem(Received got, const PlayerConnection& connection, const CommandLine& line,
                        const std::string& what) {
    switch (got) {
    case Received::Closed:
        return "the player at " + where(line) + " closed the connection before " + what;
    case Received::TimedOut:
        return "no answer from the player within " + seconds(line.timeoutMilliseconds) +
               " while waiting for " + what;
    case Received::Interrupted:
        return "interrupted while waiting for " + what;
    default:
        return connection.error() + " (while waiting for " + what + ")";
    }
}

bool connectTo(PlayerConnection& connection, const CommandLine& line) {
    const int limit = line.timeoutMilliseconds > 0 ? line.timeoutMilliseconds : DefaultConnectMilliseconds;
    if (!connection.open(line.host, line.port, limit)) {
        fail(connection.error());
        return false;
    }
    return true;
}

// Sends a handshake sentence and checks that the player accepted it.
bool handshake(PlayerConnection& connection, const CommandLine& line, const char* sentence,
               const char* mode) {
    if (!connection.sendAll(sentence)) {
        fail(connection.error());
        return false;
    }
    std::string reply;
    const Received got = connection.readLine(reply, line.timeoutMilliseconds);
    if (got != Received::Data) {
        fail(waitProblem(got, connection, line, std::string("the answer to the ") + mode + " handshake"));
        return false;
    }
    reply = withoutCarriageReturn(reply);
    if (reply != Accepted) {
        fail(std::string("the player refused the ") + mode + " connection: " + reply);
        return false;
    }
    return true;
}

bool writeOut(const std::string& text) {
    std::cout << text;
    std::cout.flush();
    return static_cast<bool>(std::cout);
}

// ---- send -------------------------------------------------------------------------------

// Where the sentences of send come from: the arguments, a file or standard input.
class SentenceSource {
public:
    explicit SentenceSource(const CommandLine& line) : line_(line) {
        for (const std::string& argument : line.sentences) {
            for (const std::string& sentence : splitLines(argument)) {
                fromArguments_.push_back(sentence);
            }
        }
        useArguments_ = !line.sentences.empty();
    }

    bool open() {
        if (useArguments_ || line_.sentenceFile.empty() || line_.sentenceFile == "-") {
            return true;
        }
        file_.open(line_.sentenceFile, std::ios::binary);
        if (!file_) {
            fail("cannot read " + line_.sentenceFile + ": " + std::strerror(errno));
            return false;
        }
        return true;
    }

    bool next(std::string& sentence) {
        if (useArguments_) {
            if (nextArgument_ >= fromArguments_.size()) {
                return false;
            }
            sentence = fromArguments_[nextArgument_++];
            return true;
        }
        std::istream& in = file_.is_open() ? static_cast<std::istream&>(file_) : std::cin;
        if (!std::getline(in, sentence)) {
            return false;
        }
        sentence = withoutCarriageReturn(sentence);
        return true;
    }

    // Sentences that will never be sent because an earlier one ended the connection. Only the
    // arguments are counted: reading on from a terminal would wait for the user.
    size_t unsentArguments() const { return useArguments_ ? fromArguments_.size() - nextArgument_ : 0; }

private:
    const CommandLine& line_;
    std::vector<std::string> fromArguments_;
    size_t nextArgument_ = 0;
    bool useArguments_ = false;
    std::ifstream file_;
};

int runSend(const CommandLine& line) {
    SentenceSource source(line);
    if (!source.open()) {
        return Failure;
    }
    PlayerConnection connection;
    if (!connectTo(connection, line) || !handshake(connection, line, CommandHandshake, "command")) {
        return Failure;
    }
    bool anyFailed = false;
    std::string sentence;
    while (source.next(sentence)) {
        if (isSilentLine(sentence)) {
            continue; // the player would not answer it
        }
        if (!connection.sendAll(sentence + LineEnd)) {
            return fail(connection.error());
        }
        std::string reply;
        const Received got = connection.readLine(reply, line.timeoutMilliseconds);
        if (got != Received::Data) {
            return fail(waitProblem(got, connection, line, "the reply to " + sentence));
        }
        reply = withoutCarriageReturn(reply);
        if (!writeOut(reply + "\n")) {
            return Failure;
        }
        if (isFailureReply(reply)) {
            anyFailed = true;
        }
        if (sentenceName(sentence) == "quit" && reply == Accepted) {
            // The player ends this command connection after quit.
            if (source.unsentArguments() > 0) {
                fail("the connection ended at quit: " + std::to_string(source.unsentArguments()) +
                     " sentence(s) after it were not sent");
                return Failure;
            }
            return anyFailed ? Failure : Success;
        }
    }
    // Ending with quit spares the player's output a line about a vanished client.
    if (connection.sendAll(QuitSentence)) {
        std::string goodbye;
        const int limit = line.timeoutMilliseconds > 0 && line.timeoutMilliseconds < GoodbyeMilliseconds
                              ? line.timeoutMilliseconds
                              : GoodbyeMilliseconds;
        connection.readLine(goodbye, limit);
    }
    return anyFailed ? Failure : Success;
}

// ---- listen -----------------------------------------------------------------------------

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int) {
    stopRequested = 1;
}

int runListen(const CommandLine& line) {
    // SIGINT and SIGTERM are blocked except while waiting for the player, so that one arriving
    // between two waits still ends the next wait at once.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigset_t waitMask;
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    PlayerConnection connection;
    connection.setWaitMask(&waitMask);
    if (!connectTo(connection, line) || !handshake(connection, line, ListenerHandshake, "listener")) {
        return Failure;
    }
    long received = 0;
    for (;;) {
        std::string event;
        const Received got = connection.readLine(event, line.timeoutMilliseconds);
        if (got == Received::Data) {
            if (!writeOut(withoutCarriageReturn(event) + "\n")) {
                return Failure;
            }
            if (line.eventCount > 0 && ++received == line.eventCount) {
                connection.sendAll(QuitSentence);
                return Success;
            }
            continue;
        }
        const bool countMissing = line.eventCount > 0 && received < line.eventCount;
        if (got == Received::Interrupted || got == Received::Closed) {
            if (got == Received::Interrupted) {
                connection.sendAll(QuitSentence);
            }
            if (countMissing) {
                return fail(std::string(got == Received::Closed ? "the player closed the connection"
                                                                : "interrupted") +
                            " after " + std::to_string(received) + " of " + std::to_string(line.eventCount) +
                            " events");
            }
            return Success;
        }
        return fail(waitProblem(got, connection, line, "an event"));
    }
}

// ---- upload -----------------------------------------------------------------------------

// Reads all of a descriptor (standard input) into memory: the size must be known up front.
bool readAll(int descriptor, std::string& content) {
    char chunk[TransferChunk];
    for (;;) {
        const ssize_t count = ::read(descriptor, chunk, sizeof chunk);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return false;
        }
        if (count == 0) {
            return true;
        }
        content.append(chunk, static_cast<size_t>(count));
    }
}

// What the player said on an upload connection, if anything: it answers only when it did not
// take the upload sentence, and closes the connection then.
std::string uploadAnswer(PlayerConnection& connection, int timeoutMilliseconds) {
    std::string answer;
    while (connection.readSome(answer, TransferChunk, timeoutMilliseconds) == Received::Data) {
    }
    return answer.empty() ? answer : withoutCarriageReturn(splitLines(answer).front());
}

int runUpload(const CommandLine& line) {
    std::string content; // standard input only; a file is streamed
    int file = -1;
    long long size = 0;
    if (line.localFile == "-") {
        if (!readAll(STDIN_FILENO, content)) {
            return fail(std::string("cannot read standard input: ") + std::strerror(errno));
        }
        size = static_cast<long long>(content.size());
    } else {
        file = ::open(line.localFile.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat info {};
        if (file < 0 || ::fstat(file, &info) != 0) {
            return fail("cannot read " + line.localFile + ": " + std::strerror(errno));
        }
        if (!S_ISREG(info.st_mode)) {
            ::close(file);
            return fail(line.localFile + " is not a regular file");
        }
        size = static_cast<long long>(info.st_size);
    }
    struct FileCloser {
        int descriptor;
        ~FileCloser() {
            if (descriptor >= 0) {
                ::close(descriptor);
            }
        }
    } closer{file};

    std::string sentence;
    uploadSentence(line.remoteName, size, sentence); // the name was checked with the arguments
    PlayerConnection connection;
    if (!connectTo(connection, line)) {
        return Failure;
    }
    if (!connection.sendAll(sentence)) {
        return fail(connection.error());
    }
    const auto refusedOrBroken = [&]() {
        const std::string error = connection.error();
        const std::string answer = uploadAnswer(connection, 1000);
        return fail(answer.empty() ? error : "the player did not take " + line.remoteName + ": " + answer);
    };
    if (file < 0) {
        if (!connection.sendAll(content)) {
            return refusedOrBroken();
        }
    } else {
        char chunk[TransferChunk];
        long long left = size;
        while (left > 0) {
            const size_t want =
                left < static_cast<long long>(sizeof chunk) ? static_cast<size_t>(left) : sizeof chunk;
            const ssize_t count = ::read(file, chunk, want);
            if (count < 0 && errno == EINTR) {
                continue;
            }
            if (count <= 0) {
                connection.shutdownWrite();
                return fail(line.localFile + (count < 0 ? std::string(": ") + std::strerror(errno)
                                                        : std::string(" became shorter while being sent")));
            }
            if (!connection.sendAll(chunk, static_cast<size_t>(count))) {
                return refusedOrBroken();
            }
            left -= count;
        }
    }
    connection.shutdownWrite();

    // The player closes the connection once the file is stored; it answers nothing on success.
    std::string answer;
    Received got;
    while ((got = connection.readSome(answer, TransferChunk, line.timeoutMilliseconds)) == Received::Data) {
    }
    if (!answer.empty()) {
        return fail("the player did not take " + line.remoteName + ": " +
                    withoutCarriageReturn(splitLines(answer).front()));
    }
    if (got != Received::Closed) {
        return fail(waitProblem(got, connection, line, "the end of the upload of " + line.remoteName));
    }
    return Success;
}

// ---- download ---------------------------------------------------------------------------

bool writeAll(int descriptor, const std::string& bytes) {
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(descriptor, bytes.data() + written, bytes.size() - written);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        written += static_cast<size_t>(count);
    }
    return true;
}

bool isDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The download goes to a temporary file beside the output, renamed when complete, so that a
// broken transfer never leaves a truncated file under the output's name.
class OutputFile {
public:
    ~OutputFile() {
        if (descriptor_ >= 0 && descriptor_ != STDOUT_FILENO) {
            ::close(descriptor_);
            ::unlink(temporary_.c_str());
        }
    }

    bool open(const std::string& path) {
        path_ = path;
        if (path == "-") {
            descriptor_ = STDOUT_FILENO;
            return true;
        }
        temporary_ = path + ".part-XXXXXX";
        descriptor_ = ::mkstemp(&temporary_[0]);
        if (descriptor_ < 0) {
            return false;
        }
        // mkstemp makes the file private; give it the mode a new file normally gets.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(descriptor_, 0666 & ~mask);
        return true;
    }

    bool write(const std::string& bytes) { return writeAll(descriptor_, bytes); }

    bool commit() {
        if (descriptor_ == STDOUT_FILENO) {
            return true;
        }
        const bool closed = ::close(descriptor_) == 0;
        descriptor_ = -1;
        if (!closed || ::rename(temporary_.c_str(), path_.c_str()) != 0) {
            const int failure = errno;
            ::unlink(temporary_.c_str());
            errno = failure;
            return false;
        }
        return true;
    }

private:
    std::string path_;
    std::string temporary_;
    int descriptor_ = -1;
};

int runDownload(const CommandLine& line) {
    std::string output = line.localFile;
    if (output.empty()) {
        output = storedName(line.remoteName);
    } else if (output != "-" && isDirectory(output)) {
        output += "/" + storedName(line.remoteName);
    }

    std::string sentence;
    downloadSentence(line.remoteName, sentence); // the name was checked with the arguments
    OutputFile out;                              // first, so that an unwritable output costs no transfer
    if (!out.open(output)) {
        return fail("cannot write " + output + ": " + std::strerror(errno));
    }
    PlayerConnection connection;
    if (!connectTo(connection, line)) {
        return Failure;
    }
    if (!connection.sendAll(sentence)) {
        return fail(connection.error());
    }
    long long total = 0;
    for (;;) {
        std::string bytes;
        const Received got = connection.readSome(bytes, TransferChunk, line.timeoutMilliseconds);
        if (got == Received::Closed) {
            break;
        }
        if (got != Received::Data) {
            return fail(waitProblem(got, connection, line, "the rest of " + line.remoteName));
        }
        if (!out.write(bytes)) {
            return fail("cannot write " + output + ": " + std::strerror(errno));
        }
        total += static_cast<long long>(bytes.size());
    }
    if (total == 0) {
        return fail("nothing received for " + line.remoteName +
                    ": the player has no such file in its work directory, or it is empty");
    }
    if (!out.commit()) {
        return fail("cannot write " + output + ": " + std::strerror(errno));
    }
    return Success;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    CommandLine line;
    std::string error;
    if (!parseCommandLine(arguments, std::getenv("VELQUIN_HOST"), std::getenv("VELQUIN_PORT"), line, error)) {
        std::cerr << Program << ": " << error << "\nTry '" << Program << " --help' for more information."
                  << std::endl;
        return UsageError;
    }
    switch (line.action) {
    case CommandLine::Action::Help:
        std::cout << usageText();
        return Success;
    case CommandLine::Action::Version:
        std::cout << Program << " " << VELQUIN_VERSION << std::endl;
        return Success;
    case CommandLine::Action::Send:
        return runSend(line);
    case CommandLine::Action::Listen:
        return runListen(line);
    case CommandLine::Action::Upload:
        return runUpload(line);
    case CommandLine::Action::Download:
        return runDownload(line);
    }
    return UsageError;
}
