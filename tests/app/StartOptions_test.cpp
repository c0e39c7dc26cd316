// The command line's options and the status line's text.
#include "app/StartOptions.h"
#include "app/StatusLine.h"

#include <gtest/gtest.h>

namespace {
StartOptions parse(std::vector<const char*> arguments) {
    arguments.insert(arguments.begin(), "velquin");
    return StartOptions::parse(static_cast<int>(arguments.size()), arguments.data());
}
} // namespace

TEST(StartOptions, OptionsStandAnywhereAndTheRestStaysInOrder) {
    const StartOptions options = parse({"--fullscreen", "show.cmd", "--screen", "1", "--settings"});
    EXPECT_TRUE(options.fullScreen);
    EXPECT_TRUE(options.settings);
    EXPECT_EQ(options.screen, 1);
    EXPECT_EQ(options.arguments, std::vector<std::string>{"show.cmd"});
    EXPECT_TRUE(options.error.empty());
    EXPECT_EQ(parse({"--screen=2"}).screen, 2);
    // Two leftover arguments: no command file runs, as before the options existed.
    EXPECT_EQ(parse({"a.cmd", "b.cmd"}).arguments.size(), 2u);
    for (auto bad : {std::vector<const char*>{"--screen"}, {"--screen", "-1"}, {"--screen=one"}}) {
        EXPECT_FALSE(parse(bad).error.empty());
    }
    const StartOptions plain = parse({});
    EXPECT_FALSE(plain.settings || plain.fullScreen || plain.listCameras);
    EXPECT_EQ(plain.screen, -1);
}

TEST(StatusLine, SaysWhatRunsAndWhyNot) {
    StatusFacts facts;
    EXPECT_EQ(statusLine(facts),
              "Camera: none (no project.videocapture.init yet)\n"
              "Markers: 0 found of 0 trackers    Remote control: off (no project.net.init yet)");
    facts.failure = "V4L2 \"\": cannot open /dev/video0: No such file or directory";
    facts.netFailure = "cannot listen on port 4000 (taken by another program, or not a port)";
    facts.trackers = 1;
    EXPECT_EQ(statusLine(facts),
              "Camera: not running: V4L2 \"\": cannot open /dev/video0: No such file or directory\n"
              "Markers: 0 found of 1 tracker    Remote control: not listening: cannot listen on "
              "port 4000 (taken by another program, or not a port)");
    facts.capturing = true;
    facts.device = "File 640x480";
    facts.framesPerSecond = 29.7;
    facts.markersFound = 1;
    facts.trackers = 2;
    facts.port = 4000;
    facts.clients = 1;
    EXPECT_EQ(statusLine(facts),
              "Camera: File 640x480, 30 frames per second\n"
              "Markers: 1 found of 2 trackers    Remote control: port 4000 on all addresses, 1 client");
    facts.lost = true;
    facts.device = "V4L2 /dev/video0 1280x720 MJPEG @30";
    EXPECT_EQ(statusLine(facts).substr(0, statusLine(facts).find('\n')),
              "Camera LOST: V4L2 /dev/video0 1280x720 MJPEG @30 - looking for it every second");
}
