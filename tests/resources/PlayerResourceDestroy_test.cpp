// A resource destroyed while actors still show its meshes: the actors go first, with their
// events, and the player keeps drawing.
#include "net/NetTestSupport.h"
#include "support/PlayerProcess.h"
#include "support/ScratchDirectory.h"
#include "support/XTestDisplay.h"

#include <gtest/gtest.h>

using nettest::Client;

TEST(PlayerResourceDestroy, ActorsOfTheResourceGoFirst) {
    ScratchDirectory scratch;
    int port = 0;
    {
        nettest::PortHolder holder;
        port = holder.port();
    }
    const std::string commands =
        scratch.write("start.cmd", "project.net.init(" + std::to_string(port) + ");\n");
    PlayerProcess player;
    ASSERT_TRUE(
        player.start(PlayerProcess::builtPlayerDirectory(), {commands}, {"TMPDIR=" + scratch.path()}));
    const unsigned long window = XTestDisplay::waitForWindow("Velquinor", 60000);
    ASSERT_NE(window, 0u);
    std::unique_ptr<Client> listener;
    for (int attempt = 0; attempt < 300 && !(listener && listener->connected()); ++attempt) {
        listener = std::make_unique<Client>(port);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(listener->connected());
    listener->send("listener();\r\n");
    EXPECT_EQ(listener->line(), "ok");
    const std::string package = readWholeFile(PlayerProcess::builtPlayerDirectory() + "/samples/robot.zip");
    ASSERT_FALSE(package.empty());
    {
        Client upload(port);
        upload.send("uploadFile(\"robot.zip\", " + std::to_string(package.size()) + ");\r\n" + package);
        EXPECT_TRUE(upload.closedByServer());
    }
    Client command(port);
    command.send("command();\r\n");
    EXPECT_EQ(command.line(), "ok");
    command.send("project.resources.create(\"robot\", \"robot.zip\");\r\n"
                 "project.actors.mesh.create(\"bot\", \"robot\", \"robot.mesh\");\r\n"
                 "project.actors.scene.create(\"stage\", \"robot\", \"robot_stage.osm\");\r\n"
                 "project.actors.light.create(\"lamp\");\r\n");
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(command.line(), "ok\r");
        listener->line();
    }
    command.send("project.resources.destroy(\"robot\");\r\n");
    EXPECT_EQ(command.line(), "ok\r");
    // Each goes as its own destroy command would: unconnected, then destroyed.
    EXPECT_EQ(listener->line(), "project.actors.mesh.unconnected(\"bot\");");
    EXPECT_EQ(listener->line(), "project.actors.mesh.destroyed(\"bot\");");
    EXPECT_EQ(listener->line(), "project.actors.scene.unconnected(\"stage\");");
    EXPECT_EQ(listener->line(), "project.actors.scene.destroyed(\"stage\");");
    EXPECT_EQ(listener->line(), "project.resources.destroyed(\"robot\");");
    std::this_thread::sleep_for(std::chrono::milliseconds(500)); // a few frames
    command.send("project.actors.mesh.getList();\r\nproject.actors.light.getList();\r\n");
    EXPECT_EQ(command.line(), "\r");
    EXPECT_EQ(command.line(), "\"lamp\"\r");
    EXPECT_TRUE(player.running());
    ASSERT_TRUE(XTestDisplay::requestClose(window));
    EXPECT_EQ(player.waitForExit(30000), 0) << player.output();
}
