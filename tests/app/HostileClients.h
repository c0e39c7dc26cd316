#pragma once

// The real player with one command connection and one listener, and the helpers the tests of
// hostile and clumsy clients share.
#include "support/PlayerSession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <dirent.h>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using nettest::Client;
using Clock = std::chrono::steady_clock;

namespace hostile {

inline std::string withoutCr(std::string line) {
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

inline double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Runs a Python snippet (the test's own tool for building archives); true when it succeeded.
inline bool python(const ScratchDirectory& scratch, const std::string& script) {
    const std::string file = scratch.write("make.py", script);
    return std::system(("python3 '" + file + "'").c_str()) == 0;
}

// Names in a directory, "." and ".." left out.
inline std::vector<std::string> namesIn(const std::string& directory) {
    std::vector<std::string> names;
    if (DIR* folder = opendir(directory.c_str())) {
        while (dirent* entry = readdir(folder)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        closedir(folder);
    }
    return names;
}

// The player's work directory below the scratch folder (TMPDIR), ending in "/".
inline std::string workDirectoryOf(PlayerSession& session, const ScratchDirectory& scratch) {
    return scratch.path() + "Velquin-" + std::to_string(session.process().pid()) + "/";
}

// A client on a connection of its own that asks for the title again and again until stopped,
// timing every reply: it shows whether other work made the remote control wait.
struct AskingClient {
    explicit AskingClient(PlayerSession& session)
        : thread([this, &session] {
              std::unique_ptr<Client> client = session.open("command");
              while (client && !done) {
                  const auto start = Clock::now();
                  client->send("project.title.get();\r\n");
                  client->line();
                  slowest = std::max(slowest, millisecondsSince(start));
                  ++asked;
              }
          }) {}
    // Stops asking and prints the figures.
    void stop() {
        done = true;
        thread.join();
        std::cout << "slowest of " << asked << " replies to another client meanwhile: " << slowest << " ms"
                  << std::endl;
    }

    std::atomic<bool> done{false};
    double slowest = 0; // milliseconds; read after stop
    int asked = 0;      // replies received; read after stop
    std::thread thread;
};

// A player with one command connection and one listener.
class HostileClients : public ::testing::Test {
protected:
    void start(std::vector<std::string> environment = {}, std::vector<std::string> launcher = {}) {
        session_ = std::make_unique<PlayerSession>(scratch_, "", PlayerProcess::builtPlayerDirectory(),
                                                   environment, std::move(launcher));
        ASSERT_TRUE(session_->ready()) << session_->process().output();
        listener_ = session_->open("listener");
        ASSERT_TRUE(listener_);
        command_ = session_->open("command");
        ASSERT_TRUE(command_);
    }

    void TearDown() override {
        if (session_ && session_->ready()) {
            EXPECT_EQ(session_->close(), 0) << session_->process().output();
        }
    }

    std::string reply(const std::string& sentence) {
        command_->send(sentence + "\r\n");
        return withoutCr(command_->line());
    }

    // A command that must broadcast nothing: the next event is the title change sent after it.
    void expectQuietFailure(const std::string& sentence, const std::string& expected = "fail") {
        EXPECT_EQ(reply(sentence), expected) << sentence;
        EXPECT_EQ(reply("project.title.set(\"mark\");"), "ok");
        EXPECT_EQ(listener_->line(), "project.title.changed(\"mark\");") << "after " << sentence;
    }

    // The player is alive and answers a new command connection within a second.
    void expectAnswering() {
        const auto start = Clock::now();
        std::unique_ptr<Client> client = session_->open("command");
        ASSERT_TRUE(client);
        client->send("project.title.get();\r\n");
        EXPECT_NE(client->line(), "<none>");
        EXPECT_LT(millisecondsSince(start), 1000.0);
        EXPECT_TRUE(session_->process().running());
    }

    void uploadSamples() {
        const std::string player = PlayerProcess::builtPlayerDirectory();
        ASSERT_TRUE(session_->upload("robot.zip", readWholeFile(player + "/samples/robot.zip")));
        ASSERT_EQ(reply("project.resources.create(\"robot\", \"robot.zip\");"), "ok");
        EXPECT_EQ(listener_->line(), "project.resources.created(\"robot\", \"" +
                                         workDirectoryOf(*session_, scratch_) + "robot.zip\");");
    }

    ScratchDirectory scratch_;
    std::unique_ptr<PlayerSession> session_;
    std::unique_ptr<Client> listener_;
    std::unique_ptr<Client> command_;
};

} // namespace hostile

using namespace hostile;
