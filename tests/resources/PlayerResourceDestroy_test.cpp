// A resource destroyed while actors still show its meshes: the actors go first, with their
// events, and the player keeps drawing.
#include "support/PlayerSession.h"
#include "support/Wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

TEST(PlayerResourceDestroy, ActorsOfTheResourceGoFirst) {
    ScratchDirectory scratch;
    PlayerSession session(scratch);
    ASSERT_TRUE(session.ready());
    auto listener = session.open("listener");
    ASSERT_TRUE(listener);
    const std::string package = readWholeFile(PlayerProcess::builtPlayerDirectory() + "/samples/robot.zip");
    ASSERT_FALSE(package.empty());
    ASSERT_TRUE(session.upload("robot.zip", package));
    auto command = session.open("command");
    ASSERT_TRUE(command);
    command->send("project.resources.create(\"robot\", \"robot.zip\");\r\n"
                  "project.actors.mesh.create(\"bot\", \"robot\", \"robot.mesh\");\r\n"
                  "project.actors.scene.create(\"stage\", \"robot\", \"robot_stage.osm\");\r\n"
                  "project.actors.light.create(\"lamp\");\r\n");
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(command->line(), "ok\r");
        listener->line();
    }
    command->send("project.resources.destroy(\"robot\");\r\n");
    EXPECT_EQ(command->line(), "ok\r");
    // Each goes as its own destroy command would: unconnected, then destroyed.
    EXPECT_EQ(listener->line(), "project.actors.mesh.unconnected(\"bot\");");
    EXPECT_EQ(listener->line(), "project.actors.mesh.destroyed(\"bot\");");
    EXPECT_EQ(listener->line(), "project.actors.scene.unconnected(\"stage\");");
    EXPECT_EQ(listener->line(), "project.actors.scene.destroyed(\"stage\");");
    EXPECT_EQ(listener->line(), "project.resources.destroyed(\"robot\");");
    // A few frames drawn without the destroyed meshes, the player alive all the while.
    EXPECT_TRUE(
        testwait::holdsFor(std::chrono::milliseconds(500), [&] { return session.process().running(); }));
    command->send("project.actors.mesh.getList();\r\nproject.actors.light.getList();\r\n");
    EXPECT_EQ(command->line(), "\r");
    EXPECT_EQ(command->line(), "\"lamp\"\r");
    EXPECT_TRUE(session.process().running());
    EXPECT_EQ(session.close(), 0) << session.process().output();
}

namespace {

// Replays what a listener heard of the race on one resource and its meshes: false, with the
// event, at the first one no serial order of the two clients' commands could have produced.
class RaceReplay {
public:
    bool take(const std::string& event, std::string& why) {
        const auto startsWith = [&event](const std::string& start) { return event.rfind(start, 0) == 0; };
        if (startsWith("project.resources.created(\"robot\"")) {
            if (resource_) {
                return fail("the resource made twice: " + event, why);
            }
            resource_ = true;
            ++resourcesMade;
        } else if (event == "project.resources.destroyed(\"robot\");") {
            if (!resource_ || !meshes_.empty()) {
                return fail(std::to_string(meshes_.size()) + " meshes left on the destroyed resource", why);
            }
            resource_ = false;
        } else if (startsWith("project.actors.mesh.created(")) {
            if (!resource_) {
                return fail("a mesh made on no resource: " + event, why);
            }
            meshes_.insert(nameIn(event));
            ++meshesMade;
        } else if (startsWith("project.actors.mesh.destroyed(")) {
            // Also heard for a mesh the resource's destroy took first: destroy always tells.
            meshes_.erase(nameIn(event));
        }
        return true;
    }

    bool resourceAlive() const { return resource_; }
    std::size_t meshesAlive() const { return meshes_.size(); }
    int resourcesMade = 0;
    int meshesMade = 0;

private:
    static std::string nameIn(const std::string& event) {
        const std::size_t open = event.find('"');
        return event.substr(open + 1, event.find('"', open + 1) - open - 1);
    }
    static bool fail(const std::string& what, std::string& why) {
        why = what;
        return false;
    }

    bool resource_ = false;
    std::set<std::string> meshes_;
};

} // namespace

TEST(PlayerResourceDestroy, RacingMeshCreateLeavesNoActorOnADestroyedResource) {
    // One client makes and destroys the package's resource over and over while another makes
    // meshes on it, for 10 s with the debug overlay drawn every frame. The destroy takes the
    // resource's actors and the resource in one step: a mesh made by the other client lands
    // before it (and goes with it) or after it (and is refused), never on freed meshes.
    ScratchDirectory scratch;
    PlayerSession session(scratch);
    ASSERT_TRUE(session.ready());
    auto listener = session.open("listener"); // once it answers, the player listens
    const std::string package = readWholeFile(PlayerProcess::builtPlayerDirectory() + "/samples/robot.zip");
    ASSERT_TRUE(session.upload("robot.zip", package));
    auto resources = session.open("command");
    auto meshes = session.open("command");
    ASSERT_TRUE(listener && resources && meshes);
    resources->send("project.debug.show();\r\n");
    ASSERT_EQ(resources->line(), "ok\r");

    std::vector<std::string> heard;
    std::thread hearing([&] {
        std::string event;
        while (listener->readLine(event) && event != "project.title.changed(\"raced\");") {
            heard.push_back(event);
        }
    });
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int resourceReplies = 0;
    std::atomic<int> meshReplies{0};
    std::thread destroying([&] {
        while (std::chrono::steady_clock::now() < until) {
            resources->send("project.resources.create(\"robot\", \"robot.zip\");\r\n");
            resourceReplies += resources->line() == "ok\r";
            // The destroy goes once the other client has made a mesh on this resource, so that
            // it meets that client's next create.
            const int before = meshReplies;
            testwait::waitUntil([&] { return meshReplies > before; }, std::chrono::milliseconds(200),
                                std::chrono::milliseconds(1));
            resources->send("project.resources.destroy(\"robot\");\r\n");
            resourceReplies += resources->line() == "ok\r";
        }
    });
    for (int i = 0; std::chrono::steady_clock::now() < until; ++i) {
        const std::string name = "m" + std::to_string(i);
        meshes->send("project.actors.mesh.create(\"" + name + "\", \"robot\", \"robot.mesh\");\r\n");
        const std::string reply = meshes->line();
        ASSERT_TRUE(reply == "ok\r" || reply == "fail\r") << reply;
        meshReplies += reply == "ok\r";
        if (reply == "ok\r" && i % 2 == 0) { // every other one is left for the destroy to take
            meshes->send("project.actors.mesh.destroy(\"" + name + "\");\r\n");
            meshes->line();
        }
    }
    destroying.join();
    meshes->send("project.actors.mesh.getList();\r\nproject.resources.getList();\r\n"
                 "project.title.set(\"raced\");\r\n");
    const std::string meshList = meshes->line();
    const std::string resourceList = meshes->line();
    EXPECT_EQ(meshes->line(), "ok\r");
    hearing.join();

    RaceReplay replay;
    std::string why;
    for (std::size_t i = 0; i < heard.size(); ++i) {
        ASSERT_TRUE(replay.take(heard[i], why)) << "event " << i << " of " << heard.size() << ": " << why
                                                << "\nafter " << (i > 0 ? heard[i - 1] : "") << "\n"
                                                << (i > 1 ? heard[i - 2] : "") << "\n"
                                                << (i > 2 ? heard[i - 3] : "");
    }
    // Every ok had its event, and the lists read at the end are the replay's.
    EXPECT_EQ(replay.meshesMade, meshReplies);
    EXPECT_EQ(2 * replay.resourcesMade, resourceReplies);
    EXPECT_GE(replay.resourcesMade, 5);
    EXPECT_GE(replay.meshesMade, 20); // the race was run, not only refused
    EXPECT_FALSE(replay.resourceAlive());
    EXPECT_EQ(meshList, "\r");
    EXPECT_EQ(resourceList, "\"Nothing\"\r");
    EXPECT_TRUE(session.process().running());
    EXPECT_EQ(session.close(), 0) << session.process().output();
}
