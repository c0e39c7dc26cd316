#include "app/framerules.h"

#include <gtest/gtest.h>

TEST(FramePacing, SleepsTheRestOfFortyMilliseconds) {
    EXPECT_EQ(framePacingSleep(0.0f), 40);
    EXPECT_EQ(framePacingSleep(0.010f), 30);
    EXPECT_EQ(framePacingSleep(0.0395f), 0); // 0.5 ms left: truncated toward zero
    EXPECT_EQ(framePacingSleep(0.0125f), 27);
    EXPECT_EQ(framePacingSleep(0.040f), 0);
    EXPECT_EQ(framePacingSleep(0.100f), 0);
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
