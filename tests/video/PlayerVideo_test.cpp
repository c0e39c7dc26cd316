// The camera picture in the player: recorded frames played as a camera, the splash leaving and
// coming back, trackers made from an uploaded pattern file.
#include "support/PlayerSession.h"
#include "support/Wait.h"

#include <gtest/gtest.h>

using nettest::Client;
using namespace std::chrono_literals;
using testwait::waitUntil;

namespace {

// The share of the window's pixels that look like the recorded desk (warm light grey).
double deskShare(const RgbImage& picture) {
    long desk = 0;
    for (int y = 0; y < picture.height; y += 4) {
        for (int x = 0; x < picture.width; x += 4) {
            const unsigned char* p = picture.at(x, y);
            desk += p[0] > 150 && p[1] > 140 && p[2] > 120 && p[0] >= p[2];
        }
    }
    return static_cast<double>(desk) / ((picture.width / 4) * (picture.height / 4));
}

} // namespace

TEST(PlayerVideo, RecordedCameraTrackersAndTheSplash) {
    ScratchDirectory scratch;
    PlayerSession session(scratch);
    ASSERT_TRUE(session.ready());
    const unsigned long window = session.window();
    auto listener = session.open("listener");
    ASSERT_TRUE(listener);

    // The pattern file goes to the work directory first, as an authoring tool sends it.
    const std::string pattern =
        readWholeFile(PlayerProcess::builtPlayerDirectory() + "/markers/letter-v.pat");
    ASSERT_FALSE(pattern.empty());
    // The stored name is the part after the last "/".
    EXPECT_TRUE(session.upload("markers/letter-v.pat", pattern));

    auto commandClient = session.open("command");
    ASSERT_TRUE(commandClient);
    Client& command = *commandClient;
    command.send("project.videocapture.isCapturing();\r\nproject.videocapture.getDeviceName();\r\n");
    EXPECT_EQ(command.line(), "false\r");
    EXPECT_EQ(command.line(), "fail \r");
    EXPECT_LT(deskShare(XTestDisplay::grab(window)), 0.05); // the splash

    command.send("project.videocapture.init(\"file\", \"frames\");\r\n");
    EXPECT_EQ(command.line(), "ok\r"); // always "ok"; nothing started, no event
    command.send("project.videocapture.init(\"File\", \"frames@30\");\r\n");
    // Opening the recording can be slow under the sanitizers: wait longer.
    std::string opened = command.line();
    for (int attempt = 0; attempt < 6 && opened == "<none>"; ++attempt) {
        opened = command.line();
    }
    EXPECT_EQ(opened, "ok\r");
    EXPECT_EQ(listener->line(), "project.videocapture.initialised(\"File\", \"frames@30\");");
    command.send("project.videocapture.isCapturing();\r\nproject.videocapture.getDeviceName();\r\n"
                 "project.videocapture.getConfiguration();\r\n");
    EXPECT_EQ(command.line(), "true\r");
    EXPECT_EQ(command.line(), "\"File\"\r");
    EXPECT_EQ(command.line(), "\"frames@30\"\r");

    command.send("project.trackers.AR.create(\"vee\", \"letter-v.pat\", 80);\r\n"
                 "project.trackers.AR.create(\"vee\", \"letter-v.pat\", 40);\r\n"
                 "project.trackers.AR.create(\"away\", \"../letter-v.pat\", 80);\r\n"
                 "project.trackers.AR.getList();\r\nproject.trackers.AR.getWidth(\"vee\");\r\n"
                 "project.trackers.AR.getPatternFilename(\"vee\");\r\n");
    EXPECT_EQ(command.line(), "ok\r");
    EXPECT_EQ(command.line(), "fail\r");
    EXPECT_EQ(command.line(), "fail\r");
    EXPECT_EQ(command.line(), "\"vee\"\r");
    EXPECT_EQ(command.line(), "80\r");
    EXPECT_EQ(command.line(), "\"letter-v.pat\"\r");
    EXPECT_EQ(listener->line(), "project.trackers.AR.created(\"vee\", \"letter-v.pat\", 80);");

    command.send("project.videocapture.threshold.auto();\r\n");
    EXPECT_EQ(command.line(), "ok\r");
    EXPECT_EQ(listener->line(), "project.videocapture.threshold.auto_changed(true);");
    command.send("project.videocapture.flipX.set();\r\n");
    EXPECT_EQ(command.line(), "ok\r");
    EXPECT_EQ(listener->line(), "project.videocapture.flipX.changed(true);");

    // After its first second the splash gives way to the camera picture.
    EXPECT_TRUE(waitUntil([&] { return deskShare(XTestDisplay::grab(window)) > 0.5; }, 2500ms));
    command.send(
        "project.videocapture.threshold.isAuto();\r\nproject.videocapture.threshold.getValue();\r\n");
    EXPECT_EQ(command.line(), "true\r");
    const std::string threshold = command.line();
    EXPECT_NE(threshold, "100\r"); // computed from the frames

    command.send("project.videocapture.done();\r\nproject.videocapture.isCapturing();\r\n");
    EXPECT_EQ(command.line(), "ok\r");
    EXPECT_EQ(command.line(), "false\r");
    EXPECT_EQ(listener->line(), "project.videocapture.finalised();");
    EXPECT_TRUE(
        waitUntil([&] { return deskShare(XTestDisplay::grab(window)) < 0.05; }, 500ms)); // the splash is back

    EXPECT_EQ(session.close(), 0) << session.process().output();
}

TEST(PlayerVideo, StatusLineWithARecordingPlayingAndAMarkerFound) {
    ScratchDirectory scratch;
    // The recording is named by its absolute path, in a folder the operator allowed.
    const std::string built = PlayerProcess::builtPlayerDirectory();
    PlayerSession session(scratch, "", built, {"VELQUIN_RECORDINGS=" + built});
    ASSERT_TRUE(session.ready());
    auto command = session.open("command"); // once it listens
    ASSERT_TRUE(command);
    const std::string pattern = readWholeFile(built + "/markers/letter-v.pat");
    ASSERT_TRUE(session.upload("letter-v.pat", pattern));
    command->send("project.videocapture.init(\"File\", \"" + built +
                  "/frames@30\");\r\n"
                  "project.trackers.AR.create(\"vee\", \"letter-v.pat\", 80);\r\n"
                  "project.debug.show();\r\n");
    std::string opened = command->line();
    for (int attempt = 0; attempt < 6 && opened == "<none>"; ++attempt) {
        opened = command->line();
    }
    EXPECT_EQ(opened, "ok\r");
    EXPECT_EQ(command->line(), "ok\r");
    EXPECT_EQ(command->line(), "ok\r");
    command->send("project.videocapture.isCapturing();\r\n");
    EXPECT_EQ(command->line(), "true\r");

    // The status line across the top of the window: light yellow text on the dark panel.
    RgbImage picture;
    long text = 0, panel = 0;
    waitUntil(
        [&] {
            picture = XTestDisplay::grab(session.window());
            text = panel = 0;
            for (int y = 2; y < 40 && y < picture.height; ++y) {
                for (int x = 0; x < picture.width; ++x) {
                    const unsigned char* p = picture.at(x, y);
                    text += p[0] > 200 && p[1] > 190 && p[2] < p[0] - 30;
                    panel += p[0] < 110 && p[1] < 110 && p[2] < 110;
                }
            }
            return text > 300 && panel > picture.width * 20;
        },
        2500ms);
    ASSERT_GT(picture.height, 60);
    EXPECT_GT(text, 300);
    EXPECT_GT(panel, picture.width * 20);
    // Kept for a person to read: build/tests/video/status-line.png.
    EXPECT_EQ(std::system(("'" + built + "/velquin-screenshot' status-line.png Velquinor").c_str()), 0);

    EXPECT_EQ(session.close(), 0) << session.process().output();
}
