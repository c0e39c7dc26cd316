// The player driven as an authoring tool drives it: a start-up command file that opens the
// server, then command and listener connections over TCP.
#include "net/NetTestSupport.h"
#include "support/PlayerProcess.h"
#include "support/ScratchDirectory.h"
#include "support/Wait.h"
#include "support/XTestDisplay.h"

#include <gtest/gtest.h>

using nettest::Client;
using nettest::connectWhenListening;
using nettest::freePort;

TEST(PlayerProtocol, CommandsRepliesAndEventsOverTcp) {
    ScratchDirectory scratch;
    const int port = freePort();
    const std::string commands = scratch.write("start.cmd", "# opens the remote control\n"
                                                            "project.title.set(\"Opening\");\n"
                                                            "project.net.init(" +
                                                                std::to_string(port) +
                                                                ");\n"
                                                                "quit();\n"
                                                                "project.title.set(\"never\");\n");
    PlayerProcess player;
    ASSERT_TRUE(
        player.start(PlayerProcess::builtPlayerDirectory(), {commands}, {"TMPDIR=" + scratch.path()}));

    std::unique_ptr<Client> listener = connectWhenListening(port);
    ASSERT_TRUE(listener) << player.output();
    listener->send("listener();\r\n");
    EXPECT_EQ(listener->line(), "ok");

    Client command(port);
    command.send("command();\r\n");
    EXPECT_EQ(command.line(), "ok");
    command.send("project.title.get();\r\n");
    EXPECT_EQ(command.line(), "\"Opening\"\r"); // the command file stopped at quit
    command.send("project.title.set(\"A \\\"big\\\" show\");\r\n");
    EXPECT_EQ(command.line(), "ok\r");
    EXPECT_EQ(listener->line(), "project.title.changed(\"A \\\"big\\\" show\");");
    command.send("project.debug.isVisible();\r\nproject.debug.show();\r\nproject.debug.show();\r\n"
                 "project.debug.isVisible();\r\n");
    EXPECT_EQ(command.line(), "false\r");
    EXPECT_EQ(command.line(), "ok\r");
    EXPECT_EQ(command.line(), "ok\r");
    EXPECT_EQ(command.line(), "true\r");
    EXPECT_EQ(listener->line(), "project.debug.showed();"); // once: the second show changed nothing
    command.send("project.videocapture.threshold.manual(80);\r\n");
    EXPECT_EQ(command.line(), "ok\r");
    EXPECT_EQ(listener->line(), "project.videocapture.threshold.auto_changed(false);");
    EXPECT_EQ(listener->line(), "project.videocapture.threshold.value_changed(80);");
    command.send("project.actors.mesh.destroy(\"nothing\");\r\nproject.unknown();\r\n");
    EXPECT_EQ(command.line(), "ok\r");
    EXPECT_EQ(command.line(), "fail invalid sentence\r");
    EXPECT_EQ(listener->line(), "project.actors.mesh.destroyed(\"nothing\");");

    // net done from a command connection closes every connection, its own included (its reply
    // is lost); the player goes on running until its window is closed.
    command.send("project.net.done();\r\n");
    EXPECT_TRUE(command.closedByServer());
    EXPECT_TRUE(listener->closedByServer());
    EXPECT_TRUE(player.running());

    const unsigned long window = XTestDisplay::waitForWindow("Velquinor", 30000);
    ASSERT_NE(window, 0u);
    ASSERT_TRUE(XTestDisplay::requestClose(window));
    EXPECT_EQ(player.waitForExit(30000), 0) << player.output();
}

TEST(PlayerProtocol, MissingCommandFileStillStartsAndExtraArgumentsAreIgnored) {
    ScratchDirectory scratch;
    const int port = freePort();
    const std::string commands =
        scratch.write("start.cmd", "project.net.init(" + std::to_string(port) + ");\n");
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{scratch.path() + "missing.cmd"},
          std::vector<std::string>{commands, "extra"}}) {
        PlayerProcess player;
        ASSERT_TRUE(
            player.start(PlayerProcess::builtPlayerDirectory(), arguments, {"TMPDIR=" + scratch.path()}));
        const unsigned long window = XTestDisplay::waitForWindow("Velquinor", 30000);
        ASSERT_NE(window, 0u);
        // No command ran: nobody listens, all through the half second after the window came.
        EXPECT_TRUE(
            testwait::holdsFor(std::chrono::milliseconds(500), [&] { return !Client(port).connected(); }));
        ASSERT_TRUE(XTestDisplay::requestClose(window));
        EXPECT_EQ(player.waitForExit(30000), 0) << player.output();
    }
}
