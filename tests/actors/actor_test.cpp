// The common actor scheme on real engine objects: names, the first turn, activation, selection,
// the marker gesture and removal; then what the mesh, light and file kinds add.
#include "actors/ActorTestSupport.h"

#include "actors/FileActor.h"
#include "actors/LightActor.h"
#include "actors/MeshActor.h"
#include "platform/fileutil.h"
#include "support/Wait.h"

#include <chrono>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <thread>

using actortest::LogWatch;
using actortest::TestServices;
using actortest::World;

namespace {

std::unique_ptr<MeshActor> makeRobot(TestServices& services) {
    auto actor = std::make_unique<MeshActor>(World::get().views(), &services, "robot", "robot.mesh");
    EXPECT_TRUE(actor->init());
    return actor;
}

Ogre::Entity* entityOf(Actor& actor) {
    return World::get().views()->getEntity(actor.getPrefix() + "::Entity");
}

Ogre::Entity* markOf(Actor& actor) {
    return World::get().views()->getEntity(actor.getPrefix() + "::SelectedEntity");
}

// The number in a prefix such as "Velquin::MeshActor::12".
unsigned prefixNumber(const std::string& prefix) {
    return static_cast<unsigned>(std::stoul(prefix.substr(prefix.rfind(':') + 1)));
}

bool near(const Ogre::Quaternion& a, const Ogre::Quaternion& b) {
    return std::abs(a.w - b.w) < 1e-5f && std::abs(a.x - b.x) < 1e-5f && std::abs(a.y - b.y) < 1e-5f &&
           std::abs(a.z - b.z) < 1e-5f;
}

// Hides the marker for that many seconds and shows it again, with one frame after.
void hideAndShow(Actor& actor, float seconds) {
    actor.deactivated();
    for (float t = 0; t < seconds - 0.01f; t += 0.25f) {
        actor.addTime(0.25f);
    }
    actor.activated();
    actor.addTime(0.02f);
}

} // namespace

TEST(Actor, FreshActorIsTurnedByYaw90ThenRoll90AndHidden) {
    TestServices services = World::get().services();
    auto actor = makeRobot(services);
    EXPECT_EQ(actor->getPrefix().rfind("Velquin::MeshActor::", 0), 0u);

    const Ogre::Quaternion expected = Ogre::Quaternion::IDENTITY *
                                      Ogre::Quaternion(Ogre::Degree(90), Ogre::Vector3::UNIT_Y) *
                                      Ogre::Quaternion(Ogre::Degree(90), Ogre::Vector3::UNIT_Z);
    EXPECT_TRUE(near(actor->getOrientation(), expected));
    EXPECT_NEAR(actor->getPitch(), expected.getPitch().valueDegrees(), 1e-3);
    EXPECT_NEAR(actor->getYaw(), expected.getYaw().valueDegrees(), 1e-3);
    EXPECT_NEAR(actor->getRoll(), expected.getRoll().valueDegrees(), 1e-3);
    EXPECT_GT(std::abs(actor->getPitch()) + std::abs(actor->getYaw()) + std::abs(actor->getRoll()), 80.0);
    EXPECT_TRUE(near(actor->getActorNode()->getOrientation(), expected));

    // Hidden, under MainNode, with the content and the mark on the actor node.
    Ogre::SceneNode* root = actor->getNode();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->getName(), actor->getPrefix() + "::Node");
    EXPECT_EQ(root->getParent(), World::get().scene().getMainNode());
    EXPECT_EQ(actor->getActorNode()->getName(), actor->getPrefix() + "::ActorNode");
    EXPECT_EQ(entityOf(*actor)->getParentSceneNode(), actor->getActorNode());
    EXPECT_EQ(markOf(*actor)->getParentSceneNode(), actor->getActorNode());
    EXPECT_FALSE(entityOf(*actor)->getVisible());
    EXPECT_FALSE(markOf(*actor)->getVisible());
    EXPECT_EQ(actor->getSourceName(), "robot.mesh");
}

TEST(Actor, ActivationPrintsEveryCallAndChangesStateOnce) {
    TestServices services = World::get().services();
    auto actor = makeRobot(services);
    testing::internal::CaptureStdout();
    actor->activated();
    actor->activated();
    actor->deactivated();
    actor->deactivated();
    EXPECT_EQ(
        testing::internal::GetCapturedStdout(),
        "MeshActor::activated!\nMeshActor::activated!\nMeshActor::deactivated\nMeshActor::deactivated\n");

    actor->activated();
    EXPECT_TRUE(actor->isActivated());
    EXPECT_TRUE(entityOf(*actor)->getVisible());
    EXPECT_FALSE(markOf(*actor)->getVisible());
    actor->setPosePosition(1, 2, 3);
    actor->setPoseOrientation(0, 1, 0, 0);
    EXPECT_EQ(actor->getNode()->getPosition(), Ogre::Vector3(1, 2, 3));
    EXPECT_EQ(actor->getNode()->getOrientation(), Ogre::Quaternion(0, 1, 0, 0));
    actor->deactivated();
    EXPECT_FALSE(actor->isActivated());
    EXPECT_FALSE(entityOf(*actor)->getVisible());
}

TEST(Actor, SelectionNeedsTheMarkerAndItsMarkFollowsActivation) {
    TestServices services = World::get().services();
    auto actor = makeRobot(services);
    actor->select();
    EXPECT_FALSE(actor->isSelected());
    EXPECT_FALSE(markOf(*actor)->getVisible());
    actor->activated();
    EXPECT_FALSE(markOf(*actor)->getVisible()); // an earlier select is not remembered
    actor->select();
    EXPECT_TRUE(actor->isSelected());
    EXPECT_TRUE(markOf(*actor)->getVisible());

    actor->deactivated();
    EXPECT_TRUE(actor->isSelected());
    EXPECT_FALSE(markOf(*actor)->getVisible());
    actor->activated();
    EXPECT_TRUE(markOf(*actor)->getVisible());

    actor->deactivated();
    actor->unselect(); // works in every state
    EXPECT_FALSE(actor->isSelected());
    actor->activated();
    EXPECT_FALSE(markOf(*actor)->getVisible());
}

TEST(Actor, MarkerGestureTogglesPlayingOnlyBetweenHalfASecondAndTwoAndAHalfInHandMode) {
    TestServices services = World::get().services();
    auto actor = makeRobot(services);
    actor->activated();

    services.handMode = true;
    hideAndShow(*actor, 1.0f);
    EXPECT_TRUE(actor->isPlaying());
    hideAndShow(*actor, 3.0f);
    EXPECT_TRUE(actor->isPlaying()); // too long: nothing
    hideAndShow(*actor, 1.0f);
    EXPECT_FALSE(actor->isPlaying()); // the count started again after the long hide
    hideAndShow(*actor, 0.5f);
    EXPECT_FALSE(actor->isPlaying()); // both bounds are excluded
    hideAndShow(*actor, 2.5f);
    EXPECT_FALSE(actor->isPlaying());
    hideAndShow(*actor, 0.75f);
    EXPECT_TRUE(actor->isPlaying());

    // Hand mode off: hiding counts for nothing, also when hand mode comes on before the marker
    // is seen again.
    services.handMode = false;
    for (float seconds : {1.0f, 2.0f}) {
        hideAndShow(*actor, seconds);
        EXPECT_TRUE(actor->isPlaying());
    }
    actor->deactivated();
    actor->addTime(1.0f);
    services.handMode = true;
    actor->activated();
    actor->addTime(0.02f);
    EXPECT_TRUE(actor->isPlaying());
}

TEST(Actor, FailedInitUsesUpItsNumberAndLeavesNothingBehind) {
    TestServices services = World::get().services();
    Ogre::SceneManager* views = World::get().views();
    LogWatch log;
    auto missing = std::make_unique<MeshActor>(views, &services, "robot", "absent.mesh");
    EXPECT_FALSE(missing->init());
    EXPECT_TRUE(log.saw("MeshActor::init cannot create actor"));
    const std::string failedPrefix = missing->getPrefix();
    EXPECT_TRUE(views->hasSceneNode(failedPrefix + "::Node")); // kept until the actor goes
    missing.reset();
    EXPECT_FALSE(views->hasSceneNode(failedPrefix + "::Node"));
    EXPECT_FALSE(views->hasSceneNode(failedPrefix + "::ActorNode"));
    EXPECT_FALSE(views->hasEntity(failedPrefix + "::SelectedEntity"));

    auto next = makeRobot(services);
    EXPECT_EQ(prefixNumber(next->getPrefix()), prefixNumber(failedPrefix) + 1);

    // No main node to hang on: refused, not a crash.
    TestServices nowhere;
    MeshActor orphan(views, &nowhere, "robot", "robot.mesh");
    EXPECT_FALSE(orphan.init());
}

TEST(Actor, TwoActorsOfOneMeshAreIndependentAndRemovalIsComplete) {
    TestServices services = World::get().services();
    Ogre::SceneManager* views = World::get().views();
    auto first = makeRobot(services);
    auto second = makeRobot(services);
    ASSERT_NE(first->getPrefix(), second->getPrefix());
    EXPECT_NE(entityOf(*first), entityOf(*second));
    first->setPosePosition(5, 0, 0);
    second->setPosePosition(-5, 0, 0);
    EXPECT_NE(first->getNode()->getPosition(), second->getNode()->getPosition());
    EXPECT_TRUE(first->ownsNode(first->getNode()));
    EXPECT_TRUE(first->ownsNode(first->getActorNode()));
    EXPECT_FALSE(first->ownsNode(second->getNode()));
    EXPECT_FALSE(first->ownsNode(second->getActorNode()));
    EXPECT_FALSE(first->ownsNode(nullptr));

    const std::string prefix = first->getPrefix();
    first->removeFromScene();
    first->removeFromScene(); // the second call does nothing
    EXPECT_EQ(first->getNode(), nullptr);
    EXPECT_FALSE(views->hasSceneNode(prefix + "::Node"));
    EXPECT_FALSE(views->hasEntity(prefix + "::Entity"));
    EXPECT_FALSE(views->hasEntity(prefix + "::SelectedEntity"));
    // Calls after removal reach no engine object.
    first->activated();
    first->select();
    first->setPosePosition(1, 1, 1);
    first->addTime(0.1f);
    first->action("play", "");
    std::set<std::string> names{"stale"};
    EXPECT_TRUE(first->getAnimationNames(names).empty());
    EXPECT_TRUE(views->hasEntity(second->getPrefix() + "::Entity"));
}

TEST(Actor, UserTransformIsStoredAndAppliedToTheActorNode) {
    TestServices services = World::get().services();
    auto actor = makeRobot(services);
    actor->setPosition(1, 2.5, 0.125);
    actor->setScale(2, 3, 4);
    actor->setOrientation(2, 0, 0, 0); // kept unnormalised
    EXPECT_EQ(actor->getPosition(), Ogre::Vector3(1, 2.5f, 0.125f));
    EXPECT_EQ(actor->getActorNode()->getPosition(), Ogre::Vector3(1, 2.5f, 0.125f));
    EXPECT_EQ(actor->getActorNode()->getScale(), Ogre::Vector3(2, 3, 4));
    EXPECT_EQ(actor->getOrientation(), Ogre::Quaternion(2, 0, 0, 0));
    EXPECT_EQ(actor->getActorNode()->getOrientation(), Ogre::Quaternion(1, 0, 0, 0));
    // Numbers the engine cannot take change nothing.
    EXPECT_FALSE(actor->setPosition(1e39, 0, 0));
    EXPECT_FALSE(actor->setScale(1, std::nan(""), 1));
    EXPECT_FALSE(actor->setOrientation(0, 0, 0, 0));
    EXPECT_FALSE(actor->setOrientation(1e-30, 0, 0, 0));
    EXPECT_FALSE(actor->pitch(1e308));
    EXPECT_EQ(actor->getPosition(), Ogre::Vector3(1, 2.5f, 0.125f));
    EXPECT_EQ(actor->getScale(), Ogre::Vector3(2, 3, 4));
    EXPECT_EQ(actor->getOrientation(), Ogre::Quaternion(2, 0, 0, 0));
    EXPECT_TRUE(actor->setScale(0, 0, 0));
    actor->setOrientation(1, 0, 0, 0);
    actor->pitch(90);
    EXPECT_NEAR(actor->getPitch(), 90, 1e-3);
    actor->yaw(30); // about the actor's own, already pitched, Y axis
    EXPECT_TRUE(near(actor->getOrientation(), Ogre::Quaternion(Ogre::Degree(90), Ogre::Vector3::UNIT_X) *
                                                  Ogre::Quaternion(Ogre::Degree(30), Ogre::Vector3::UNIT_Y)));
    actor->setOrientation(1, 0, 0, 0);
    actor->roll(-45);
    EXPECT_NEAR(actor->getRoll(), -45, 1e-3);
}

// ---------------------------------------------------------------- lights

TEST(LightActor, NamedLightSwitchedWithItsMarkerAndRecreatedUnderTheSameName) {
    TestServices services = World::get().services();
    Ogre::SceneManager* views = World::get().views();
    auto lamp = std::make_unique<LightActor>(views, &services, "lamp");
    auto torch = std::make_unique<LightActor>(views, &services, "torch");
    ASSERT_TRUE(lamp->init());
    ASSERT_TRUE(torch->init());
    EXPECT_EQ(lamp->getSourceName(), "lamp");
    ASSERT_TRUE(views->hasLight("Light_lamp"));
    ASSERT_TRUE(views->hasLight("Light_torch"));
    Ogre::Light* light = views->getLight("Light_lamp");
    EXPECT_EQ(light->getType(), Ogre::Light::LT_POINT);
    EXPECT_EQ(light->getParentSceneNode(), lamp->getActorNode());
    // The bulb first, then the light, then the mark.
    EXPECT_EQ(lamp->getActorNode()->getAttachedObject(0)->getName(), lamp->getPrefix() + "::Entity");
    EXPECT_EQ(lamp->getActorNode()->getAttachedObject(1), light);

    EXPECT_FALSE(light->getVisible());
    lamp->activated();
    EXPECT_TRUE(light->getVisible());
    lamp->deactivated();
    EXPECT_FALSE(light->getVisible());

    // The light stays 2 units along the actor node's Z axis, also when the actor moves.
    lamp->setPosePosition(0, 0, 0);
    lamp->setPoseOrientation(1, 0, 0, 0);
    lamp->setOrientation(1, 0, 0, 0);
    lamp->setPosition(3, 4, 5);
    lamp->getNode()->_update(true, false);
    EXPECT_TRUE(light->getDerivedPosition().positionEquals(Ogre::Vector3(3, 4, 7), 1e-4f));

    lamp.reset();
    EXPECT_FALSE(views->hasLight("Light_lamp"));
    auto again = std::make_unique<LightActor>(views, &services, "lamp");
    EXPECT_TRUE(again->init());
}

// ---------------------------------------------------------------- files

namespace {

// A stand-in for xdg-open early in PATH: it appends its arguments, one per line, to a file.
class FakeOpener {
public:
    FakeOpener() {
        const std::string bin = World::get().scratch() + "bin/";
        VelOS::createDirectory(bin);
        record_ = World::get().scratch() + "opened.txt";
        const std::string script = bin + "xdg-open";
        // One write per call, so that openers running side by side do not mix their lines.
        std::ofstream(script) << "#!/bin/sh\nout=''\nfor a in \"$@\"; do out=\"$out$a\n\"; done\n"
                              << "printf '%s--\\n' \"$out\" >> '" << record_ << "'\n";
        chmod(script.c_str(), 0755);
        const char* path = std::getenv("PATH");
        oldPath_ = path != nullptr ? path : "";
        setenv("PATH", (bin + ":" + oldPath_).c_str(), 1);
        VelOS::deleteFile(record_);
    }
    ~FakeOpener() { setenv("PATH", oldPath_.c_str(), 1); }

    // The arguments of every call so far, each call closed by "--", once count calls arrived
    // (or after five seconds).
    std::string calls(int count) const {
        std::string text;
        testwait::waitUntil(
            [&] {
                text = recorded();
                return callsIn(text) >= count;
            },
            std::chrono::seconds(5));
        return text;
    }

    // The number of calls so far.
    int callCount() const { return callsIn(recorded()); }

    // The single argument of each of count calls, in any order.
    std::multiset<std::string> sortedCalls(int count) const {
        std::multiset<std::string> arguments;
        std::string current;
        std::istringstream lines(calls(count));
        for (std::string line; std::getline(lines, line);) {
            if (line == "--") {
                arguments.insert(current);
                current.clear();
            } else {
                current += current.empty() ? line : "\n" + line;
            }
        }
        return arguments;
    }

private:
    std::string recorded() const {
        std::ifstream in(record_);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    static int callsIn(const std::string& text) {
        int seen = 0;
        for (std::string::size_type at = text.find("--\n"); at != std::string::npos;
             at = text.find("--\n", at + 1)) {
            ++seen;
        }
        return seen;
    }

    std::string record_;
    std::string oldPath_;
};

} // namespace

TEST(FileActor, IconByTypeAndWhatTheDesktopIsAskedToOpen) {
    TestServices services = World::get().services();
    Ogre::SceneManager* views = World::get().views();
    const std::string work = services.workDirectory;
    FakeOpener opener;

    FileActor song(views, &services, "robot", "robot_beep.wav", "audio");
    FileActor poster(views, &services, "robot", "robot_poster.png", "image");
    FileActor site(views, &services, "robot", "http://example.org/a b?c=\"d\"", "web");
    ASSERT_TRUE(song.init());
    ASSERT_TRUE(poster.init());
    ASSERT_TRUE(site.init());
    EXPECT_EQ(views->getEntity(song.getPrefix() + "::Entity")->getMesh()->getName(), "audio.mesh");
    EXPECT_EQ(views->getEntity(site.getPrefix() + "::Entity")->getMesh()->getName(), "web.mesh");
    EXPECT_EQ(song.getSourceName(), "robot_beep.wav");

    song.action("play", "");
    poster.action("anything", "at all");
    site.action("", "");
    // The openers run side by side: their order is the desktop's.
    EXPECT_EQ(opener.sortedCalls(3),
              (std::multiset<std::string>{work + "robot/robot_beep.wav", work + "robot/robot_poster.png",
                                          "http://example.org/a b?c=\"d\""}));

    // The marker gesture opens once per gesture. An actor starts no viewer while its last one
    // still runs, so each gesture waits for the opener before to end.
    auto openersEnded = [] {
        for (int attempt = 0; attempt < 400 && VelOS::runningOpeners() > 0; ++attempt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    };
    services.handMode = true;
    site.activated();
    openersEnded();
    hideAndShow(site, 1.0f);
    openersEnded();
    hideAndShow(site, 1.0f);
    openersEnded();
    hideAndShow(site, 3.0f);
    EXPECT_EQ(opener.sortedCalls(5).count("http://example.org/a b?c=\"d\""), 3u);
    // The long hide opened nothing: no sixth call all through the fifth of a second after it,
    // time enough for an opener it had started to write its line.
    EXPECT_TRUE(testwait::holdsFor(std::chrono::milliseconds(200), [&] { return opener.callCount() == 5; }))
        << opener.callCount();
    EXPECT_EQ(opener.sortedCalls(5).size(), 5u);
}

TEST(FileActor, PathsOutsideTheWorkDirectoryAndOptionLikeLinksAreRefused) {
    TestServices services = World::get().services();
    Ogre::SceneManager* views = World::get().views();
    LogWatch log;
    std::string target;
    FileActor escape(views, &services, "robot", "../../etc/passwd", "audio");
    FileActor absolute(views, &services, "..", "x.wav", "audio");
    FileActor option(views, &services, "", "--version", "web");
    FileActor empty(views, &services, "", "", "web");
    FileActor dashedFile(views, &services, "robot", "-x.wav", "text");
    EXPECT_FALSE(escape.openTarget(target));
    EXPECT_FALSE(absolute.openTarget(target));
    EXPECT_FALSE(option.openTarget(target));
    EXPECT_FALSE(empty.openTarget(target));
    ASSERT_TRUE(dashedFile.openTarget(target)); // a path in the work directory never starts with "-"
    EXPECT_EQ(target, services.workDirectory + "robot/-x.wav");
    ASSERT_TRUE(option.init());
    option.action("", "");
    EXPECT_TRUE(log.saw("FileActor::action: refused to open --version"));

    // Types name icon meshes; one without its mesh, or one that reads as a path, makes no actor.
    FileActor unknown(views, &services, "robot", "a.bin", "binary");
    FileActor sneaky(views, &services, "robot", "a.bin", "../robot/robot");
    EXPECT_FALSE(unknown.init());
    EXPECT_FALSE(sneaky.init());
    EXPECT_TRUE(log.saw("FileActor::init cannot create actor"));
}
