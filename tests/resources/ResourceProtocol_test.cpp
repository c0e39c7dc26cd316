// Resource packages through the protocol, as an authoring tool uses them: upload the package,
// create the resource, read it back, destroy it.
#include "net/NetTestSupport.h"
#include "support/PlayerProcess.h"
#include "support/ScratchDirectory.h"
#include "support/XTestDisplay.h"

#include <gtest/gtest.h>

using nettest::Client;
using nettest::connectWhenListening;
using nettest::freePort;
using nettest::upload;

namespace {} // namespace

TEST(ResourceProtocol, UploadCreateListDestroy) {
    ScratchDirectory scratch;
    const int port = freePort();
    const std::string commands =
        scratch.write("start.cmd", "project.net.init(" + std::to_string(port) + ");\n");
    PlayerProcess player;
    ASSERT_TRUE(
        player.start(PlayerProcess::builtPlayerDirectory(), {commands}, {"TMPDIR=" + scratch.path()}));
    const std::string work = scratch.path() + "Velquin-" + std::to_string(player.pid()) + "/";

    std::unique_ptr<Client> listener = connectWhenListening(port);
    ASSERT_TRUE(listener) << player.output();
    listener->send("listener();\r\n");
    EXPECT_EQ(listener->line(), "ok");
    Client command(port);
    command.send("command();\r\n");
    EXPECT_EQ(command.line(), "ok");

    // The built-in resource is there from the start.
    command.send("project.resources.getList();\r\n");
    EXPECT_EQ(command.line(), "\"Nothing\"\r");

    const std::string package = readWholeFile(PlayerProcess::builtPlayerDirectory() + "/samples/robot.zip");
    ASSERT_FALSE(package.empty());
    ASSERT_TRUE(upload(port, "robot.zip", package));

    command.send("project.resources.create(\"robot\", \"robot.zip\");\r\n");
    EXPECT_EQ(command.line(), "ok\r");
    EXPECT_EQ(listener->line(), "project.resources.created(\"robot\", \"" + work + "robot.zip\");");
    command.send("project.resources.getList();\r\n");
    EXPECT_EQ(command.line(), "\"Nothing\", \"robot\"\r");
    command.send("project.resources.getFilesInside(\"robot\");\r\n");
    EXPECT_EQ(command.line(), "\"robot.material\", \"robot.mesh\", \"robot.skeleton\", \"robot_beep.wav\", "
                              "\"robot_poster.png\", \"robot_stage.osm\", \"stage.mesh\"\r");
    command.send("project.resources.getFilename(\"robot\");\r\n");
    EXPECT_EQ(command.line(), "\"robot.zip\"\r");
    EXPECT_TRUE(pathExists(work + "robot/robot.mesh"));

    // Refused without an event: a taken name, names that are no directory names, packages
    // outside the work directory or missing. The files of an unknown resource are none.
    command.send("project.resources.create(\"robot\", \"robot.zip\");\r\n"
                 "project.resources.create(\"a/b\", \"robot.zip\");\r\n"
                 "project.resources.create(\"..\", \"robot.zip\");\r\n"
                 "project.resources.create(\"up\", \"../robot.zip\");\r\n"
                 "project.resources.create(\"gone\", \"missing.zip\");\r\n"
                 "project.resources.getFilesInside(\"nope\");\r\n"
                 "project.resources.getFilename(\"nope\");\r\n");
    for (int reply = 0; reply < 5; ++reply) {
        EXPECT_EQ(command.line(), "fail\r") << reply;
    }
    EXPECT_EQ(command.line(), "\r");
    EXPECT_EQ(command.line().compare(0, 4, "fail"), 0);

    command.send("project.resources.destroy(\"robot\");\r\nproject.resources.destroy(\"nope\");\r\n");
    EXPECT_EQ(command.line(), "ok\r");
    EXPECT_EQ(command.line(), "ok\r");
    // The next event after the refusals is the destroy: none was sent for them.
    EXPECT_EQ(listener->line(), "project.resources.destroyed(\"robot\");");
    EXPECT_EQ(listener->line(), "project.resources.destroyed(\"nope\");");
    command.send("project.resources.getList();\r\n");
    EXPECT_EQ(command.line(), "\"Nothing\"\r");

    // Created again under the same name, then a new project empties the collection.
    command.send("project.resources.create(\"robot\", \"robot.zip\");\r\n");
    EXPECT_EQ(command.line(), "ok\r");
    EXPECT_EQ(listener->line(), "project.resources.created(\"robot\", \"" + work + "robot.zip\");");
    command.send("project.new();\r\nproject.resources.getList();\r\n");
    EXPECT_EQ(command.line(), "ok\r");
    EXPECT_EQ(command.line(), "\r");

    command.close();
    listener->close();
    const unsigned long window = XTestDisplay::waitForWindow("Velquinor", 30000);
    ASSERT_NE(window, 0u);
    ASSERT_TRUE(XTestDisplay::requestClose(window));
    EXPECT_EQ(player.waitForExit(30000), 0) << player.output();
    EXPECT_FALSE(pathExists(work));
}
