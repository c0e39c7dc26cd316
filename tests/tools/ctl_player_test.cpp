// velquin-ctl driving a real player, started with a command file that opens its remote control.
#include "CtlProcess.h"
#include "support/PlayerProcess.h"
#include "support/ScratchDirectory.h"
#include "support/Wait.h"

#include <arpa/inet.h>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

int freePort() {
    const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(probe);
    return ntohs(address.sin_port);
}

// True when something on this machine takes connections on the port.
bool listening(int port) {
    const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool connected = ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(probe);
    return connected;
}

// Bytes that a text-mode transfer or a line-based reader would damage.
std::string awkwardBytes(size_t size) {
    std::string bytes;
    for (size_t i = 0; bytes.size() < size; ++i) {
        bytes += i % 5 == 0   ? std::string("\r\n", 2)
                 : i % 7 == 0 ? std::string(1, '\0')
                              : std::string(1, char(i * 31));
    }
    bytes.resize(size);
    return bytes;
}

} // namespace

// One player serves every test here: starting one takes seconds.
class CtlAgainstPlayer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        scratch_ = new ScratchDirectory();
        port_ = std::to_string(freePort());
        const std::string commands = scratch_->write("start.cmd", "project.net.init(" + port_ + ");\n");
        player_ = new PlayerProcess();
        ASSERT_TRUE(player_->start(PlayerProcess::builtPlayerDirectory(), {commands},
                                   {"TMPDIR=" + scratch_->path()}));
        // A reply means the main loop runs: commands execute between frames. velquin-ctl is
        // started only once the port takes connections; until then a connect costs less.
        bool answered = false;
        testwait::waitUntil(
            [&] {
                if (player_->pid() < 0 || player_->waitForExit(0) != -1) {
                    return true; // ended: nothing to wait for
                }
                answered =
                    listening(std::stoi(port_)) &&
                    runCtl({"-p", port_, "-t", "20", "send", "project.debug.isVisible();"}).status == 0;
                return answered;
            },
            std::chrono::seconds(60));
        if (answered) {
            return;
        }
        player_->waitForExit(1000); // collects what it wrote
        FAIL() << "the player never answered: " << player_->output();
    }

    static void TearDownTestSuite() {
        // SIGTERM ends the player as closing its window does. (No pid once it has ended: never
        // signal -1, which means every process.)
        if (player_->pid() > 0) {
            ::kill(player_->pid(), SIGTERM);
            EXPECT_EQ(player_->waitForExit(60000), 0) << player_->output();
        }
        delete player_;
        delete scratch_;
    }

    static CtlResult ctl(std::vector<std::string> arguments, const std::string& input = "",
                         const std::string& directory = "") {
        arguments.insert(arguments.begin(), {"-p", port_, "-t", "30"});
        return runCtl(arguments, input, {}, directory);
    }

    static ScratchDirectory* scratch_;
    static PlayerProcess* player_;
    static std::string port_;
};

ScratchDirectory* CtlAgainstPlayer::scratch_ = nullptr;
PlayerProcess* CtlAgainstPlayer::player_ = nullptr;
std::string CtlAgainstPlayer::port_;

TEST_F(CtlAgainstPlayer, SendPrintsEachReplyAndFailsOnAFailReply) {
    CtlResult result = ctl({"send", "project.title.set(\"A \\\"big\\\" show\");", "project.title.get();"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "ok\n\"A \"big\" show\"\n");
    EXPECT_EQ(result.err, "");

    result = ctl({"send", "project.actors.isSelected(\"nobody\");"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "fail\n");

    // Standard input: comments and empty lines skipped, every other line answered in order.
    result = ctl({"send"}, "# the show\nproject.unknown();\n\nnot a sentence\nproject.debug.isVisible();\n");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "fail invalid sentence\nfail parser error\nfalse\n");
}

TEST_F(CtlAgainstPlayer, ListenPrintsAnEvent) {
    CtlProcess listener;
    ASSERT_TRUE(listener.start({"-p", port_, "-t", "30", "listen", "-n", "1"}));
    // The listener is registered some time after it started: keep changing the title until it
    // sees one change.
    bool seen = false;
    for (int i = 0; i < 100 && !seen; ++i) {
        ASSERT_EQ(ctl({"send", "project.title.set(\"E" + std::to_string(i) + "\");"}).status, 0);
        seen = listener.waitForOutput("\n", 100);
    }
    EXPECT_EQ(listener.finish(30000), 0) << listener.err();
    // One event, for whichever title it first saw: project.title.changed("E<number>");
    const std::string out = listener.out();
    const std::string head = "project.title.changed(\"E";
    const std::string tail = "\");\n";
    ASSERT_GT(out.size(), head.size() + tail.size()) << out;
    EXPECT_EQ(out.substr(0, head.size()), head);
    EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
    EXPECT_EQ(out.substr(head.size(), out.size() - head.size() - tail.size()).find_first_not_of("0123456789"),
              std::string::npos)
        << out;
}

TEST_F(CtlAgainstPlayer, UploadThenDownloadIsByteIdentical) {
    ScratchDirectory local;
    const std::string content = awkwardBytes(5000); // more than four of the player's chunks
    const std::string file = local.write("original.bin", content);
    CtlResult result = ctl({"upload", file, "some/folder/round trip.bin"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "");

    result = ctl({"download", "round trip.bin", local.path() + "back.bin"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(readWholeFile(local.path() + "back.bin") == content);

    // Through standard input and standard output as well.
    result = ctl({"upload", "-", "piped.bin"}, content.substr(0, 1030));
    ASSERT_EQ(result.status, 0) << result.err;
    result = ctl({"download", "piped.bin", "-"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(result.out == content.substr(0, 1030));

    // A missing file comes back as nothing at all: a failure, and no file is made.
    result = ctl({"download", "missing.bin"}, "", local.path());
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "velquin-ctl: nothing received for missing.bin: the player has no such file in "
                          "its work directory, or it is empty\n");
    EXPECT_FALSE(pathExists(local.path() + "missing.bin"));
}

TEST(PlayerCommandLine, HelpAndVersionAnswerBeforeAnySetUp) {
    // Run where the player's files are not, with no display: any set-up would fail or leave a
    // work directory or a log behind.
    ScratchDirectory scratch;
    const std::string player = PlayerProcess::builtPlayerDirectory() + "/velquin";
    const std::string run =
        "cd '" + scratch.path() + "' && env -u DISPLAY TMPDIR='" + scratch.path() + "' '" + player + "' ";
    ASSERT_EQ(std::system((run + "--help >help.txt 2>&1").c_str()), 0);
    const std::string help = readWholeFile(scratch.path() + "help.txt");
    EXPECT_EQ(help.rfind("Usage: velquin [OPTION]... [COMMAND-FILE]\n", 0), 0u) << help;
    for (const char* topic :
         {"VELQUIN_NO_CONFIG_DIALOG=1", "VELQUIN_RECORDINGS", "\"log.txt\"", "current directory",
          "--settings", "--fullscreen", "--screen N", "--list-cameras", "F11", "Numpad 0", "debug overlay"}) {
        EXPECT_NE(help.find(topic), std::string::npos) << topic;
    }
    ASSERT_EQ(std::system((run + "--version >version.txt 2>&1").c_str()), 0);
    const std::string version = readWholeFile(scratch.path() + "version.txt");
    EXPECT_EQ(version.rfind("velquin ", 0), 0u) << version;
    EXPECT_EQ(version.find("unknown"), std::string::npos) << version;
    // The camera list needs no display either; this machine may have a camera or none.
    ASSERT_EQ(std::system((run + "--list-cameras >cameras.txt 2>&1").c_str()), 0);
    const std::string cameras = readWholeFile(scratch.path() + "cameras.txt");
    EXPECT_TRUE(cameras.rfind("No camera found", 0) == 0 || cameras.rfind("/dev/", 0) == 0) << cameras;
    EXPECT_EQ(std::system((run + "--screen x >/dev/null 2>&1").c_str()) >> 8, 2); // a usage error
    EXPECT_FALSE(pathExists(scratch.path() + "log.txt"));
    EXPECT_EQ(std::system(("ls -d '" + scratch.path() + "'Velquin-* >/dev/null 2>&1").c_str()) == 0, false);
}
