// velquin-ctl without a player: its protocol pieces and command line, and the program itself
// against fake players that answer, refuse, stay silent or break off.
#include "CtlProcess.h"
#include "net/Sentence.h"
#include "support/ScratchDirectory.h"
#include "support/Wait.h"
#include "tools/ctl/CommandLine.h"
#include "tools/ctl/ctlprotocol.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <dirent.h>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace VelCtl;

namespace {

// A player stand-in on 127.0.0.1: accepts connections one after another and runs the test's
// function on each, on its own thread. The function returns what the test wants to see of that
// connection (what the client sent, say); record(n) hands it over once connection n is done.
class FakePlayer {
public:
    using Serve = std::function<std::string(int connection)>;

    explicit FakePlayer(Serve serve) : serve_(std::move(serve)) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        ::listen(listener_, 5);
        socklen_t length = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] {
            for (;;) {
                const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
                if (connection < 0) {
                    return;
                }
                std::string record = serve_(connection);
                ::close(connection);
                std::lock_guard<std::mutex> hold(guard_);
                records_.push_back(std::move(record));
                done_.notify_all();
            }
        });
    }
    ~FakePlayer() {
        ::shutdown(listener_, SHUT_RDWR);
        thread_.join();
        ::close(listener_);
    }

    std::string port() const { return std::to_string(port_); }

    // The record of the connection with this index (from 0, in accept order).
    std::string record(size_t index) {
        std::unique_lock<std::mutex> hold(guard_);
        if (!done_.wait_for(hold, std::chrono::seconds(10), [&] { return records_.size() > index; })) {
            return "<connection " + std::to_string(index) + " not served>";
        }
        return records_[index];
    }

private:
    Serve serve_;
    int listener_ = -1;
    int port_ = 0;
    std::mutex guard_; // guards records_
    std::condition_variable done_;
    std::vector<std::string> records_;
    std::thread thread_;
};

// The next line up to LF, LF included; what was read before the end of the stream otherwise.
std::string readLine(int connection) {
    std::string line;
    char byte;
    while (::recv(connection, &byte, 1, 0) == 1) {
        line += byte;
        if (byte == '\n') {
            break;
        }
    }
    return line;
}

std::string readAll(int connection) {
    std::string bytes;
    char chunk[4096];
    ssize_t count;
    while ((count = ::recv(connection, chunk, sizeof chunk, 0)) > 0) {
        bytes.append(chunk, static_cast<size_t>(count));
    }
    return bytes;
}

void sendText(int connection, const std::string& text) {
    ::send(connection, text.data(), text.size(), MSG_NOSIGNAL);
}

// The bytes of the download under way in the folder (the file velquin-ctl writes before it
// takes the output's name); 0 when there is none.
long long partialDownloadBytes(const std::string& folder) {
    long long bytes = 0;
    if (DIR* directory = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(directory)) {
            struct stat info {};
            if (std::string(entry->d_name).find(".part-") != std::string::npos &&
                ::stat((folder + entry->d_name).c_str(), &info) == 0) {
                bytes += info.st_size;
            }
        }
        ::closedir(directory);
    }
    return bytes;
}

// A port nobody listens on.
std::string closedPort() {
    const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(probe);
    return std::to_string(ntohs(address.sin_port));
}

CommandLine parsed(const std::vector<std::string>& arguments, const char* host = nullptr,
                   const char* port = nullptr) {
    CommandLine line;
    std::string error;
    EXPECT_TRUE(parseCommandLine(arguments, host, port, line, error)) << error;
    return line;
}

std::string parseError(const std::vector<std::string>& arguments, const char* port = nullptr) {
    CommandLine line;
    std::string error;
    EXPECT_FALSE(parseCommandLine(arguments, nullptr, port, line, error));
    return error;
}

} // namespace

TEST(CtlProtocol, QuotedTextsReachThePlayerUnchanged) {
    // Read back by the player's own parser: whatever quoteArgument accepts arrives as it was.
    for (const std::string text : {"plain", "", "A \"big\" show", "a, b); c(", "  blanks\tand tab ",
                                   "end quote\"", "\"", "path/to/file.zip", "#not a comment"}) {
        std::string quoted;
        ASSERT_TRUE(quoteArgument(text, quoted)) << text;
        VelNet::Sentence sentence;
        ASSERT_TRUE(sentence.parse("x(" + quoted + ", 5);")) << quoted;
        ASSERT_TRUE(sentence.matches("x", "sl")) << quoted;
        EXPECT_EQ(sentence.textArgument(0), text);
        EXPECT_EQ(sentence.longArgument(1), 5);
    }
    // The player drops backslashes and ends lines at CR LF: such texts cannot be sent.
    for (const std::string& text : std::vector<std::string>{"back\\slash", "trailing\\", "line\nbreak",
                                                            "car\rriage", std::string("nul\0byte", 8)}) {
        std::string quoted = "untouched";
        EXPECT_FALSE(quoteArgument(text, quoted));
        EXPECT_EQ(quoted, "untouched");
    }
}

TEST(CtlProtocol, TransferSentencesAndNames) {
    std::string sentence;
    ASSERT_TRUE(uploadSentence("robot \"v2\".zip", 2500, sentence));
    EXPECT_EQ(sentence, "uploadFile(\"robot \\\"v2\\\".zip\", 2500);\r\n");
    VelNet::Sentence parsedSentence;
    ASSERT_TRUE(parsedSentence.parse(sentence.substr(0, sentence.size() - 2)));
    EXPECT_TRUE(parsedSentence.matches("uploadFile", "sl"));
    EXPECT_EQ(parsedSentence.textArgument(0), "robot \"v2\".zip");
    EXPECT_EQ(parsedSentence.longArgument(1), 2500);

    ASSERT_TRUE(downloadSentence("show.zip", sentence));
    EXPECT_EQ(sentence, "downloadFile(\"show.zip\");\r\n");
    EXPECT_FALSE(downloadSentence("a\\b", sentence));

    EXPECT_EQ(storedName("dir/sub/file.bin"), "file.bin");
    EXPECT_EQ(storedName("file.bin"), "file.bin");
    EXPECT_TRUE(isStorableName("dir/file.bin"));
    for (const std::string name : {"", "dir/", ".", "..", "a/..", "a\\b"}) {
        EXPECT_FALSE(isStorableName(name)) << name;
    }
}

TEST(CtlProtocol, RepliesLinesAndNames) {
    for (const std::string reply : {"fail", "fail ", "fail parser error", "fail invalid sentence"}) {
        EXPECT_TRUE(isFailureReply(reply)) << reply;
    }
    for (const std::string reply :
         {"ok", "true", "false", "\"fail\"", "\"a\", \"b\"", "", "failure", "(1, 2, 3)"}) {
        EXPECT_FALSE(isFailureReply(reply)) << reply;
    }
    EXPECT_TRUE(isSilentLine(""));
    EXPECT_TRUE(isSilentLine("# comment"));
    EXPECT_FALSE(isSilentLine(" # not silent: the player answers it"));
    EXPECT_EQ(sentenceName("quit();"), "quit");
    EXPECT_EQ(sentenceName("  \"junk quit ( ) ;"), "junk");
    EXPECT_EQ(sentenceName("project.title.get();"), "project.title.get");
    EXPECT_EQ(splitLines("a\r\nb\n\nc"), (std::vector<std::string>{"a", "b", "", "c"}));
    EXPECT_TRUE(splitLines("").empty());
}

TEST(CtlCommandLine, ReadsCommandsOptionsAndDefaults) {
    CommandLine line = parsed({"send", "a();", "b();"});
    EXPECT_EQ(line.action, CommandLine::Action::Send);
    EXPECT_EQ(line.host, "127.0.0.1");
    EXPECT_EQ(line.port, 4000);
    EXPECT_EQ(line.timeoutMilliseconds, 0);
    EXPECT_EQ(line.sentences, (std::vector<std::string>{"a();", "b();"}));

    line =
        parsed({"-H", "player.local", "--port=4100", "-t", "2.5", "send", "-f", "show.cmd"}, "other", "4200");
    EXPECT_EQ(line.host, "player.local");
    EXPECT_EQ(line.port, 4100);
    EXPECT_EQ(line.timeoutMilliseconds, 2500);
    EXPECT_EQ(line.sentenceFile, "show.cmd");
    EXPECT_TRUE(line.sentences.empty());

    line = parsed({"listen", "-p4300", "--count", "3"}, "other", "4200");
    EXPECT_EQ(line.action, CommandLine::Action::Listen);
    EXPECT_EQ(line.host, "other"); // from the environment
    EXPECT_EQ(line.port, 4300);
    EXPECT_EQ(line.eventCount, 3);

    line = parsed({"upload", "build/robot.zip"});
    EXPECT_EQ(line.localFile, "build/robot.zip");
    EXPECT_EQ(line.remoteName, "robot.zip");
    line = parsed({"upload", "-", "stdin.bin"});
    EXPECT_EQ(line.localFile, "-");
    line = parsed({"download", "models/ship.mesh"});
    EXPECT_EQ(line.remoteName, "models/ship.mesh");
    EXPECT_EQ(line.localFile, "");
    line = parsed({"send", "--", "-odd();"});
    EXPECT_EQ(line.sentences, (std::vector<std::string>{"-odd();"}));
    EXPECT_EQ(parsed({"send", "--help"}).action, CommandLine::Action::Help);
    EXPECT_EQ(parsed({"-V"}).action, CommandLine::Action::Version);
}

TEST(CtlCommandLine, RefusesUnusableInvocations) {
    EXPECT_EQ(parseError({}), "no command given");
    EXPECT_EQ(parseError({"shout"}), "unknown command 'shout'");
    EXPECT_EQ(parseError({"-p", "0", "listen"}), "not a port number (1 to 65535): 0");
    EXPECT_EQ(parseError({"-p", "65536", "listen"}), "not a port number (1 to 65535): 65536");
    EXPECT_EQ(parseError({"-p", "4000x", "listen"}), "not a port number (1 to 65535): 4000x");
    EXPECT_EQ(parseError({"listen"}, "http"), "VELQUIN_PORT is not a port number: http");
    EXPECT_EQ(parseError({"listen", "-p"}), "option -p needs a value");
    EXPECT_EQ(parseError({"-t", "-1", "listen"}), "not a number of seconds: -1");
    EXPECT_EQ(parseError({"listen", "-n", "0"}), "not a positive count: 0");
    EXPECT_EQ(parseError({"send", "-n", "2"}), "-n belongs to listen");
    EXPECT_EQ(parseError({"send", "-f", "x", "a();"}), "send takes sentences or -f FILE, not both");
    EXPECT_EQ(parseError({"listen", "extra"}), "listen takes no arguments");
    EXPECT_EQ(parseError({"upload"}), "upload needs FILE and, optionally, NAME");
    EXPECT_EQ(parseError({"upload", "-"}), "upload from standard input needs a NAME");
    EXPECT_NE(parseError({"upload", "a.bin", "dir/"}).find("cannot store"), std::string::npos);
    EXPECT_NE(parseError({"upload", "a\\b.bin"}).find("cannot store"), std::string::npos);
    EXPECT_NE(parseError({"download", "a\\b"}).find("cannot ask"), std::string::npos);
    EXPECT_EQ(parseError({"download", "dir/"}), "give an OUTPUT file for 'dir/'");
    EXPECT_EQ(parseError({"--frobnicate", "send"}), "unknown option --frobnicate");
}

TEST(CtlProgram, UsageHelpVersionAndUnreachablePlayers) {
    CtlResult result = runCtl({"--help"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out.rfind("Usage: velquin-ctl", 0), 0u);
    result = runCtl({"--version"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out.rfind("velquin-ctl ", 0), 0u);

    result = runCtl({"send", "-n", "1"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err,
              "velquin-ctl: -n belongs to listen\nTry 'velquin-ctl --help' for more information.\n");
    EXPECT_EQ(result.out, "");

    const std::string port = closedPort();
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"send", "project.new();"}, std::vector<std::string>{"listen"},
          std::vector<std::string>{"download", "x.bin"}}) {
        std::vector<std::string> arguments = {"-p", port};
        arguments.insert(arguments.end(), command.begin(), command.end());
        result = runCtl(arguments);
        EXPECT_EQ(result.status, 1) << command[0];
        EXPECT_EQ(result.err, "velquin-ctl: cannot connect to 127.0.0.1:" + port + ": Connection refused\n");
    }
    // The port may also come from the environment.
    result = runCtl({"send", "project.new();"}, "", {"VELQUIN_PORT=" + port});
    EXPECT_EQ(result.err, "velquin-ctl: cannot connect to 127.0.0.1:" + port + ": Connection refused\n");
    result = runCtl({"-H", "no-such-host.invalid", "send", "x();"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err.rfind("velquin-ctl: cannot resolve no-such-host.invalid: ", 0), 0u) << result.err;
}

TEST(CtlProgram, SendWritesEachSentenceAndPrintsEachReply) {
    FakePlayer player([](int connection) {
        std::string received = readLine(connection);
        sendText(connection, "ok\n");
        std::string line;
        while (!(line = readLine(connection)).empty()) {
            received += line;
            if (line == "quit();\r\n") {
                sendText(connection, "ok\r\n");
                break;
            }
            sendText(connection, line.rfind("bad", 0) == 0 ? "fail invalid sentence\r\n" : "ok\r\n");
        }
        return received;
    });
    // From standard input: comments and empty lines are not sent (the player would not answer
    // them); CR LF input works too.
    CtlResult result =
        runCtl({"-p", player.port(), "send"}, "# a show\r\nfirst();\r\n\nbad();\n# more\nlast();");
    EXPECT_EQ(result.status, 1); // one reply was a failure
    EXPECT_EQ(result.out, "ok\nfail invalid sentence\nok\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(player.record(0), "command();\r\nfirst();\r\nbad();\r\nlast();\r\nquit();\r\n");

    ScratchDirectory scratch;
    const std::string file = scratch.write("show.cmd", "one();\ntwo();\n");
    result = runCtl({"-p", player.port(), "send", "-f", file});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "ok\nok\n");
    EXPECT_EQ(player.record(1), "command();\r\none();\r\ntwo();\r\nquit();\r\n");

    // quit ends the command connection: what follows it is reported, not silently dropped.
    result = runCtl({"-p", player.port(), "send", "a();", "quit();", "never();"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "ok\nok\n");
    EXPECT_EQ(result.err,
              "velquin-ctl: the connection ended at quit: 1 sentence(s) after it were not sent\n");
    EXPECT_EQ(player.record(2), "command();\r\na();\r\nquit();\r\n");

    result = runCtl({"-p", player.port(), "send", "-f", "/nonexistent/show.cmd"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "velquin-ctl: cannot read /nonexistent/show.cmd: No such file or directory\n");
}

TEST(CtlProgram, SendReportsRefusalLossAndSilence) {
    std::atomic<int> mode{0};
    FakePlayer player([&](int connection) {
        readLine(connection);
        if (mode == 0) {
            sendText(connection, "invalid sentence\n");
            return std::string();
        }
        sendText(connection, "ok\n");
        readLine(connection);
        if (mode == 2) {
            readLine(connection); // silent until the client gives up
        }
        return std::string();
    });
    CtlResult result = runCtl({"-p", player.port(), "send", "a();"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "velquin-ctl: the player refused the command connection: invalid sentence\n");
    player.record(0);

    mode = 1;
    result = runCtl({"-p", player.port(), "send", "project.net.done();"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "velquin-ctl: the player at 127.0.0.1:" + player.port() +
                              " closed the connection before the reply to project.net.done();\n");
    player.record(1);

    mode = 2;
    result = runCtl({"-p", player.port(), "-t", "0.3", "send", "slow();"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err,
              "velquin-ctl: no answer from the player within 0.3 s while waiting for the reply to slow();\n");
}

TEST(CtlProgram, ListenPrintsEventsUntilCountCloseOrInterrupt) {
    std::atomic<int> mode{0};
    FakePlayer player([&](int connection) {
        if (readLine(connection) != "listener();\r\n") {
            return std::string("no handshake");
        }
        sendText(connection, "ok\nproject.new();\n");
        sendText(connection, "project.title.changed(\"x\");\n");
        // Mode 1 closes after two events; the others report what the client says then.
        return mode == 1 ? std::string() : readLine(connection);
    });
    const std::string events = "project.new();\nproject.title.changed(\"x\");\n";
    CtlResult result = runCtl({"-p", player.port(), "listen", "-n", "2"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, events);
    EXPECT_EQ(player.record(0), "quit();\r\n");

    mode = 1;
    result = runCtl({"-p", player.port(), "listen"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, events);
    result = runCtl({"-p", player.port(), "listen", "-n", "3"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "velquin-ctl: the player closed the connection after 2 of 3 events\n");
    player.record(2);

    mode = 2;
    size_t index = 3;
    for (const int signal : {SIGINT, SIGTERM}) {
        CtlProcess listener;
        ASSERT_TRUE(listener.start({"-p", player.port(), "listen"}));
        ASSERT_TRUE(listener.waitForOutput("changed", 10000)) << listener.err();
        listener.signal(signal);
        EXPECT_EQ(listener.finish(10000), 0) << listener.err();
        EXPECT_EQ(listener.out(), events);
        EXPECT_EQ(player.record(index++), "quit();\r\n");
    }
}

TEST(CtlProgram, UploadSendsTheExactSizeAndWaitsForTheEnd) {
    std::atomic<bool> refuse{false};
    FakePlayer player([&](int connection) {
        const std::string line = readLine(connection);
        if (refuse) {
            sendText(connection, "parser error\n");
            return line;
        }
        return line + readAll(connection);
    });
    ScratchDirectory scratch;
    std::string content;
    for (int i = 0; i < 70000; ++i) {
        content += static_cast<char>(i * 7 % 256);
    }
    const std::string file = scratch.write("data.bin", content);
    CtlResult result = runCtl({"-p", player.port(), "upload", file});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(player.record(0) == "uploadFile(\"data.bin\", 70000);\r\n" + content);

    const std::string binary("a\r\n\0b", 5);
    result = runCtl({"-p", player.port(), "upload", "-", "from \"stdin\".txt"}, binary);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(player.record(1), "uploadFile(\"from \\\"stdin\\\".txt\", 5);\r\n" + binary);

    refuse = true;
    result = runCtl({"-p", player.port(), "upload", file});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "velquin-ctl: the player did not take data.bin: parser error\n");

    ::mkdir((scratch.path() + "folder.zip").c_str(), 0700);
    result = runCtl({"-p", player.port(), "upload", scratch.path() + "folder.zip"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("is not a regular file"), std::string::npos);
}

TEST(CtlProgram, DownloadsLandWholeOrNotAtAll) {
    ScratchDirectory scratch;
    std::atomic<bool> breakOff{false};
    std::atomic<bool> partWritten{false};
    FakePlayer player([&](int connection) {
        const std::string line = readLine(connection);
        if (!breakOff) {
            sendText(connection, std::string(3000, 'x'));
            return line;
        }
        // Part of the file, then a reset instead of an orderly end, once velquin-ctl has written
        // the part: the reset must find a partial file to clear away.
        sendText(connection, std::string(1500, 'y'));
        partWritten = testwait::waitUntil([&] { return partialDownloadBytes(scratch.path()) == 1500; });
        linger abort{1, 0};
        ::setsockopt(connection, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        return line;
    });
    CtlResult result = runCtl({"-p", player.port(), "download", "models/ship.mesh"}, "", {}, scratch.path());
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(player.record(0), "downloadFile(\"models/ship.mesh\");\r\n");
    EXPECT_EQ(readWholeFile(scratch.path() + "ship.mesh"), std::string(3000, 'x'));
    ::mkdir((scratch.path() + "into").c_str(), 0700);
    result = runCtl({"-p", player.port(), "download", "ship.mesh", scratch.path() + "into"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(readWholeFile(scratch.path() + "into/ship.mesh"), std::string(3000, 'x'));
    result = runCtl({"-p", player.port(), "download", "ship.mesh", "-"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, std::string(3000, 'x'));

    breakOff = true;
    const std::string kept = scratch.write("kept.bin", "previous content");
    result = runCtl({"-p", player.port(), "download", "ship.mesh", kept});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err.rfind("velquin-ctl: connection lost: ", 0), 0u) << result.err;
    EXPECT_TRUE(partWritten);
    EXPECT_EQ(readWholeFile(kept), "previous content");
    std::vector<std::string> names;
    if (DIR* directory = ::opendir(scratch.path().c_str())) {
        while (const dirent* entry = ::readdir(directory)) {
            if (entry->d_name[0] != '.') {
                names.emplace_back(entry->d_name);
            }
        }
        ::closedir(directory);
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"into", "kept.bin", "ship.mesh"})); // no partial file left
}
