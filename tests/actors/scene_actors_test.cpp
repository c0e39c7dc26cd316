// Actors through the Scene's project operations: the selected actor, destroy across kinds,
// connection bookkeeping, clear; and the window's own picture of a shown mesh actor, in the
// main view and from the top, front and left in the four-view layout.
#include "actors/ActorTestSupport.h"

#include "platform/fileutil.h"

#include <algorithm>
#include <cstdlib>
#include <future>

using actortest::World;

namespace {

Ogre::Image snapshot() {
    Scene& scene = World::get().scene();
    // Without a camera the splash covers the main view; these pictures are about the 3D content.
    Ogre::Viewport* main = scene.getWindow()->getViewportByZOrder(3);
    main->setOverlaysEnabled(false);
    actortest::renderFrames(3);
    main->setOverlaysEnabled(true);
    Ogre::RenderWindow* window = scene.getWindow();
    Ogre::Image image(Ogre::PF_BYTE_RGB, window->getWidth(), window->getHeight());
    window->copyContentsToMemory(image.getPixelBox(), image.getPixelBox());
    return image;
}

// Pixels of a region that differ clearly between two pictures.
int changed(const Ogre::Image& a, const Ogre::Image& b, size_t left, size_t top, size_t width,
            size_t height) {
    int count = 0;
    for (size_t y = top; y < top + height; y += 2) {
        for (size_t x = left; x < left + width; x += 2) {
            const Ogre::ColourValue p = a.getColourAt(x, y, 0);
            const Ogre::ColourValue q = b.getColourAt(x, y, 0);
            count += std::abs(p.r - q.r) + std::abs(p.g - q.g) + std::abs(p.b - q.b) > 0.1f;
        }
    }
    return count;
}

void saveForViewing(const Ogre::Image& image, const std::string& name) {
    if (const char* folder = std::getenv("VELQUIN_TEST_PICTURES")) {
        Ogre::Image copy(image);
        copy.save(std::string(folder) + "/" + name);
    }
}

} // namespace

TEST(SceneActors, TheSelectedActorFollowsSelectUnselectAndDestroy) {
    VelOS::CommandContext context;
    Scene& scene = World::get().scene();
    EngineProject& project = scene.project();
    ASSERT_TRUE(project.meshCreate(context, "a", "robot", "robot.mesh"));
    ASSERT_TRUE(project.meshCreate(context, "b", "robot", "robot.mesh"));
    ASSERT_TRUE(project.lightCreate(context, "c"));
    scene.getActors().find("a")->activated();
    scene.getActors().find("c")->activated();

    EXPECT_TRUE(project.actorSelect(context, "a"));
    EXPECT_TRUE(project.actorIsSelected(context, "a"));
    EXPECT_TRUE(project.actorSelect(context, "b")); // found, so true, but its marker is not in view
    EXPECT_FALSE(project.actorIsSelected(context, "b"));
    EXPECT_FALSE(project.actorIsSelected(context, "a")); // the previous selection was taken back
    EXPECT_FALSE(project.actorSelect(context, "nobody"));

    EXPECT_TRUE(project.actorSelect(context, "c"));
    project.actorsSelectAll(context); // leaves the selected actor as it is
    EXPECT_TRUE(project.actorIsSelected(context, "a"));
    EXPECT_TRUE(project.actorUnselect(context, "a"));
    EXPECT_FALSE(project.actorIsSelected(context, "a"));
    EXPECT_TRUE(project.actorIsSelected(context, "c"));

    // Destroying the selected actor through another kind's destroy leaves no selected actor.
    EXPECT_TRUE(project.actorSelect(context, "c"));
    project.destroyActor(context, ActorKind::Mesh, "c");
    std::string list;
    project.actorList(context, ActorKind::Light, list);
    EXPECT_EQ(list, "");
    EXPECT_TRUE(project.actorSelect(context, "a")); // would unselect a deleted actor if one were kept
    project.destroyActor(context, ActorKind::Scene, "a");
    project.destroyActor(context, ActorKind::File, "b");
    project.actorList(context, ActorKind::Mesh, list);
    EXPECT_EQ(list, "");
    EXPECT_FALSE(project.actorSelect(context, "a"));
}

TEST(SceneActors, ConnectionsFollowTheTrackersAndClearEmptiesTheProject) {
    VelOS::CommandContext context;
    Scene& scene = World::get().scene();
    EngineProject& project = scene.project();
    const std::string work = scene.getWorkDirectory();
    VelOS::copyFile(std::string(std::getenv("VELQUIN_PLAYER_DIR")) + "/markers/letter-v.pat", work + "v.pat");
    ASSERT_TRUE(project.trackerCreate(context, "t1", "v.pat", 80));
    ASSERT_TRUE(project.trackerCreate(context, "t2", "v.pat", 40));
    ASSERT_TRUE(project.meshCreate(context, "m", "robot", "robot.mesh"));
    ASSERT_TRUE(project.fileCreate(context, "f", "robot", "robot_poster.png", "image"));

    std::string tracker = "unchanged";
    EXPECT_TRUE(project.actorText(context, ActorKind::Mesh, ActorField::Tracker, "m", tracker));
    EXPECT_EQ(tracker, "");
    EXPECT_FALSE(project.connectActor(context, ActorKind::Mesh, "m", "absent"));
    EXPECT_FALSE(project.connectActor(context, ActorKind::Mesh, "f", "t1")); // a file, not a mesh
    EXPECT_TRUE(project.connectActor(context, ActorKind::Mesh, "m", "t1"));
    EXPECT_TRUE(project.connectActor(context, ActorKind::Mesh, "m", "t2"));
    EXPECT_FALSE(project.connectActor(context, ActorKind::Mesh, "m", "absent")); // stays where it was
    EXPECT_TRUE(project.actorText(context, ActorKind::Mesh, ActorField::Tracker, "m", tracker));
    EXPECT_EQ(tracker, "t2");
    EXPECT_TRUE(project.connectActor(context, ActorKind::File, "f", "t1"));
    project.trackerDestroy(context, "t1");
    EXPECT_TRUE(
        project.connectActor(context, ActorKind::File, "f", "t2")); // its tracker went away in between
    EXPECT_TRUE(project.unconnectActor(context, ActorKind::File, "f"));
    EXPECT_TRUE(project.actorText(context, ActorKind::File, ActorField::Tracker, "f", tracker));
    EXPECT_EQ(tracker, "");
    EXPECT_FALSE(project.unconnectActor(context, ActorKind::Light, "m"));

    double x = 0, y = 0, z = 0;
    EXPECT_TRUE(project.translateActor(context, ActorKind::File, "f", 1, 2, 3));
    EXPECT_TRUE(project.actorTranslation(context, ActorKind::File, "f", x, y, z));
    EXPECT_EQ(x + y + z, 6.0);
    EXPECT_FALSE(project.actorTranslation(context, ActorKind::Mesh, "f", x, y, z));

    ASSERT_TRUE(project.actorsViewports(context, "m"));
    EXPECT_EQ(scene.getWindow()->getViewportByZOrder(3)->getActualWidth(),
              static_cast<int>(scene.getWindow()->getWidth()) / 2);
    EXPECT_TRUE(project.newProject(context));
    EXPECT_EQ(scene.getWindow()->getViewportByZOrder(3)->getActualWidth(),
              static_cast<int>(scene.getWindow()->getWidth()));
    std::set<std::string> names{"stale"};
    project.getMeshNames(names);
    EXPECT_TRUE(names.empty());
    project.getFileNames(names);
    EXPECT_TRUE(names.empty());
    project.getTrackerNames(names);
    EXPECT_TRUE(names.empty());
    // clear took the resources too: put the package back for the tests that follow
    const std::string package = work + "robot.zip";
    project.resourceCreate(context, "robot", package);
}

TEST(SceneActors, AMeshActorShowsInTheMainViewAndFromTopFrontAndLeft) {
    VelOS::CommandContext context;
    Scene& scene = World::get().scene();
    EngineProject& project = scene.project();
    ASSERT_TRUE(project.meshCreate(context, "shown", "robot", "robot.mesh"));
    // About 100 units across, whatever units the sample mesh uses: the auxiliary cameras stand
    // 300 units from the marker.
    MeshActor* actor = scene.getActors().findMesh("shown");
    ASSERT_NE(actor, nullptr);
    const Ogre::Vector3 size = actor->getEntity()->getMesh()->getBounds().getSize();
    const double scale = 100.0 / std::max({size.x, size.y, size.z});
    ASSERT_TRUE(project.scaleActor(context, ActorKind::Mesh, "shown", scale, scale, scale));
    actor->setPosePosition(0, 0, 300); // in front of the main camera
    actor->setPoseOrientation(1, 0, 0, 0);

    const Ogre::Image hidden = snapshot();
    actor->activated();
    const Ogre::Image shown = snapshot();
    saveForViewing(shown, "actor-main.png");
    const size_t width = shown.getWidth(), height = shown.getHeight();
    EXPECT_GT(changed(hidden, shown, 0, 0, width, height), 100);

    ASSERT_TRUE(project.actorsViewports(context, "shown"));
    actor->deactivated();
    const Ogre::Image fourHidden = snapshot();
    actor->activated();
    const Ogre::Image four = snapshot();
    saveForViewing(four, "actor-four-views.png");
    const size_t w = width / 2, h = height / 2;
    const int top = changed(fourHidden, four, 0, 0, w, h);
    const int front = changed(fourHidden, four, w, 0, w, h);
    const int left = changed(fourHidden, four, 0, h, w, h);
    const int main = changed(fourHidden, four, w, h, w, h);
    EXPECT_GT(top, 100);
    EXPECT_GT(front, 100);
    EXPECT_GT(left, 100);
    EXPECT_GT(main, 100);
    // Three different sides of the robot, not one picture three times: where the robot covers
    // the grid differs between the views.
    int differentCover = 0;
    for (size_t y = 0; y < h; y += 2) {
        for (size_t x = 0; x < w; x += 2) {
            const bool inTop = changed(fourHidden, four, x, y, 1, 1) != 0;
            const bool inFront = changed(fourHidden, four, x + w, y, 1, 1) != 0;
            const bool inLeft = changed(fourHidden, four, x, y + h, 1, 1) != 0;
            differentCover += (inTop != inFront) + (inFront != inLeft);
        }
    }
    EXPECT_GT(differentCover, 100);

    ASSERT_TRUE(project.actorsViewports(context, "shown")); // back to the single view
    project.destroyActor(context, ActorKind::Mesh, "shown");
}

// Reads and transform changes are the project model's: a connection thread gets its answer while
// the main loop is busy elsewhere (here: not turning at all), and the engine follows at the next
// frame.
TEST(SceneActors, ReadsAndMovesAreAnsweredWithoutTheMainLoop) {
    VelOS::CommandContext context;
    Scene& scene = World::get().scene();
    EngineProject& project = scene.project();
    ASSERT_TRUE(project.meshCreate(context, "still", "robot", "robot.mesh"));
    const Ogre::Vector3 before = scene.getActors().findMesh("still")->getPosition();

    auto client = std::async(std::launch::async, [&project] {
        VelOS::CommandContext context; // a client's command of its own
        std::string title, list;
        double x = 0, y = 0, z = 0;
        const bool moved = project.translateActor(context, ActorKind::Mesh, "still", 1, 2, 3) &&
                           project.actorTranslation(context, ActorKind::Mesh, "still", x, y, z);
        const bool refused = !project.translateActor(context, ActorKind::Mesh, "still", 1e39, 0, 0) &&
                             !project.translateActor(context, ActorKind::Mesh, "nobody", 1, 2, 3);
        project.setTitle(context, "Busy main loop");
        project.getTitle(context, title);
        project.actorList(context, ActorKind::Mesh, list);
        return moved && refused && x == 1 && y == 2 && z == 3 && title == "Busy main loop" &&
               list.find("\"still\"") != std::string::npos;
    });
    const bool answered = client.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    if (!answered) {
        actortest::renderFrames(1); // lets a client that waits for the main loop go
    }
    ASSERT_TRUE(answered) << "a read or a move waited for the main loop";
    EXPECT_TRUE(client.get());

    // The engine has not moved the actor yet; it does at the next frame.
    EXPECT_EQ(scene.getActors().findMesh("still")->getPosition(), before);
    actortest::renderFrames(1);
    EXPECT_EQ(scene.getActors().findMesh("still")->getPosition(), Ogre::Vector3(1, 2, 3));
    project.destroyActor(context, ActorKind::Mesh, "still");
}

TEST(SceneActors, AMeshAskedForBeforeItsPackageLoadsCanBeMadeOnceItHas) {
    // A client that makes the mesh actor before the resource (or names a resource that is not
    // there yet) is refused; the mesh must still load once the package is there.
    VelOS::CommandContext context;
    Scene& scene = World::get().scene();
    EngineProject& project = scene.project();
    EXPECT_FALSE(project.meshCreate(context, "early", "later", "robot.mesh"));
    const std::string package = scene.getWorkDirectory() + "later.zip";
    VelOS::copyFile(std::string(std::getenv("VELQUIN_PLAYER_DIR")) + "/samples/robot.zip", package);
    ASSERT_TRUE(project.resourceCreate(context, "later", package));
    EXPECT_TRUE(project.meshCreate(context, "early", "later", "robot.mesh"));
    project.resourceDestroy(context, "later");
    EXPECT_EQ(scene.getActors().find("early"), nullptr);
}
