#include "project/Events.h"

#include <gtest/gtest.h>

TEST(Events, QuotedTextsAreEscapedOnce) {
    EXPECT_EQ(Events::titleChanged("A \"big\" \\ show"), "project.title.changed(\"A \\\"big\\\" \\ show\");");
    EXPECT_EQ(Events::resourceCreated("fleet", "/tmp/Velquin-1/fleet.zip"),
              "project.resources.created(\"fleet\", \"/tmp/Velquin-1/fleet.zip\");");
    EXPECT_EQ(Events::actorsViewports("a \"b\""), "project.actors.viewports(a \"b\");"); // as received
}

TEST(Events, OddSentencesStayAsAuthoringToolsKnowThem) {
    EXPECT_EQ(Events::meshCreated("ship", "fleet", "ship.mesh"),
              "project.actors.mesh.created(\"ship\"\"fleet\"\"ship.mesh\");");
    EXPECT_EQ(Events::fileCreated("doc", "media", "talk.pdf", "document"),
              "project.actors.file.created(\"doc\"\"media\"\"talk.pdf\"\"document\");");
    EXPECT_EQ(Events::sceneCreated("hall", "expo", "hall.osm"),
              "project.actors.scene.created(\"hall\", \"expo\", \"hall.osm\");");
    EXPECT_EQ(Events::actorRotated("mesh", "ship", 90, -45.5, 0),
              "project.actors.mesh.rotated(\"ship\"90, -45.5, 0);");
    EXPECT_EQ(Events::debugHided(), "project.debug.hided();");
    EXPECT_EQ(Events::thresholdAutoHanged(false), "project.videocapture.threshold.auto_hanged(false);");
    EXPECT_EQ(Events::thresholdValueChanged(-3), "project.videocapture.threshold.value_changed(-3);");
    EXPECT_EQ(Events::trackerCreated("hiro", "hiro.patt", 80),
              "project.trackers.AR.created(\"hiro\", \"hiro.patt\", 80);");
}

TEST(Events, NumbersAreWrittenWithSixSignificantDigits) {
    EXPECT_EQ(Events::actorTranslated("mesh", "ship", 1, 2.5, 0.125),
              "project.actors.mesh.translated(\"ship\", 1, 2.5, 0.125);");
    EXPECT_EQ(Events::number(1.0 / 3.0), "0.333333");
    EXPECT_EQ(Events::number(1234567.0), "1.23457e+06");
    EXPECT_EQ(Events::number(-0.0001), "-0.0001");
    EXPECT_EQ(Events::actorScaled("scene", "hall", 2, 2, 2),
              "project.actors.scene.scaled(\"hall\", 2, 2, 2);");
}

TEST(Events, ListTextIsSortedQuotedAndJoined) {
    EXPECT_EQ(Events::listText({}), "");
    EXPECT_EQ(Events::listText({"b", "a\"x", "C"}), "\"C\", \"a\\\"x\", \"b\"");
}
