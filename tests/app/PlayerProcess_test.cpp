// The player as a presenter starts it: a real process on the test's X display.
#include "support/PlayerProcess.h"
#include "support/ScratchDirectory.h"
#include "support/Wait.h"
#include "support/XTestDisplay.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

const std::string WorkingAt = "Scene: working at ";

// The work directory named by the start-up line.
std::string workDirectoryOf(const std::string& line) {
    const std::string suffix = " directory";
    if (line.size() < WorkingAt.size() + suffix.size()) {
        return std::string();
    }
    return line.substr(WorkingAt.size(), line.size() - WorkingAt.size() - suffix.size());
}

bool isBright(const unsigned char* rgb) {
    return rgb[0] > 200 && rgb[1] > 200 && rgb[2] > 200;
}

// What of the splash a picture shows: pixels counted.
struct Splash {
    int bright = 0;                 // the title's light pixels
    int brightOutsideTheMiddle = 0; // light pixels outside the middle half of the height
    int blue = 0;                   // the field's

    bool shown(const RgbImage& picture) const {
        return bright > 500 && brightOutsideTheMiddle == 0 && blue > picture.width * picture.height / 2;
    }
};

Splash splashIn(const RgbImage& picture) {
    Splash splash;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const unsigned char* rgb = picture.at(x, y);
            if (isBright(rgb)) {
                ++splash.bright;
                splash.brightOutsideTheMiddle += y > picture.height / 4 && y < picture.height * 3 / 4 ? 0 : 1;
            } else if (rgb[2] > rgb[0] + 10) {
                ++splash.blue;
            }
        }
    }
    return splash;
}

} // namespace

TEST(PlayerProcess, ShowsTheSplashAndEndsCleanlyWhenTheWindowIsClosed) {
    ScratchDirectory scratch;
    PlayerProcess player;
    ASSERT_TRUE(player.start(PlayerProcess::builtPlayerDirectory(), {}, {"TMPDIR=" + scratch.path()}));

    const std::string line = player.waitForLine(WorkingAt, 60000);
    ASSERT_FALSE(line.empty()) << player.output();
    const std::string workDirectory = workDirectoryOf(line);
    EXPECT_EQ(workDirectory, scratch.path() + "Velquin-" + std::to_string(player.pid()) + "/");
    EXPECT_TRUE(pathExists(workDirectory));

    const unsigned long window = XTestDisplay::waitForWindow("Velquinor", 60000);
    ASSERT_NE(window, 0u);
    // The copy of the empty package is one of the last steps of set-up.
    EXPECT_TRUE(testwait::waitUntil([&] { return pathExists(workDirectory + "void.zip"); }, 30s));

    // The splash: a dark blue field with the light title around the middle of the window. The
    // first picture can take seconds on a busy machine under the sanitizers.
    RgbImage picture;
    Splash splash;
    testwait::waitUntil(
        [&] {
            picture = XTestDisplay::grab(window);
            splash = splashIn(picture);
            return splash.shown(picture);
        },
        20s);
    ASSERT_GT(picture.width, 0);
    EXPECT_GT(splash.bright, 500);
    EXPECT_GT(splash.blue, picture.width * picture.height / 2);
    EXPECT_EQ(splash.brightOutsideTheMiddle, 0);

    ASSERT_TRUE(XTestDisplay::requestClose(window));
    EXPECT_EQ(player.waitForExit(30000), 0) << player.output();
    EXPECT_FALSE(pathExists(workDirectory));
}

TEST(PlayerProcess, FailedSetUpEndsWithMinusOneAndLeavesNoWorkDirectory) {
    ScratchDirectory scratch;
    // A player folder without its own archive "VelquinCore.zip".
    const std::string folder = scratch.path() + "player";
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    const std::string built = PlayerProcess::builtPlayerDirectory();
    for (const char* name : {"velquin", "plugins.cfg", "display.cfg", "void.zip"}) {
        ASSERT_EQ(symlink((built + "/" + name).c_str(), (folder + "/" + name).c_str()), 0) << name;
    }
    PlayerProcess player;
    ASSERT_TRUE(player.start(folder, {}, {"TMPDIR=" + scratch.path()}));
    const std::string workDirectory = workDirectoryOf(player.waitForLine(WorkingAt, 60000));
    ASSERT_FALSE(workDirectory.empty()) << player.output();
    EXPECT_EQ(player.waitForExit(60000), 255); // -1
    EXPECT_FALSE(pathExists(workDirectory));
}
