// The command loop over a scripted line channel, against an operations fake that records calls.
#include "net/CommandTable.h"
#include "net/LineChannel.h"
#include "net/SceneParser.h"
#include "support/RecordingOperations.h"

#include <deque>
#include <gtest/gtest.h>
#include <set>

namespace {

// Hands out the given lines, then reports the end; keeps every reply.
class ScriptChannel : public LineChannel {
public:
    explicit ScriptChannel(std::deque<std::string> lines) : lines_(std::move(lines)) {}
    bool isOpen() override { return !lines_.empty() || keepOpen; }
    bool readLine(std::string& line) override {
        if (lines_.empty()) {
            return false;
        }
        line = lines_.front();
        lines_.pop_front();
        return true;
    }
    void writeLine(const std::string& line) override { replies.push_back(line); }
    // Lines sent together: every line but the last finds the next one waiting.
    bool hasWaitingLine() override { return together && !lines_.empty(); }

    bool keepOpen = false;
    bool together = false;
    std::vector<std::string> replies;

private:
    std::deque<std::string> lines_;
};

// Runs one sentence and returns its reply.
std::string run(RecordingOperations& operations, const std::string& line) {
    ScriptChannel channel({line});
    SceneParser::dispatch(operations, channel);
    return channel.replies.empty() ? std::string("<no reply>") : channel.replies.front();
}

} // namespace

TEST(CommandTable, Has102RowsOf101NamesWithQuitFirst) {
    const std::vector<CommandRow>& table = commandTable();
    EXPECT_EQ(table.size(), 102u);
    std::set<std::string> names;
    for (const CommandRow& row : table) {
        names.insert(row.name);
    }
    EXPECT_EQ(names.size(), 101u);
    EXPECT_EQ(table.front().name, "quit");
    EXPECT_EQ(table.back().name, "project.actors.scene.getScale");
}

TEST(CommandTable, ProjectRowsCallTheirOperationAndReplyInTheirShape) {
    RecordingOperations operations;
    EXPECT_EQ(run(operations, "project.new();"), "ok\r\n");
    EXPECT_EQ(operations.lastCall(), "newProject()");
    EXPECT_EQ(run(operations, "project.title.set(\"My \\\"best\\\" show\");"), "ok\r\n");
    EXPECT_EQ(operations.lastCall(), "setTitle(My \"best\" show)");
    EXPECT_EQ(run(operations, "project.title.get();"), "\"out\"\r\n");
    EXPECT_EQ(run(operations, "project.debug.isVisible();"), "true\r\n");
    EXPECT_EQ(run(operations, "project.videocapture.threshold.getValue();"), "7\r\n");
    EXPECT_EQ(run(operations, "project.videocapture.threshold.manual();"), "ok\r\n");
    EXPECT_EQ(operations.lastCall(), "thresholdManual()");
    EXPECT_EQ(run(operations, "project.videocapture.threshold.manual(80);"), "ok\r\n");
    EXPECT_EQ(operations.lastCall(), "thresholdManual(80)");
    EXPECT_EQ(run(operations, "project.net.init(4000);"), "ok\r\n");
    EXPECT_EQ(operations.lastCall(), "netInit(4000)");
    EXPECT_EQ(run(operations, "project.trackers.AR.create(\"hiro\", \"hiro.patt\", 80);"), "ok\r\n");
    EXPECT_EQ(operations.lastCall(), "trackerCreate(hiro, hiro.patt, 80)");
    EXPECT_EQ(run(operations, "project.trackers.AR.getWidth(\"hiro\");"), "8\r\n");
    EXPECT_EQ(run(operations, "project.resources.getList();"), "out\r\n");
    EXPECT_EQ(run(operations, "project.actors.action(\"ship\", \"play\", \"Walk\");"), "ok\r\n");
    EXPECT_EQ(operations.lastCall(), "actorAction(ship, play, Walk)");

    operations.result = false;
    EXPECT_EQ(run(operations, "project.new();"), "fail\r\n");
    EXPECT_EQ(run(operations, "project.title.get();"), "fail out\r\n");
    EXPECT_EQ(run(operations, "project.trackers.AR.getWidth(\"hiro\");"), "fail\r\n");
    // Rows whose reply is always "ok" do not care about the result.
    EXPECT_EQ(run(operations, "project.videocapture.init(\"File\", \"frames\");"), "ok\r\n");
    EXPECT_EQ(run(operations, "project.net.done();"), "ok\r\n");
    EXPECT_EQ(run(operations, "project.resources.destroy(\"none\");"), "ok\r\n");
    EXPECT_EQ(run(operations, "project.actors.mesh.destroy(\"none\");"), "ok\r\n");
    EXPECT_EQ(run(operations, "project.debug.isVisible();"), "false\r\n");
}

TEST(CommandTable, ActorRowsReachTheOperationOfTheirKind) {
    RecordingOperations operations;
    EXPECT_EQ(run(operations, "project.actors.mesh.create(\"ship\", \"fleet\", \"ship.mesh\");"), "ok\r\n");
    EXPECT_EQ(operations.lastCall(), "meshCreate(ship, fleet, ship.mesh)");
    EXPECT_EQ(run(operations, "project.actors.file.create(\"doc\", \"media\", \"talk.pdf\", \"document\");"),
              "ok\r\n");
    EXPECT_EQ(operations.lastCall(), "fileCreate(doc, media, talk.pdf, document)");
    EXPECT_EQ(run(operations, "project.actors.light.create(\"sun\");"), "ok\r\n");
    EXPECT_EQ(operations.lastCall(), "lightCreate(sun)");
    EXPECT_EQ(run(operations, "project.actors.scene.translate(\"hall\", 1, 2.5, -3);"), "ok\r\n");
    EXPECT_EQ(operations.lastCall(), "sceneTranslate(hall, 1, 2.5, -3)");
    EXPECT_EQ(run(operations, "project.actors.mesh.rotate(\"ship\", 1, 0, 0, 0);"), "ok\r\n");
    EXPECT_EQ(operations.lastCall(), "meshRotate(ship, 1, 0, 0, 0)");
    EXPECT_EQ(run(operations, "project.actors.scene.roll(\"hall\", 45);"), "ok\r\n");
    EXPECT_EQ(operations.lastCall(), "sceneRoll(hall, 45)");
    EXPECT_EQ(run(operations, "project.actors.mesh.getTranslation(\"ship\");"), "(1.5, 2.5, 3.5)\r\n");
    EXPECT_EQ(run(operations, "project.actors.scene.getRotation(\"hall\");"), "(4.5, 5.5, 6.5, 7.5)\r\n");
    EXPECT_EQ(run(operations, "project.actors.file.getType(\"doc\");"), "\"doc.type\"\r\n");
    EXPECT_EQ(operations.lastCall(), "fileGetType(doc)");
    EXPECT_EQ(run(operations, "project.actors.light.connect(\"sun\", \"hiro\");"), "ok\r\n");
    EXPECT_EQ(operations.lastCall(), "lightConnect(sun, hiro)");
    EXPECT_EQ(run(operations, "project.actors.file.getList();"), "out\r\n");
    EXPECT_EQ(operations.lastCall(), "fileGetList()");

    // Kinds without turning or scaling have no such rows.
    EXPECT_EQ(run(operations, "project.actors.light.rotate(\"sun\", 1, 0, 0, 0);"),
              "fail invalid sentence\r\n");
    EXPECT_EQ(run(operations, "project.actors.file.scale(\"doc\", 1, 1, 1);"), "fail invalid sentence\r\n");
    operations.result = false;
    EXPECT_EQ(run(operations, "project.actors.mesh.getScale(\"none\");"), "fail\r\n");
    EXPECT_EQ(run(operations, "project.actors.mesh.getMeshName(\"none\");"), "fail none.mesh\r\n");
}

TEST(CommandTable, EveryActorRowCallsTheOperationOfItsKindAndName) {
    // "project.actors.mesh.getMeshName" must reach the mesh kind's getMeshName, and so on for all
    // 56 rows of the four blocks: a row wired to another kind or another getter shows here.
    RecordingOperations operations;
    int actorRows = 0;
    for (const CommandRow& row : commandTable()) {
        const std::string prefix = "project.actors.";
        const std::size_t kindEnd = row.name.find('.', prefix.size());
        if (row.name.compare(0, prefix.size(), prefix) != 0 || kindEnd == std::string::npos) {
            continue;
        }
        const std::string kind = row.name.substr(prefix.size(), kindEnd - prefix.size());
        std::string operation = row.name.substr(kindEnd + 1);
        operation[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(operation[0])));
        std::string sentence = row.name + "(";
        for (std::size_t i = 0; i < row.signature.size(); ++i) {
            sentence += (i > 0 ? ", " : "") + std::string(row.signature[i] == 's' ? "\"a\"" : "2");
        }
        sentence += ");";
        run(operations, sentence);
        const std::string call = operations.lastCall();
        EXPECT_EQ(call.substr(0, call.find('(')), kind + operation) << sentence;
        ++actorRows;
    }
    EXPECT_EQ(actorRows, 56);
}

TEST(CommandTable, EveryFieldOfAnActorRowKeepsItsPlace) {
    // Arguments and outputs are all different, so a row that hands y where x belongs, or replies
    // with its values in another order or from another getter, shows here for every kind.
    RecordingOperations operations;
    for (const char* kind : {"mesh", "scene", "light", "file"}) {
        const std::string row = std::string("project.actors.") + kind + ".";
        EXPECT_EQ(run(operations, row + "translate(\"a\", 1, 2, 3);"), "ok\r\n");
        EXPECT_EQ(operations.lastCall(), std::string(kind) + "Translate(a, 1, 2, 3)");
        EXPECT_EQ(run(operations, row + "getTranslation(\"a\");"), "(1.5, 2.5, 3.5)\r\n") << kind;
        EXPECT_EQ(run(operations, row + "getTrackerName(\"a\");"), "\"a.tracker\"\r\n") << kind;
        EXPECT_EQ(run(operations, row + "connect(\"a\", \"vee\");"), "ok\r\n");
        EXPECT_EQ(operations.lastCall(), std::string(kind) + "Connect(a, vee)");
    }
    for (const char* kind : {"mesh", "scene"}) {
        const std::string row = std::string("project.actors.") + kind + ".";
        EXPECT_EQ(run(operations, row + "rotate(\"a\", 0.5, 0.25, 0.125, 2);"), "ok\r\n");
        EXPECT_EQ(operations.lastCall(), std::string(kind) + "Rotate(a, 0.5, 0.25, 0.125, 2)");
        EXPECT_EQ(run(operations, row + "scale(\"a\", 4, 5, 6);"), "ok\r\n");
        EXPECT_EQ(operations.lastCall(), std::string(kind) + "Scale(a, 4, 5, 6)");
        EXPECT_EQ(run(operations, row + "getRotation(\"a\");"), "(4.5, 5.5, 6.5, 7.5)\r\n") << kind;
        EXPECT_EQ(run(operations, row + "getScale(\"a\");"), "(8.5, 9.5, 10.5)\r\n") << kind;
        EXPECT_EQ(run(operations, row + "getAngles(\"a\");"), "(11.5, 12.5, 13.5)\r\n") << kind;
        EXPECT_EQ(run(operations, row + "getResourceName(\"a\");"), "\"a.resource\"\r\n") << kind;
        EXPECT_EQ(run(operations, row + "pitch(\"a\", 10);"), "ok\r\n");
        EXPECT_EQ(operations.lastCall(), std::string(kind) + "Pitch(a, 10)");
        EXPECT_EQ(run(operations, row + "yaw(\"a\", 20);"), "ok\r\n");
        EXPECT_EQ(operations.lastCall(), std::string(kind) + "Yaw(a, 20)");
    }
    EXPECT_EQ(run(operations, "project.actors.mesh.getMeshName(\"a\");"), "\"a.mesh\"\r\n");
    EXPECT_EQ(run(operations, "project.actors.scene.getSceneName(\"a\");"), "\"a.scene\"\r\n");
    EXPECT_EQ(run(operations, "project.actors.light.getLightName(\"a\");"), "\"a.light\"\r\n");
    EXPECT_EQ(run(operations, "project.actors.file.getFileName(\"a\");"), "\"a.file\"\r\n");
    EXPECT_EQ(run(operations, "project.actors.file.getType(\"a\");"), "\"a.type\"\r\n");
    EXPECT_EQ(run(operations, "project.actors.file.getResourceName(\"a\");"), "\"a.resource\"\r\n");
    EXPECT_EQ(run(operations, "project.actors.scene.create(\"a\", \"fleet\", \"hall.scene\");"), "ok\r\n");
    EXPECT_EQ(operations.lastCall(), "sceneCreate(a, fleet, hall.scene)");
    EXPECT_EQ(run(operations, "project.trackers.AR.getPatternFilename(\"vee\");"), "\"vee.pat\"\r\n");
    EXPECT_EQ(run(operations, "project.resources.getFilename(\"fleet\");"), "\"fleet.zip\"\r\n");
    EXPECT_EQ(run(operations, "project.videocapture.getDeviceName();"), "\"out device\"\r\n");
    EXPECT_EQ(run(operations, "project.videocapture.getConfiguration();"), "\"out configuration\"\r\n");
    EXPECT_EQ(run(operations, "project.videocapture.init(\"File\", \"frames@30\");"), "ok\r\n");
    EXPECT_EQ(operations.lastCall(), "videoCaptureInit(File, frames@30)");
}

TEST(CommandLoop, RepliesOncePerSentenceAndStopsAtQuit) {
    RecordingOperations operations;
    ScriptChannel channel({"# a comment", "", "project.new();", "not a sentence at all", "project.nothing();",
                           "project.title.set(1, 2);", "quit();", "project.new();"});
    SceneParser::dispatch(operations, channel);
    const std::vector<std::string> expected = {"ok\r\n", "fail parser error\r\n", "fail invalid sentence\r\n",
                                               "fail invalid sentence\r\n", "ok\r\n"};
    EXPECT_EQ(channel.replies, expected);
    EXPECT_EQ(operations.calls(), std::vector<std::string>{"newProject()"}); // nothing after quit
}

TEST(CommandLoop, PackagesAreTakenFromTheWorkDirectoryOnly) {
    RecordingOperations operations;
    EXPECT_EQ(run(operations, "project.resources.create(\"evil\", \"../../etc/passwd\");"), "fail\r\n");
    EXPECT_TRUE(operations.calls().empty());
    EXPECT_EQ(run(operations, "project.resources.create(\"fleet\", \"fleet.zip\");"), "ok\r\n");
    ASSERT_EQ(operations.calls().size(), 1u);
    EXPECT_NE(operations.lastCall().find("fleet.zip)"), std::string::npos);
}

TEST(CommandLoop, WhatACommandLeavesForAfterItsReplyRunsOnceTheReplyIsWritten) {
    // Waking the renderer must not delay the reply: the action waits for it, and outside a
    // command loop runs at once.
    struct WakingOperations : RecordingOperations {
        ScriptChannel* channel = nullptr;
        std::vector<std::size_t> repliesWhenRun;
        bool newProject(VelOS::CommandContext& context) override {
            context.afterReply([this] { repliesWhenRun.push_back(channel->replies.size()); });
            return true;
        }
    } operations;
    ScriptChannel channel({"project.new();", "project.title.get();", "project.new();"});
    operations.channel = &channel;
    SceneParser::dispatch(operations, channel);
    EXPECT_EQ(operations.repliesWhenRun, (std::vector<std::size_t>{1, 3}));

    bool ran = false;
    VelOS::CommandContext outside;
    outside.afterReply([&] { ran = true; });
    EXPECT_TRUE(ran);
}

TEST(CommandLoop, RepliesToCommandsSentTogetherGoOutInOneWriteInOrder) {
    // A client that pipelines commands gets their replies in one write, after the last of them,
    // and what waits for a reply (waking the renderer) waits for that write.
    struct WakingOperations : RecordingOperations {
        ScriptChannel* channel = nullptr;
        std::vector<std::size_t> writesWhenRun;
        bool newProject(VelOS::CommandContext& context) override {
            context.afterReply([this] { writesWhenRun.push_back(channel->replies.size()); });
            return true;
        }
    } operations;
    ScriptChannel channel({"project.new();", "not a sentence", "project.title.get();", "# a comment",
                           "project.new();", "project.title.get();"});
    channel.together = true;
    operations.channel = &channel;
    SceneParser::dispatch(operations, channel);
    EXPECT_EQ(channel.replies,
              std::vector<std::string>{"ok\r\nfail parser error\r\n\"out\"\r\nok\r\n\"out\"\r\n"});
    EXPECT_EQ(operations.writesWhenRun, std::vector<std::size_t>{1}); // once, after the write
}
