// The actor collection: the creation protocol, names across the four kinds, lookups, destroy
// whatever the kind, and trackers that must never keep a deleted actor.
#include "actors/ActorTestSupport.h"

#include "actors/ActorManager.h"
#include "platform/fileutil.h"
#include "project/TrackerManager.h"

using actortest::TestServices;
using actortest::World;

namespace {

struct Collection {
    TestServices services = World::get().services();
    Ostrevan::Manager tracking;
    TrackerManager trackers{&tracking, World::get().scene().getWorkDirectory()};
    ActorManager actors;
    Collection() {
        actors.bind(World::get().views(), &services);
        actors.bindTrackers(&trackers);
    }
    ~Collection() {
        actors.destroyAll();
        trackers.destroyAll();
    }
    ARTracker* tracker(const std::string& name) {
        const std::string work = World::get().scene().getWorkDirectory();
        VelOS::copyFile(std::string(std::getenv("VELQUIN_PLAYER_DIR")) + "/markers/letter-v.pat",
                        work + "letter-v.pat");
        return trackers.createAR(name, "letter-v.pat", 80);
    }
};

} // namespace

TEST(ActorManager, CreationChecksBindingKindAndNameAcrossAllMaps) {
    ActorManager unbound;
    EXPECT_EQ(unbound.createLight("l"), nullptr);

    Collection c;
    ActorManager& actors = c.actors;
    ASSERT_NE(actors.createMesh("m", "robot", "robot.mesh"), nullptr);
    ASSERT_NE(actors.createLight("l"), nullptr);
    ASSERT_NE(actors.createFile("f", "robot", "robot_beep.wav", "audio"), nullptr);
    ASSERT_NE(actors.createScene("s", "robot", "robot_stage.osm"), nullptr);
    for (const char* name : {"m", "l", "f", "s"}) {
        EXPECT_FALSE(actors.isNameFree(name));
        EXPECT_EQ(actors.createMesh(name, "robot", "robot.mesh"), nullptr) << name;
        EXPECT_EQ(actors.createLight(name), nullptr) << name;
        EXPECT_EQ(actors.createFile(name, "robot", "x", "audio"), nullptr) << name;
        EXPECT_EQ(actors.createScene(name, "robot", "robot_stage.osm"), nullptr) << name;
    }
    EXPECT_TRUE(actors.isNameFree("M")); // names are case-sensitive

    // The mesh test looks for ".mesh" or ".MESH" anywhere; the scene test for ".osm" or ".OSM".
    EXPECT_EQ(actors.createMesh("bad1", "robot", "robot.Mesh"), nullptr);
    EXPECT_EQ(actors.createMesh("bad2", "robot", "robot"), nullptr);
    EXPECT_EQ(actors.createScene("bad3", "robot", "robot_stage.Osm"), nullptr);
    EXPECT_EQ(actors.createMesh("gone", "robot", "robot.mesh.missing"), nullptr); // passes, then init fails
    EXPECT_TRUE(actors.isNameFree("gone"));
    EXPECT_EQ(actors.getAllNames(), (std::set<std::string>{"f", "l", "m", "s"}));
    EXPECT_EQ(actors.getMeshNames(), std::set<std::string>{"m"});
    EXPECT_EQ(actors.getLightNames(), std::set<std::string>{"l"});
    EXPECT_EQ(actors.getFileNames(), std::set<std::string>{"f"});
    EXPECT_EQ(actors.getSceneNames(), std::set<std::string>{"s"});
}

TEST(ActorManager, LookupsSelectionActionsAndCamerasWorkForEveryKind) {
    Collection c;
    ActorManager& actors = c.actors;
    MeshActor* mesh = actors.createMesh("m", "robot", "robot.mesh");
    LightActor* light = actors.createLight("l");
    ASSERT_NE(mesh, nullptr);
    ASSERT_NE(light, nullptr);
    EXPECT_EQ(actors.find("l"), light);
    EXPECT_EQ(actors.findLight("l"), light);
    EXPECT_EQ(actors.findMesh("l"), nullptr);
    EXPECT_EQ(actors.find("nobody"), nullptr);

    light->activated();
    EXPECT_TRUE(actors.select("l"));
    EXPECT_TRUE(actors.isSelected("l"));
    EXPECT_TRUE(actors.select("m")); // found, though not selected: its marker is not in view
    EXPECT_FALSE(actors.isSelected("m"));
    EXPECT_FALSE(actors.select("nobody"));
    actors.unselectAll();
    EXPECT_FALSE(actors.isSelected("l"));
    actors.selectAll();
    EXPECT_TRUE(actors.isSelected("l"));
    EXPECT_TRUE(actors.unselect("l"));
    EXPECT_FALSE(actors.unselect("nobody"));

    EXPECT_TRUE(actors.action("l", "moveX", "1"));
    EXPECT_EQ(light->getPosition().x, 10.0f);
    EXPECT_TRUE(actors.action("l", "no such keyword", ""));
    EXPECT_FALSE(actors.action("nobody", "moveX", "1"));
    std::set<std::string> names{"stale"};
    actors.getAnimationNames("nobody", names);
    EXPECT_TRUE(names.empty());
    actors.getAnimationNames("m", names);
    EXPECT_EQ(names, (std::set<std::string>{"Walk", "Wave"}));

    // The per-frame update reaches every actor.
    actors.action("m", "animation", "Walk");
    actors.action("m", "play", "");
    actors.update(0.25f);
    EXPECT_FLOAT_EQ(mesh->getEntity()->getAnimationState("Walk")->getTimePosition(), 0.25f);

    // Picking: only an actor's own root and actor node.
    EXPECT_EQ(actors.findByNode(light->getNode()), light);
    EXPECT_EQ(actors.findByNode(mesh->getActorNode()), mesh);
    EXPECT_EQ(actors.findByNode(World::get().scene().getMainNode()), nullptr);
    EXPECT_EQ(actors.findByNode(nullptr), nullptr);

    Ogre::SceneManager* views = World::get().views();
    Ogre::Camera* top = views->createCamera("ActorManagerTestTop");
    Ogre::Camera* front = views->createCamera("ActorManagerTestFront");
    Ogre::Camera* left = views->createCamera("ActorManagerTestLeft");
    views->getRootSceneNode()->attachObject(front); // wherever they hang, they move
    EXPECT_TRUE(actors.attachViewCameras("l", top, front, left));
    EXPECT_TRUE(actors.attachViewCameras("m", top, front, left));
    for (Ogre::Camera* camera : {top, front, left}) {
        EXPECT_EQ(camera->getParentSceneNode(), mesh->getNode());
    }
    EXPECT_FALSE(actors.attachViewCameras("nobody", top, front, left));
    actors.destroy("m"); // the cameras come off with the node
    EXPECT_EQ(top->getParentSceneNode(), nullptr);
    for (Ogre::Camera* camera : {top, front, left}) {
        views->destroyCamera(camera);
    }
}

TEST(ActorManager, DestroyFindsEveryKindAndDeletedActorsLeaveTheirTrackers) {
    Collection c;
    ActorManager& actors = c.actors;
    ARTracker* tracker = c.tracker("t");
    ASSERT_NE(tracker, nullptr);
    for (const char* name : {"m1", "m2", "m3"}) {
        tracker->addListener(actors.createMesh(name, "robot", "robot.mesh"));
    }
    LightActor* light = actors.createLight("l");
    tracker->addListener(light);

    EXPECT_FALSE(actors.destroyScene("m1")); // each kind's destroy looks in its own map
    EXPECT_FALSE(actors.destroyLight("m1"));
    actors.destroy("m1"); // any kind
    EXPECT_EQ(actors.find("m1"), nullptr);
    EXPECT_TRUE(actors.destroyLight("l"));
    EXPECT_FALSE(tracker->hasListener(light));

    testing::internal::CaptureStdout();
    tracker->found(); // reaches the two actors left, and nothing deleted
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "MeshActor::activated!\nMeshActor::activated!\n");

    MeshActor* m2 = actors.findMesh("m2");
    actors.destroyAll();
    EXPECT_FALSE(tracker->hasListener(m2));
    EXPECT_TRUE(actors.getAllNames().empty());
    testing::internal::CaptureStdout();
    tracker->lost();
    tracker->moved(1, 2, 3, 1, 0, 0, 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}
