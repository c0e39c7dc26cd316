// The keyboard and mouse of the player's machine, driven with xdotool on the test's display.
#include "support/PlayerSession.h"

#include <gtest/gtest.h>

namespace {

bool xdotool(const std::string& arguments) {
    return std::system(("xdotool " + arguments).c_str()) == 0;
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
    bool shown = false;
    for (int attempt = 0; attempt < 50 && !shown; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        command->send("project.debug.isVisible();\r\n");
        shown = command->line() == "true\r";
    }
    EXPECT_TRUE(shown);

    // Dragging with the left button moves the selected actor: 0.01 per pixel, 10 units each.
    command->send("project.actors.light.create(\"lamp\");\r\nproject.actors.select(\"lamp\");\r\n");
    EXPECT_EQ(command->line(), "ok\r");
    command->line(); // a lamp whose marker was never seen is not selected, yet it is the one dragged
    ASSERT_TRUE(xdotool("mousemove --window " + id + " 400 200 mousedown 1"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(xdotool("mousemove --window " + id + " 400 201"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    for (int step = 1; step <= 10; ++step) {
        ASSERT_TRUE(xdotool("mousemove --window " + id + " 400 " + std::to_string(201 + step * 10)));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(xdotool("mouseup 1"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    command->send("project.actors.light.getTranslation(\"lamp\");\r\n");
    const std::string translation = command->line();
    double x = 0, y = 0, z = 0;
    ASSERT_EQ(std::sscanf(translation.c_str(), "(%lf, %lf, %lf)", &x, &y, &z), 3) << translation;
    // From 200 to 301: 101 pixels, 1.01 in the actions' arguments (the press starts the drag).
    EXPECT_NEAR(x, 0.0, 1e-6) << translation;
    EXPECT_NEAR(std::abs(y), 10.1, 0.02) << translation;
    EXPECT_NEAR(z, 0.0, 1e-6) << translation;

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
        for (int attempt = 0; attempt < 50; ++attempt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            const int width = XTestDisplay::grab(session.window()).width;
            if (full ? width == 1280 : width == windowedWidth) {
                return true;
            }
        }
        return false;
    };
    ASSERT_TRUE(xdotool("key --window " + id + " F11"));
    EXPECT_TRUE(widthBecomes(true, windowed));
    ASSERT_TRUE(xdotool("key --window " + id + " F11"));
    EXPECT_TRUE(widthBecomes(false, windowed));
    EXPECT_EQ(session.close(), 0) << session.process().output();
}
