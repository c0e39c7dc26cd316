#pragma once

// A player started as an authoring tool finds it: its remote control open on a free port (from a
// start-up command file), its window on the test's display. With the clients and transfers the
// protocol tests share.
#include "net/NetTestSupport.h"
#include "support/PlayerProcess.h"
#include "support/ScratchDirectory.h"
#include "support/XTestDisplay.h"

#include <memory>
#include <string>
#include <vector>

class PlayerSession {
public:
    // Starts the built player with its work directory in the scratch folder; more start-up
    // sentences may follow the one that opens the remote control.
    // folder: the player folder to start in (a private copy keeps its own log.txt). The
    // environment entries ("NAME=value") and the launcher, when given, go to the player.
    explicit PlayerSession(const ScratchDirectory& scratch, const std::string& moreCommands = "",
                           const std::string& folder = PlayerProcess::builtPlayerDirectory(),
                           const std::vector<std::string>& environment = {},
                           std::vector<std::string> launcher = {})
        : port_(nettest::freePort()) {
        const std::string commands =
            scratch.write("start.cmd", "project.net.init(" + std::to_string(port_) + ");\n" + moreCommands);
        std::vector<std::string> variables = environment;
        variables.push_back("TMPDIR=" + scratch.path());
        player_.setLauncher(std::move(launcher));
        player_.captureStandardError();
        started_ = player_.start(folder, {commands}, variables);
        if (started_) {
            window_ = XTestDisplay::waitForWindow("Velquinor", 60000);
        }
    }

    // True when the player runs with its window shown.
    bool ready() const { return started_ && window_ != 0; }
    PlayerProcess& process() { return player_; }
    unsigned long window() const { return window_; }
    int port() const { return port_; }

    // A connection, once the player listens (set-up may still be running).
    std::unique_ptr<nettest::Client> connect() { return nettest::connectWhenListening(port_); }
    // A connection after its handshake ("command" or "listener"), or nothing.
    std::unique_ptr<nettest::Client> open(const std::string& mode) {
        std::unique_ptr<nettest::Client> client = connect();
        if (!client) {
            return nullptr;
        }
        client->send(mode + "();\r\n");
        return client->line() == "ok" ? std::move(client) : nullptr;
    }

    // Streams bytes into the player's work directory and waits until the player has them all.
    bool upload(const std::string& name, const std::string& content) {
        return nettest::upload(port_, name, content);
    }
    // A file of the work directory; empty when the player sends nothing.
    std::string download(const std::string& name) {
        nettest::Client client(port_);
        client.send("downloadFile(\"" + name + "\");\r\n");
        std::string bytes;
        char chunk[4096];
        ssize_t got = 0;
        while ((got = ::recv(client.handle(), chunk, sizeof chunk, 0)) > 0) {
            bytes.append(chunk, static_cast<size_t>(got));
        }
        return bytes;
    }

    // Closes the window as a window manager would; the player's exit status.
    int close() {
        if (!XTestDisplay::requestClose(window_)) {
            return -1;
        }
        return player_.waitForExit(30000);
    }

private:
    int port_;
    PlayerProcess player_;
    bool started_ = false;
    unsigned long window_ = 0;
};
