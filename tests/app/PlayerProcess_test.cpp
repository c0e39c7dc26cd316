// The player as a presenter starts it: a real process on the test's X display.
#include "support/PlayerProcess.h"
#include "support/ScratchDirectory.h"
#include "support/XTestDisplay.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

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
    for (int waited = 0; waited < 30000 && !pathExists(workDirectory + "void.zip"); waited += 50) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(pathExists(workDirectory + "void.zip"));
    // The first picture can take seconds on a busy machine under the sanitizers.
    RgbImage picture;
    for (int waited = 0; waited < 20000; waited += 250) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        picture = XTestDisplay::grab(window);
        long blueNow = 0;
        for (std::size_t i = 0; i + 2 < picture.pixels.size(); i += 3) {
            blueNow += picture.pixels[i + 2] > picture.pixels[i] + 10;
        }
        if (waited >= 1250 && blueNow > static_cast<long>(picture.pixels.size() / 6)) {
            break;
        }
    }
    ASSERT_GT(picture.width, 0);

    // The splash: a dark blue field with the light title around the middle of the window.
    int bright = 0;
    int blue = 0;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const unsigned char* rgb = picture.at(x, y);
            if (isBright(rgb)) {
                ++bright;
                EXPECT_GT(y, picture.height / 4);
                EXPECT_LT(y, picture.height * 3 / 4);
            } else if (rgb[2] > rgb[0] + 10) {
                ++blue;
            }
        }
    }
    EXPECT_GT(bright, 500);
    EXPECT_GT(blue, picture.width * picture.height / 2);

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
