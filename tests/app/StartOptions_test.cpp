// The command line's options, the status line's text and the frame latency report.
#include "app/FrameLatency.h"
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

TEST(StartOptions, WhoMayConnectAndHowMany) {
    StartOptions options = parse({"--allow", "127.0.0.1", "--max-connections", "12", "show.cmd"});
    EXPECT_TRUE(options.error.empty()) << options.error;
    EXPECT_EQ(options.arguments, std::vector<std::string>{"show.cmd"});
    EXPECT_EQ(options.serverPolicy.maximumConnections, 12);
    ASSERT_EQ(options.serverPolicy.allowed.size(), 1u);
    EXPECT_TRUE(options.serverPolicy.allows(0x7f000001));

    EXPECT_EQ(parse({}).serverPolicy.maximumConnections, VelNet::ServerPolicy::DefaultMaximumConnections);
}

TEST(StartOptions, BadConnectionValuesSayWhich) {
    EXPECT_NE(parse({"--max-connections", "0"}).error.find("--max-connections"), std::string::npos);
    EXPECT_NE(parse({"--max-connections", "99999999999"}).error.find("--max-connections"), std::string::npos);
    EXPECT_NE(parse({"--max-connections"}).error.find("needs a value"), std::string::npos);
    EXPECT_NE(parse({"--allow", "everyone"}).error.find("everyone"), std::string::npos);
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

TEST(FrameLatency, ReportsMedianAndNinetyNinthPercentileWhenAskedFor) {
    unsetenv(FrameLatency::Variable);
    FrameLatency off;
    off.shown({FrameLatency::Clock::now(), FrameLatency::Clock::now(), FrameLatency::Clock::now()});
    EXPECT_FALSE(off.enabled());
    EXPECT_EQ(off.report(), "");

    setenv(FrameLatency::Variable, "1", 1);
    FrameLatency on;
    unsetenv(FrameLatency::Variable);
    ASSERT_TRUE(on.enabled());
    // 100 frames shown 10 ms after delivery and one 500 ms late: the late one is the 99th
    // percentile's neighbour, not the median's.
    const auto shownAfter = [&on](std::chrono::milliseconds late) {
        // Detected 2 ms after delivery, uploaded 3 ms after that.
        const FrameLatency::Clock::time_point delivered = FrameLatency::Clock::now() - late;
        on.shown(
            {delivered, delivered + std::chrono::milliseconds(2), delivered + std::chrono::milliseconds(5)});
    };
    for (int i = 0; i < 100; ++i) {
        shownAfter(std::chrono::milliseconds(10));
    }
    shownAfter(std::chrono::milliseconds(500));
    const std::string report = on.report();
    EXPECT_EQ(report.rfind("Frame latency, capture delivery to swap: 101 frames, median 10.", 0), 0u)
        << report;
    EXPECT_NE(report.find("99th percentile 10."), std::string::npos) << report;
    EXPECT_NE(report.find("detection 2.0 ms, waiting for the main loop 3.0 ms, upload to swap 5."),
              std::string::npos)
        << report;
}
