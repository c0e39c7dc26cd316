// The keyboard and mouse of the player's machine, driven with xdotool on the test's display.
#include "support/PlayerSession.h"
#include "support/Wait.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using testwait::waitUntil;

bool xdotool(const std::string& arguments) {
    return std::system(("xdotool " + arguments).c_str()) == 0;
}

// The lamp's translation as the player answers it.
std::string translation(nettest::Client& command) {
    command.send("project.actors.light.getTranslation(\"lamp\");\r\n");
    return command.line();
}

// Waits until the lamp stands at (x, y, 0): the player has handled the motions so far.
bool lampReaches(nettest::Client& command, double x, double y) {
    return waitUntil(
        [&] {
            const std::string text = translation(command);
            double tx = 0, ty = 0, tz = 0;
            return std::sscanf(text.c_str(), "(%lf, %lf, %lf)", &tx, &ty, &tz) == 3 &&
                   std::abs(tx - x) < 0.02 && std::abs(ty - y) < 0.02 && std::abs(tz) < 1e-6;
        },
        5s);
}

// Presses the left button at (x, y) of the window and returns once the player has handled the
// press. The press itself shows nowhere, so a D key follows it in the same xdotool call: the
// player reads the keyboard before the mouse in each round of its loop, and once the overlay
// has changed, the press has been read too.
bool pressAt(nettest::Client& command, const std::string& window, int x, int y) {
    command.send("project.debug.isVisible();\r\n");
    const std::string before = command.line();
    if (!xdotool("mousemove --window " + window + " " + std::to_string(x) + " " + std::to_string(y) +
                 " mousedown 1 key --window " + window + " d")) {
        return false;
    }
    return waitUntil(
        [&] {
            command.send("project.debug.isVisible();\r\n");
            return command.line() != before;
        },
        5s);
}

} // namespace

TEST(PlayerInput, KeysToggleTheOverlayAndEscapeEndsThePlayer) {
    ScratchDirectory scratch;
    PlayerSession session(scratch);
    ASSERT_TRUE(session.ready());
    const unsigned long window = session.window();
    auto command = session.open("command");
    ASSERT_TRUE(command);

    // The interaction modes, set remotely; every keyword is answered "ok".
    command->send("project.mouse.action(\"mouse\");\r\nproject.mouse.action(\"move\");\r\n"
                  "project.mouse.action(\"y\");\r\nproject.mouse.action(\"nonsense\");\r\n");
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(command->line(), "ok\r");
    }

    const std::string id = std::to_string(window);
    ASSERT_TRUE(xdotool("mousemove --window " + id + " 100 100"));
    command->send("project.debug.isVisible();\r\n");
    EXPECT_EQ(command->line(), "false\r");
    ASSERT_TRUE(xdotool("key --window " + id + " d"));
    EXPECT_TRUE(waitUntil(
        [&] {
            command->send("project.debug.isVisible();\r\n");
            return command->line() == "true\r";
        },
        5s));

    // Dragging with the left button moves the selected actor: 0.01 per pixel, 10 units each.
    command->send("project.actors.light.create(\"lamp\");\r\nproject.actors.select(\"lamp\");\r\n");
    EXPECT_EQ(command->line(), "ok\r");
    command->line(); // a lamp whose marker was never seen is not selected, yet it is the one dragged
    // The player measures a drag from the pointer's position as it handles each motion, and
    // drops a motion it handles together with the release: each motion is awaited before the
    // next, and the last before the release.
    ASSERT_TRUE(pressAt(*command, id, 400, 200));
    ASSERT_TRUE(xdotool("mousemove --window " + id + " 400 201"));
    ASSERT_TRUE(lampReaches(*command, 0.0, 0.1)) << translation(*command);
    for (int step = 1; step <= 10; ++step) {
        ASSERT_TRUE(xdotool("mousemove --window " + id + " 400 " + std::to_string(201 + step * 10)));
        ASSERT_TRUE(lampReaches(*command, 0.0, 0.1 + step)) << translation(*command);
    }
    ASSERT_TRUE(xdotool("mouseup 1"));
    std::string moved = translation(*command);
    double x = 0, y = 0, z = 0;
    ASSERT_EQ(std::sscanf(moved.c_str(), "(%lf, %lf, %lf)", &x, &y, &z), 3) << moved;
    // From 200 to 301: 101 pixels, 1.01 in the actions' arguments (the press starts the drag).
    // Down the screen is up the y axis of the actor's position.
    EXPECT_NEAR(x, 0.0, 1e-6) << moved;
    EXPECT_NEAR(y, 10.1, 0.02) << moved;
    EXPECT_NEAR(z, 0.0, 1e-6) << moved;

    // Along x, to the left: 50 pixels, 0.5 in the arguments, a move of -5.
    command->send("project.mouse.action(\"x\");\r\n");
    EXPECT_EQ(command->line(), "ok\r");
    ASSERT_TRUE(pressAt(*command, id, 400, 300));
    for (int step = 1; step <= 5; ++step) {
        ASSERT_TRUE(xdotool("mousemove --window " + id + " " + std::to_string(400 - step * 10) + " 300"));
        ASSERT_TRUE(lampReaches(*command, -1.0 * step, 10.1)) << translation(*command);
    }
    ASSERT_TRUE(xdotool("mouseup 1"));
    moved = translation(*command);
    ASSERT_EQ(std::sscanf(moved.c_str(), "(%lf, %lf, %lf)", &x, &y, &z), 3) << moved;
    EXPECT_NEAR(x, -5.0, 0.02) << moved;
    EXPECT_NEAR(y, 10.1, 0.02) << moved;
    EXPECT_NEAR(z, 0.0, 1e-6) << moved;

    ASSERT_TRUE(xdotool("key --window " + id + " Escape"));
    EXPECT_EQ(session.process().waitForExit(30000), 0) << session.process().output();
}

TEST(PlayerInput, F11CoversTheScreenAndGivesTheWindowBack) {
    ScratchDirectory scratch;
    PlayerSession session(scratch);
    ASSERT_TRUE(session.ready());
    ASSERT_TRUE(session.open("command")); // set-up is over: the keyboard is open
    const std::string id = std::to_string(session.window());
    const int windowed = XTestDisplay::grab(session.window()).width;
    ASSERT_LT(windowed, 1280); // the test display is 1280 x 1024
    ASSERT_TRUE(xdotool("mousemove --window " + id + " 100 100"));
    auto widthBecomes = [&session](bool full, int windowedWidth) {
        return waitUntil(
            [&] {
                const int width = XTestDisplay::grab(session.window()).width;
                return full ? width == 1280 : width == windowedWidth;
            },
            5s, 50ms);
    };
    ASSERT_TRUE(xdotool("key --window " + id + " F11"));
    EXPECT_TRUE(widthBecomes(true, windowed));
    ASSERT_TRUE(xdotool("key --window " + id + " F11"));
    EXPECT_TRUE(widthBecomes(false, windowed));
    EXPECT_EQ(session.close(), 0) << session.process().output();
}
