// Action keywords on mesh and light actors: moves, rotations and scales with their numbers, and
// switching, playing, looping and pausing the robot's skeletal animations.
#include "actors/ActorTestSupport.h"

#include "actors/LightActor.h"
#include "actors/MeshActor.h"

using actortest::TestServices;
using actortest::World;

namespace {

struct Robot {
    TestServices services = World::get().services();
    MeshActor actor{World::get().views(), &services, "robot", "robot.mesh"};
    Robot() { EXPECT_TRUE(actor.init()); }
    Ogre::AnimationState* state(const std::string& name) {
        return actor.getEntity()->getAnimationState(name);
    }
};

} // namespace

TEST(Actions, MovesRotationsAndScalesWithTheirNumbers) {
    Robot robot;
    MeshActor& actor = robot.actor;
    actor.action("moveX", "1.5");
    EXPECT_FLOAT_EQ(actor.getPosition().x, 15.0f);
    actor.action("moveX", "1.5");
    EXPECT_FLOAT_EQ(actor.getPosition().x, 30.0f);
    EXPECT_FLOAT_EQ(actor.getActorNode()->getPosition().x, 30.0f);
    actor.action("moveY", " -2"); // leading blanks are skipped, as atof does
    actor.action("moveZ", "0.25xyz");
    EXPECT_EQ(actor.getPosition(), Ogre::Vector3(30, -20, 2.5f));

    actor.action("rotateY", "1");
    EXPECT_EQ(actor.getOrientation(), Ogre::Quaternion(1, 0, 1, 0)); // replaced, unnormalised
    // The engine normalises what the node gets; the stored orientation stays as given.
    EXPECT_TRUE(actor.getActorNode()->getOrientation().equals(Ogre::Quaternion(0.7071068f, 0, 0.7071068f, 0),
                                                              Ogre::Degree(0.1f)));
    actor.action("rotateZ", "0.5");
    EXPECT_EQ(actor.getOrientation(), Ogre::Quaternion(0.5f, 0, 0, 1));

    actor.action("scaleZ", "-0.5");
    EXPECT_EQ(actor.getScale(), Ogre::Vector3(1, 1, 0.5f));
    EXPECT_EQ(actor.getActorNode()->getScale(), Ogre::Vector3(1, 1, 0.5f));
    actor.action("scaleX", "1");
    EXPECT_EQ(actor.getScale(), Ogre::Vector3(2, 1, 0.5f));

    // Arguments that are no numbers read as 0.
    const Ogre::Vector3 position = actor.getPosition();
    for (const char* argument : {"abc", "", "nan", "inf", "-inf"}) {
        actor.action("moveX", argument);
        EXPECT_EQ(actor.getPosition(), position) << argument;
    }
    actor.action("rotateX", "abc");
    EXPECT_EQ(actor.getOrientation(), Ogre::Quaternion(0, 1, 0, 0)); // a half turn about X
    actor.action("scaleY", "nope");
    EXPECT_EQ(actor.getScale(), Ogre::Vector3(2, 1, 0.5f));

    // Keywords match whole and case-sensitively; others change nothing.
    for (const char* keyword : {"MoveX", "moveX ", "move", "", "rotate", "scale", "PLAY"}) {
        actor.action(keyword, "3");
    }
    EXPECT_EQ(actor.getPosition(), position);
    EXPECT_EQ(actor.getOrientation(), Ogre::Quaternion(0, 1, 0, 0));
    EXPECT_EQ(actor.getScale(), Ogre::Vector3(2, 1, 0.5f));
    EXPECT_FALSE(actor.isPlaying());
}

TEST(Actions, SwitchingAnimationsResetsThePreviousOneAndKeepsTheSameOne) {
    Robot robot;
    MeshActor& actor = robot.actor;
    std::set<std::string> names;
    EXPECT_EQ(actor.getAnimationNames(names), (std::set<std::string>{"Walk", "Wave"}));

    actor.action("animation", "Wave");
    EXPECT_EQ(actor.getCurrentAnimation(), "Wave");
    EXPECT_TRUE(robot.state("Wave")->getEnabled());
    EXPECT_FALSE(robot.state("Wave")->getLoop());
    EXPECT_FALSE(actor.isPlaying()); // switching does not start it
    actor.addTime(0.3f);
    EXPECT_FLOAT_EQ(robot.state("Wave")->getTimePosition(), 0.0f);

    actor.action("play", "");
    actor.addTime(0.3f);
    EXPECT_FLOAT_EQ(robot.state("Wave")->getTimePosition(), 0.3f);
    actor.action("animation_loop", "Wave"); // the current one: nothing changes, not even the loop flag
    EXPECT_FLOAT_EQ(robot.state("Wave")->getTimePosition(), 0.3f);
    EXPECT_FALSE(robot.state("Wave")->getLoop());
    actor.action("animation", "Dance"); // no such animation: nothing changes
    EXPECT_EQ(actor.getCurrentAnimation(), "Wave");
    EXPECT_TRUE(robot.state("Wave")->getEnabled());

    actor.action("animation_loop", "Walk");
    EXPECT_EQ(actor.getCurrentAnimation(), "Walk");
    EXPECT_FALSE(robot.state("Wave")->getEnabled());
    EXPECT_FLOAT_EQ(robot.state("Wave")->getTimePosition(), 0.0f);
    EXPECT_TRUE(robot.state("Walk")->getEnabled());
    EXPECT_TRUE(robot.state("Walk")->getLoop());
    EXPECT_TRUE(actor.isPlaying());

    // Looping wraps; pause holds the time, with the animation still enabled.
    const float length = robot.state("Walk")->getLength();
    ASSERT_GT(length, 0.0f);
    actor.addTime(length * 1.25f);
    EXPECT_NEAR(robot.state("Walk")->getTimePosition(), length * 0.25f, 1e-3);
    actor.action("pause", "");
    actor.addTime(0.5f);
    EXPECT_NEAR(robot.state("Walk")->getTimePosition(), length * 0.25f, 1e-3);
    EXPECT_TRUE(robot.state("Walk")->getEnabled());

    // Without looping the animation stops at its end.
    actor.action("animation", "Wave");
    actor.action("play", "");
    const float waveLength = robot.state("Wave")->getLength();
    actor.addTime(waveLength + 5.0f);
    EXPECT_FLOAT_EQ(robot.state("Wave")->getTimePosition(), waveLength);
    EXPECT_TRUE(robot.state("Wave")->hasEnded());
    actortest::renderFrames();
}

TEST(Actions, PlayBeforeAnyAnimationStartsTheNextOneAtOnce) {
    Robot robot;
    MeshActor& actor = robot.actor;
    actor.action("play", "");
    actor.addTime(1.0f); // nothing to advance
    actor.action("animation", "Walk");
    actor.addTime(0.2f);
    EXPECT_FLOAT_EQ(robot.state("Walk")->getTimePosition(), 0.2f);
}

TEST(Actions, LightActorsTakeTheSameKeywordsOnTheirBulb) {
    TestServices services = World::get().services();
    LightActor lamp(World::get().views(), &services, "actionLamp");
    ASSERT_TRUE(lamp.init());
    lamp.action("moveZ", "2");
    lamp.action("rotateX", "1");
    lamp.action("scaleY", "1");
    EXPECT_EQ(lamp.getPosition(), Ogre::Vector3(0, 0, 20));
    EXPECT_EQ(lamp.getOrientation(), Ogre::Quaternion(1, 1, 0, 0));
    EXPECT_EQ(lamp.getScale(), Ogre::Vector3(1, 2, 1));
    EXPECT_EQ(lamp.getActorNode()->getPosition(), Ogre::Vector3(0, 0, 20));
    std::set<std::string> names{"stale"};
    EXPECT_TRUE(lamp.getAnimationNames(names).empty()); // the bulb has no animation
    lamp.action("animation", "Wave");                   // the robot's, not the bulb's
    EXPECT_EQ(lamp.getCurrentAnimation(), "");
    lamp.action("play", "");
    lamp.addTime(0.1f);
    EXPECT_TRUE(lamp.isPlaying());
}
