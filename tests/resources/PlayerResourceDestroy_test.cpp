// A resource destroyed while actors still show its meshes: the actors go first, with their
// events, and the player keeps drawing.
#include "support/PlayerSession.h"
#include "support/Wait.h"

#include <gtest/gtest.h>

TEST(PlayerResourceDestroy, ActorsOfTheResourceGoFirst) {
    ScratchDirectory scratch;
    PlayerSession session(scratch);
    ASSERT_TRUE(session.ready());
    auto listener = session.open("listener");
    ASSERT_TRUE(listener);
    const std::string package = readWholeFile(PlayerProcess::builtPlayerDirectory() + "/samples/robot.zip");
    ASSERT_FALSE(package.empty());
    ASSERT_TRUE(session.upload("robot.zip", package));
    auto command = session.open("command");
    ASSERT_TRUE(command);
    command->send("project.resources.create(\"robot\", \"robot.zip\");\r\n"
                  "project.actors.mesh.create(\"bot\", \"robot\", \"robot.mesh\");\r\n"
                  "project.actors.scene.create(\"stage\", \"robot\", \"robot_stage.osm\");\r\n"
                  "project.actors.light.create(\"lamp\");\r\n");
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(command->line(), "ok\r");
        listener->line();
    }
    command->send("project.resources.destroy(\"robot\");\r\n");
    EXPECT_EQ(command->line(), "ok\r");
    // Each goes as its own destroy command would: unconnected, then destroyed.
    EXPECT_EQ(listener->line(), "project.actors.mesh.unconnected(\"bot\");");
    EXPECT_EQ(listener->line(), "project.actors.mesh.destroyed(\"bot\");");
    EXPECT_EQ(listener->line(), "project.actors.scene.unconnected(\"stage\");");
    EXPECT_EQ(listener->line(), "project.actors.scene.destroyed(\"stage\");");
    EXPECT_EQ(listener->line(), "project.resources.destroyed(\"robot\");");
    // A few frames drawn without the destroyed meshes, the player alive all the while.
    EXPECT_TRUE(
        testwait::holdsFor(std::chrono::milliseconds(500), [&] { return session.process().running(); }));
    command->send("project.actors.mesh.getList();\r\nproject.actors.light.getList();\r\n");
    EXPECT_EQ(command->line(), "\r");
    EXPECT_EQ(command->line(), "\"lamp\"\r");
    EXPECT_TRUE(session.process().running());
    EXPECT_EQ(session.close(), 0) << session.process().output();
}
