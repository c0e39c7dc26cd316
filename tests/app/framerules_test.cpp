#include "app/framerules.h"

#include <gtest/gtest.h>

// A wanted drawing waits only for what is left of the shortest frame (60 a second), so that a
// camera of 30 frames a second has each frame drawn at once.
TEST(FramePacing, WaitsOnlyTheRestOfTheShortestFrame) {
    EXPECT_EQ(framePacingWait(0.0), 16);
    EXPECT_EQ(framePacingWait(10.0), 6);
    EXPECT_EQ(framePacingWait(15.5), 0); // half a millisecond left: truncated toward zero
    EXPECT_EQ(framePacingWait(4.0), 12);
    EXPECT_EQ(framePacingWait(16.0), 0);
    EXPECT_EQ(framePacingWait(33.3), 0); // the period of a 30-frame camera: no wait at all
}

TEST(SplashRule, StaysAtLeastOneSecondThenGoesWhenTheCameraRuns) {
    double timer = 0.0;
    bool visible = true;
    // The camera runs from the start: the splash stays for its first full second.
    for (int frame = 0; frame < 25; ++frame) {
        visible = nextSplashVisibility(visible, timer, 0.04f, true);
        ASSERT_TRUE(visible) << frame;
    }
    EXPECT_GE(timer, 0.99);
    visible = nextSplashVisibility(visible, timer, 0.04f, true); // timer reaches 1.0 here
    visible = nextSplashVisibility(visible, timer, 0.04f, true);
    EXPECT_FALSE(visible);
}

TEST(SplashRule, StaysWithoutCameraAndComesBackWhenItStops) {
    double timer = 0.0;
    bool visible = true;
    for (int frame = 0; frame < 100; ++frame) {
        visible = nextSplashVisibility(visible, timer, 0.04f, false);
    }
    EXPECT_TRUE(visible);
    // The timer stops growing once it reached a second.
    EXPECT_LT(timer, 1.05);

    visible = nextSplashVisibility(visible, timer, 0.04f, true);
    EXPECT_FALSE(visible);
    visible = nextSplashVisibility(visible, timer, 0.04f, true);
    EXPECT_FALSE(visible);
    visible = nextSplashVisibility(visible, timer, 0.04f, false);
    EXPECT_TRUE(visible);
}
