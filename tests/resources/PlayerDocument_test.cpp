// A whole project saved, downloaded, cleared, uploaded and loaded back through the protocol.
#include "net/NetTestSupport.h"
#include "support/PlayerProcess.h"
#include "support/ScratchDirectory.h"
#include "support/XTestDisplay.h"

#include <gtest/gtest.h>

using nettest::Client;

namespace {

class Tool {
public:
    Tool(int port, const std::string& workScratch) : port_(port), scratch_(workScratch) {}

    void upload(const std::string& name, const std::string& bytes) {
        Client client(port_);
        client.send("uploadFile(\"" + name + "\", " + std::to_string(bytes.size()) + ");\r\n" + bytes);
        EXPECT_TRUE(client.closedByServer());
    }
    std::string download(const std::string& name) {
        Client client(port_);
        client.send("downloadFile(\"" + name + "\");\r\n");
        std::string bytes;
        char chunk[4096];
        ssize_t got = 0;
        while ((got = ::recv(client.handle(), chunk, sizeof chunk, 0)) > 0) {
            bytes.append(chunk, static_cast<size_t>(got));
        }
        return bytes;
    }

private:
    int port_;
    std::string scratch_;
};

} // namespace

TEST(PlayerDocument, SaveDownloadClearUploadLoad) {
    ScratchDirectory scratch;
    int port = 0;
    {
        nettest::PortHolder holder;
        port = holder.port();
    }
    PlayerProcess player;
    ASSERT_TRUE(
        player.start(PlayerProcess::builtPlayerDirectory(),
                     {scratch.write("start.cmd", "project.net.init(" + std::to_string(port) + ");\n")},
                     {"TMPDIR=" + scratch.path()}));
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

    Tool tool(port, scratch.path());
    const std::string built = PlayerProcess::builtPlayerDirectory();
    const std::string package = readWholeFile(built + "/samples/robot.zip");
    ASSERT_FALSE(package.empty());
    tool.upload("robot.zip", package);
    tool.upload("robot2.zip", package);
    tool.upload("letter-v.pat", readWholeFile(built + "/markers/letter-v.pat"));
    tool.upload("letter-f.pat", readWholeFile(built + "/markers/letter-f.pat"));

    Client command(port);
    command.send("command();\r\n");
    EXPECT_EQ(command.line(), "ok");
    auto send = [&command](const std::string& sentence) {
        command.send(sentence + "\r\n");
        return command.line();
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

    tool.upload("show.zip", archive);
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

    ASSERT_TRUE(XTestDisplay::requestClose(window));
    EXPECT_EQ(player.waitForExit(30000), 0) << player.output();
}
