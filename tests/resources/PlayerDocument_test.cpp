// A whole project saved, downloaded, cleared, uploaded and loaded back through the protocol.
#include "support/PlayerSession.h"

#include <gtest/gtest.h>

TEST(PlayerDocument, SaveDownloadClearUploadLoad) {
    ScratchDirectory scratch;
    PlayerSession session(scratch);
    ASSERT_TRUE(session.ready());
    auto listener = session.open("listener");
    ASSERT_TRUE(listener);
    PlayerSession& tool = session;
    const std::string built = PlayerProcess::builtPlayerDirectory();
    const std::string package = readWholeFile(built + "/samples/robot.zip");
    ASSERT_FALSE(package.empty());
    EXPECT_TRUE(tool.upload("robot.zip", package));
    EXPECT_TRUE(tool.upload("robot2.zip", package));
    EXPECT_TRUE(tool.upload("letter-v.pat", readWholeFile(built + "/markers/letter-v.pat")));
    EXPECT_TRUE(tool.upload("letter-f.pat", readWholeFile(built + "/markers/letter-f.pat")));

    auto command = session.open("command");
    ASSERT_TRUE(command);
    auto send = [&command](const std::string& sentence) {
        command->send(sentence + "\r\n");
        return command->line();
    };
    const std::vector<std::string> build = {
        "project.title.set(\"A \\\"saved\\\" show\");",
        "project.resources.create(\"robot\", \"robot.zip\");",
        "project.resources.create(\"robot2\", \"robot2.zip\");",
        "project.trackers.AR.create(\"vee\", \"letter-v.pat\", 80);",
        "project.trackers.AR.create(\"eff\", \"letter-f.pat\", 60);",
        "project.actors.mesh.create(\"bot\", \"robot\", \"robot.mesh\");",
        "project.actors.mesh.connect(\"bot\", \"vee\");",
        "project.actors.mesh.translate(\"bot\", 1, 2.5, -3);",
        "project.actors.mesh.rotate(\"bot\", 0.5, 0.5, 0.5, 0.5);",
        "project.actors.mesh.scale(\"bot\", 2, 2, 0.333333333);",
        "project.actors.scene.create(\"stage\", \"robot2\", \"robot_stage.osm\");",
        "project.actors.scene.connect(\"stage\", \"eff\");",
        "project.actors.light.create(\"lamp\");",
        "project.actors.light.translate(\"lamp\", 0, 0, 200);",
        "project.actors.file.create(\"poster\", \"robot\", \"robot_poster.png\", \"image\");",
        "project.actors.file.connect(\"poster\", \"vee\");",
    };
    for (const std::string& sentence : build) {
        EXPECT_EQ(send(sentence), "ok\r") << sentence;
    }
    EXPECT_EQ(send("project.save(\"show\");"), "ok\r");
    const std::string archive = tool.download("show.zip");
    ASSERT_FALSE(archive.empty());
    const std::string archivePath = scratch.write("downloaded.zip", archive);
    EXPECT_EQ(std::system(("unzip -tq '" + archivePath + "' >/dev/null").c_str()), 0);

    EXPECT_EQ(send("project.new();"), "ok\r");
    EXPECT_EQ(send("project.actors.mesh.getList();"), "\r");
    EXPECT_EQ(send("project.trackers.AR.getList();"), "\r");
    // Everything the listener heard so far is left behind.
    EXPECT_EQ(send("project.title.set(\"mark\");"), "ok\r");
    while (listener->line() != "project.title.changed(\"mark\");") {
    }

    EXPECT_TRUE(tool.upload("show.zip", archive));
    EXPECT_EQ(send("project.load(\"show.zip\");"), "ok\r");

    // The events of the load, in document order.
    const std::vector<std::string> expectedStarts = {
        "project.title.changed(\"A \\\"saved\\\" show\");",
        "project.resources.allDestroyed();",
        "project.resources.created(\"Nothing\", \"", // the built-in resource is part of the project
        "project.resources.created(\"robot\", \"",
        "project.resources.created(\"robot2\", \"",
        "project.trackers.allDestroyed();",
        "project.trackers.AR.created(\"eff\", \"letter-f.pat\", 60);",
        "project.trackers.AR.created(\"vee\", \"letter-v.pat\", 80);",
        "project.actors.allDestroyed();",
        "project.actors.mesh.created(\"bot\"\"robot\"\"robot.mesh\");",
        "project.actors.mesh.connected(\"bot\", \"vee\");",
        "project.actors.mesh.translated(\"bot\", 1, 2.5, -3);",
        "project.actors.mesh.rotated(\"bot\"",
        "project.actors.mesh.scaled(\"bot\", 2, 2, 0.333333);",
        "project.actors.scene.created(\"stage\", \"robot2\", \"robot_stage.osm\");",
        "project.actors.scene.connected(\"stage\", \"eff\");",
    };
    for (const std::string& start : expectedStarts) {
        const std::string event = listener->line();
        EXPECT_EQ(event.compare(0, start.size(), start), 0) << "expected " << start << "\n got " << event;
    }

    EXPECT_EQ(send("project.title.get();"), "\"A \"saved\" show\"\r");
    EXPECT_EQ(send("project.resources.getList();"), "\"Nothing\", \"robot\", \"robot2\"\r");
    EXPECT_EQ(send("project.trackers.AR.getList();"), "\"eff\", \"vee\"\r");
    EXPECT_EQ(send("project.trackers.AR.getWidth(\"eff\");"), "60\r");
    EXPECT_EQ(send("project.actors.mesh.getTranslation(\"bot\");"), "(1, 2.5, -3)\r");
    EXPECT_EQ(send("project.actors.mesh.getRotation(\"bot\");"), "(0.5, 0.5, 0.5, 0.5)\r");
    EXPECT_EQ(send("project.actors.mesh.getScale(\"bot\");"), "(2, 2, 0.333333)\r");
    EXPECT_EQ(send("project.actors.mesh.getTrackerName(\"bot\");"), "\"vee\"\r");
    EXPECT_EQ(send("project.actors.light.getTrackerName(\"lamp\");"), "\"\"\r"); // saved unconnected
    EXPECT_EQ(send("project.actors.light.getTranslation(\"lamp\");"), "(0, 0, 200)\r");
    EXPECT_EQ(send("project.actors.file.getType(\"poster\");"), "\"image\"\r");
    EXPECT_EQ(send("project.actors.scene.getSceneName(\"stage\");"), "\"robot_stage.osm\"\r");

    EXPECT_EQ(session.close(), 0) << session.process().output();
}
