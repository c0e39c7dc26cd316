// Trackers and the camera in either order: a tracker made before the camera starts, a project
// loaded before it, and a camera switched in the middle of a show; in each case the recorded
// camera finds the marker and the connected actor shows.
#include "support/PlayerSession.h"

#include <gtest/gtest.h>

using nettest::Client;

namespace {

// The reply to one sentence, without its line end; the camera's set-up may take a while.
std::string reply(Client& command, const std::string& sentence) {
    command.send(sentence + "\r\n");
    std::string line = command.line();
    for (int attempt = 0; attempt < 6 && line == "<none>"; ++attempt) {
        line = command.line();
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

} // namespace

TEST(PlayerTracking, TrackersOutliveCameraSetUp) {
    ScratchDirectory scratch;
    PlayerSession session(scratch);
    ASSERT_TRUE(session.ready());
    PlayerProcess& player = session.process();
    auto commandClient = session.open("command");
    ASSERT_TRUE(commandClient);
    ASSERT_TRUE(session.upload(
        "letter-f.pat", readWholeFile(PlayerProcess::builtPlayerDirectory() + "/markers/letter-f.pat")));
    Client& command = *commandClient;

    // Tracker and actor first, camera after.
    EXPECT_EQ(reply(command, "project.trackers.AR.create(\"live\", \"letter-f.pat\", 80);"), "ok");
    EXPECT_EQ(reply(command, "project.actors.light.create(\"lamp\");"), "ok");
    EXPECT_EQ(reply(command, "project.actors.light.connect(\"lamp\", \"live\");"), "ok");
    EXPECT_EQ(reply(command, "project.videocapture.init(\"File\", \"frames@30\");"), "ok");
    EXPECT_EQ(player.waitForLine("LightActor::activated!", 20000), "LightActor::activated!")
        << player.output();

    // Another camera in the middle of the show: the actor hides with the old pictures and
    // follows the marker again in the new ones.
    EXPECT_EQ(reply(command, "project.videocapture.init(\"File\", \"frames@25\");"), "ok");
    EXPECT_EQ(player.waitForLine("LightActor::deactivated", 20000), "LightActor::deactivated");
    EXPECT_EQ(player.waitForLine("LightActor::activated!", 20000), "LightActor::activated!")
        << player.output();

    // A project document holds no camera: saved, cleared, loaded without one, then the camera.
    EXPECT_EQ(reply(command, "project.videocapture.done();"), "ok");
    EXPECT_EQ(reply(command, "project.save(\"show\");"), "ok");
    EXPECT_EQ(reply(command, "project.new();"), "ok");
    EXPECT_EQ(reply(command, "project.load(\"show.zip\");"), "ok");
    EXPECT_EQ(reply(command, "project.actors.light.getTrackerName(\"lamp\");"), "\"live\"");
    EXPECT_EQ(reply(command, "project.videocapture.init(\"File\", \"frames@30\");"), "ok");
    EXPECT_EQ(player.waitForLine("LightActor::activated!", 20000), "LightActor::activated!")
        << player.output();

    EXPECT_EQ(session.close(), 0) << session.process().output();
}
