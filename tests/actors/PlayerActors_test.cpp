// Actors through the protocol, as an authoring tool drives them: every actor command of the four
// kinds with its reply and its event, the general actor commands, and a mesh actor that appears
// when the recorded camera shows its marker.
#include "net/NetTestSupport.h"
#include "support/PlayerProcess.h"
#include "support/ScratchDirectory.h"
#include "support/Wait.h"
#include "support/XTestDisplay.h"

#include <gtest/gtest.h>

using nettest::Client;
using nettest::connectWhenListening;
using nettest::freePort;
using nettest::upload;

namespace {

// One player with the sample package as "robot" and a tracker "vee"; a command and a listener
// connection.
class PlayerActors : public ::testing::Test {
protected:
    void SetUp() override {
        const int port = port_ = freePort();
        const std::string commands =
            scratch_.write("start.cmd", "project.net.init(" + std::to_string(port) + ");\n");
        ASSERT_TRUE(
            player_.start(PlayerProcess::builtPlayerDirectory(), {commands}, {"TMPDIR=" + scratch_.path()}));
        listener_ = connectWhenListening(port);
        ASSERT_TRUE(listener_) << player_.output();
        listener_->send("listener();\r\n");
        ASSERT_EQ(listener_->line(), "ok");
        const std::string player = PlayerProcess::builtPlayerDirectory();
        ASSERT_TRUE(upload(port, "robot.zip", readWholeFile(player + "/samples/robot.zip")));
        ASSERT_TRUE(upload(port, "letter-v.pat", readWholeFile(player + "/markers/letter-v.pat")));
        command_ = std::make_unique<Client>(port);
        command_->send("command();\r\n");
        ASSERT_EQ(command_->line(), "ok");
        ASSERT_EQ(reply("project.resources.create(\"robot\", \"robot.zip\");"), "ok");
        ASSERT_EQ(reply("project.trackers.AR.create(\"vee\", \"letter-v.pat\", 80);"), "ok");
        listener_->line();
        listener_->line();
    }

    void TearDown() override {
        const unsigned long window = XTestDisplay::waitForWindow("Velquinor", 30000);
        ASSERT_NE(window, 0u);
        ASSERT_TRUE(XTestDisplay::requestClose(window));
        EXPECT_EQ(player_.waitForExit(30000), 0) << player_.output();
    }

    // Sends one command and returns its reply without the line end.
    std::string reply(const std::string& sentence) {
        command_->send(sentence + "\r\n");
        std::string line = command_->line();
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        return line;
    }
    std::string event() { return listener_->line(); }

    // The reply and the event of one command.
    void expect(const std::string& sentence, const std::string& expectedReply,
                const std::string& expectedEvent) {
        EXPECT_EQ(reply(sentence), expectedReply) << sentence;
        EXPECT_EQ(event(), expectedEvent) << sentence;
    }
    // A command that broadcasts nothing: checked by a title change sent after it, whose event
    // must be the next one.
    void expectQuiet(const std::string& sentence, const std::string& expectedReply) {
        EXPECT_EQ(reply(sentence), expectedReply) << sentence;
        EXPECT_EQ(reply("project.title.set(\"mark\");"), "ok");
        EXPECT_EQ(event(), "project.title.changed(\"mark\");") << "after " << sentence;
    }

    // The translate, getTranslation and unconnect commands that every kind has.
    void commonBlock(const std::string& kind, const std::string& name) {
        const std::string p = "project.actors." + kind + ".";
        const std::string q = "\"" + name + "\"";
        expectQuiet(p + "getTrackerName(" + q + ");", "\"\"");
        expectQuiet(p + "connect(" + q + ", \"absent\");", "fail");
        expect(p + "connect(" + q + ", \"vee\");", "ok", p + "connected(" + q + ", \"vee\");");
        expectQuiet(p + "getTrackerName(" + q + ");", "\"vee\"");
        expectQuiet(p + "getTrackerName(\"nobody\");", "fail ");
        expect(p + "translate(" + q + ", 1, 2.5, 0.125);", "ok", p + "translated(" + q + ", 1, 2.5, 0.125);");
        expect(p + "translate(" + q + ", 0.333333333, -4, 1e-7);", "ok",
               p + "translated(" + q + ", 0.333333, -4, 1e-07);");
        expectQuiet(p + "getTranslation(" + q + ");", "(0.333333, -4, 1e-07)");
        expectQuiet(p + "translate(\"nobody\", 1, 2, 3);", "fail");
        expectQuiet(p + "getTranslation(\"nobody\");", "fail");
        expect(p + "unconnect(" + q + ");", "ok", p + "unconnected(" + q + ");");
        expectQuiet(p + "getTrackerName(" + q + ");", "\"\"");
        expectQuiet(p + "unconnect(\"nobody\");", "fail");
    }

    // rotate, pitch, yaw, roll, scale and their getters of mesh and scene actors.
    void turnBlock(const std::string& kind, const std::string& name) {
        const std::string p = "project.actors." + kind + ".";
        const std::string q = "\"" + name + "\"";
        // The rotated sentence carries the angles read back, the first right after the name.
        auto rotated = [&](const std::string& sentence) -> std::string {
            EXPECT_EQ(reply(sentence), "ok") << sentence;
            const std::string sent = event();
            const std::string angles = reply(p + "getAngles(" + q + ");");
            if (angles.size() < 2) {
                ADD_FAILURE() << "no angles for " << sentence;
                return angles;
            }
            EXPECT_EQ(sent, p + "rotated(" + q + angles.substr(1, angles.size() - 2) + ");") << sentence;
            return angles;
        };
        EXPECT_EQ(rotated(p + "rotate(" + q + ", 1, 0, 0, 0);"), "(0, 0, 0)");
        expectQuiet(p + "getRotation(" + q + ");", "(1, 0, 0, 0)");
        EXPECT_EQ(rotated(p + "pitch(" + q + ", 90);").substr(0, 4), "(90,");
        rotated(p + "rotate(" + q + ", 1, 0, 0, 0);");
        EXPECT_EQ(rotated(p + "roll(" + q + ", 30);"), "(0, 0, 30)");
        rotated(p + "yaw(" + q + ", 10);");
        EXPECT_EQ(reply(p + "rotate(" + q + ", 2, 0, 0, 0);"), "ok");
        event();
        // Kept unnormalised.
        expectQuiet(p + "getRotation(" + q + ");", "(2, 0, 0, 0)");
        expectQuiet(p + "pitch(\"nobody\", 1);", "fail");
        expectQuiet(p + "getAngles(\"nobody\");", "fail");
        expect(p + "scale(" + q + ", 2, 0.5, 1);", "ok", p + "scaled(" + q + ", 2, 0.5, 1);");
        expectQuiet(p + "getScale(" + q + ");", "(2, 0.5, 1)");
        expectQuiet(p + "scale(\"nobody\", 1, 1, 1);", "fail");
    }

    ScratchDirectory scratch_;
    int port_ = 0;
    PlayerProcess player_;
    std::unique_ptr<Client> listener_;
    std::unique_ptr<Client> command_;
};

} // namespace

TEST_F(PlayerActors, LightActorCommands) {
    const std::string p = "project.actors.light.";
    expect(p + "create(\"lamp\");", "ok", "project.actors.light.created(\"lamp\");");
    expectQuiet(p + "create(\"lamp\");", "fail");
    expect(p + "create(\"a \\\"b\\\"\");", "ok", "project.actors.light.created(\"a \\\"b\\\"\");");
    expectQuiet(p + "getList();", "\"a \\\"b\\\"\", \"lamp\"");
    expectQuiet(p + "getLightName(\"lamp\");", "\"lamp\"");
    expectQuiet(p + "getLightName(\"nobody\");", "fail ");
    commonBlock("light", "lamp");
    expectQuiet(p + "rotate(\"lamp\", 1, 0, 0, 0);", "fail invalid sentence");
    expectQuiet(p + "scale(\"lamp\", 1, 1, 1);", "fail invalid sentence");
    // Destroy unconnects first (an event whenever the kind holds the name), then destroys.
    expect(p + "destroy(\"lamp\");", "ok", "project.actors.light.unconnected(\"lamp\");");
    EXPECT_EQ(event(), "project.actors.light.destroyed(\"lamp\");");
    expect(p + "destroy(\"lamp\");", "ok", "project.actors.light.destroyed(\"lamp\");");
    expectQuiet(p + "getList();", "\"a \\\"b\\\"\"");
}

TEST_F(PlayerActors, FileActorCommands) {
    const std::string p = "project.actors.file.";
    expect(p + "create(\"poster\", \"robot\", \"robot_poster.png\", \"image\");", "ok",
           "project.actors.file.created(\"poster\"\"robot\"\"robot_poster.png\"\"image\");");
    expectQuiet(p + "create(\"other\", \"robot\", \"robot_poster.png\", \"no such icon\");", "fail");
    expectQuiet(p + "create(\"poster\", \"robot\", \"robot_beep.wav\", \"audio\");", "fail");
    expectQuiet(p + "getList();", "\"poster\"");
    expectQuiet(p + "getType(\"poster\");", "\"image\"");
    expectQuiet(p + "getResourceName(\"poster\");", "\"robot\"");
    expectQuiet(p + "getFileName(\"poster\");", "\"robot_poster.png\"");
    expectQuiet(p + "getFileName(\"nobody\");", "fail ");
    commonBlock("file", "poster");
    expect(p + "destroy(\"poster\");", "ok", "project.actors.file.unconnected(\"poster\");");
    EXPECT_EQ(event(), "project.actors.file.destroyed(\"poster\");");
    expectQuiet(p + "getList();", "");
}

TEST_F(PlayerActors, MeshActorCommandsAndItsMarker) {
    const std::string p = "project.actors.mesh.";
    expect(p + "create(\"bot\", \"robot\", \"robot.mesh\");", "ok",
           "project.actors.mesh.created(\"bot\"\"robot\"\"robot.mesh\");");
    expectQuiet(p + "create(\"bad\", \"robot\", \"robot.Mesh\");", "fail");
    expectQuiet(p + "create(\"bad\", \"robot\", \"stage.mesh.missing\");", "fail");
    expectQuiet(p + "getList();", "\"bot\"");
    expectQuiet(p + "getResourceName(\"bot\");", "\"robot\"");
    expectQuiet(p + "getMeshName(\"bot\");", "\"robot.mesh\"");
    // A fresh actor is turned by yaw 90 then roll 90.
    const std::string angles = reply(p + "getAngles(\"bot\");");
    EXPECT_NE(angles, "(0, 0, 0)");
    EXPECT_EQ(angles.front(), '(');
    commonBlock("mesh", "bot");
    turnBlock("mesh", "bot");

    // General actor commands.
    expectQuiet("project.actors.getAnimationsList(\"bot\");", "\"Walk\", \"Wave\"");
    expectQuiet("project.actors.getAnimationsList(\"nobody\");", "");
    expectQuiet("project.actors.action(\"bot\", \"animation_loop\", \"Walk\");", "ok");
    expectQuiet("project.actors.action(\"bot\", \"play\", \"\");", "ok");
    expectQuiet("project.actors.action(\"bot\", \"unknown\", \"1\");", "ok");
    expectQuiet("project.actors.action(\"nobody\", \"play\", \"\");", "fail");
    // Selected only while the marker is in view: found, so "ok" and the event.
    expect("project.actors.select(\"bot\");", "ok", "project.actors.selected(\"bot\");");
    expectQuiet("project.actors.isSelected(\"bot\");", "fail");
    expectQuiet("project.actors.select(\"nobody\");", "fail");
    expect("project.actors.selectAll();", "ok", "project.actors.allSelected();");
    expect("project.actors.unselectAll();", "ok", "project.actors.allUnselected();");
    expect("project.actors.unselect(\"bot\");", "ok", "project.actors.unselected(\"bot\");");
    expectQuiet("project.actors.unselect(\"nobody\");", "fail");
    expect("project.actors.viewports(\"bot\");", "ok", "project.actors.viewports(bot);");
    expect("project.actors.viewports(\"bot\");", "ok", "project.actors.viewports(bot);");

    // Connected to a tracker whose marker the recorded camera shows, the actor appears.
    expect("project.videocapture.init(\"File\", \"frames@30\");", "ok",
           "project.videocapture.initialised(\"File\", \"frames@30\");");
    ASSERT_TRUE(upload(port_, "letter-f.pat",
                       readWholeFile(PlayerProcess::builtPlayerDirectory() + "/markers/letter-f.pat")));
    expect("project.trackers.AR.create(\"live\", \"letter-f.pat\", 80);", "ok",
           "project.trackers.AR.created(\"live\", \"letter-f.pat\", 80);");
    expect(p + "connect(\"bot\", \"live\");", "ok", "project.actors.mesh.connected(\"bot\", \"live\");");
    EXPECT_EQ(player_.waitForLine("MeshActor::activated!", 20000), "MeshActor::activated!")
        << player_.output();
    expect("project.actors.select(\"bot\");", "ok", "project.actors.selected(\"bot\");");
    expectQuiet("project.actors.isSelected(\"bot\");", "ok");

    // Destroyed while its marker is tracked; the tracker goes on without it.
    expect(p + "destroy(\"bot\");", "ok", "project.actors.mesh.unconnected(\"bot\");");
    EXPECT_EQ(event(), "project.actors.mesh.destroyed(\"bot\");");
    EXPECT_TRUE(testwait::holdsFor(std::chrono::milliseconds(500), [&] { return player_.running(); }));
    expect("project.videocapture.done();", "ok", "project.videocapture.finalised();");
    expectQuiet(p + "getList();", "");
}

TEST_F(PlayerActors, SceneActorCommandsAndClear) {
    const std::string p = "project.actors.scene.";
    expect(p + "create(\"stage\", \"robot\", \"robot_stage.osm\");", "ok",
           "project.actors.scene.created(\"stage\", \"robot\", \"robot_stage.osm\");");
    expectQuiet(p + "create(\"other\", \"robot\", \"robot.mesh\");", "fail");
    expectQuiet(p + "create(\"other\", \"robot\", \"absent.osm\");", "fail");
    expectQuiet(p + "getList();", "\"stage\"");
    expectQuiet(p + "getResourceName(\"stage\");", "\"robot\"");
    expectQuiet(p + "getSceneName(\"stage\");", "\"robot_stage.osm\"");
    expectQuiet("project.actors.getAnimationsList(\"stage\");", "\"Hop\", \"Spin\"");
    commonBlock("scene", "stage");
    turnBlock("scene", "stage");
    expectQuiet("project.actors.action(\"stage\", \"animation_loop\", \"Spin\");", "ok");
    expectQuiet("project.actors.action(\"stage\", \"play\", \"\");", "ok");

    // A destroy of another kind removes the actor of that name, without an unconnected event.
    ASSERT_EQ(reply("project.actors.light.create(\"lamp\");"), "ok");
    EXPECT_EQ(event(), "project.actors.light.created(\"lamp\");");
    expect("project.actors.scene.destroy(\"lamp\");", "ok", "project.actors.scene.destroyed(\"lamp\");");
    expectQuiet("project.actors.light.getList();", "");

    // A new project empties every collection and leaves the four views; no event.
    expect("project.actors.viewports(\"stage\");", "ok", "project.actors.viewports(stage);");
    ASSERT_EQ(reply("project.actors.mesh.create(\"bot\", \"robot\", \"robot.mesh\");"), "ok");
    event();
    expectQuiet("project.new();", "ok");
    expectQuiet(p + "getList();", "");
    expectQuiet("project.actors.mesh.getList();", "");
    expectQuiet("project.trackers.AR.getList();", "");
}
