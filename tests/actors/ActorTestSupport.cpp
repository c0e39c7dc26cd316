#include "actors/ActorTestSupport.h"

#include "platform/fileutil.h"

#include <cstdlib>
#include <unistd.h>

namespace actortest {

World* World::instance_ = nullptr;

void World::SetUp() {
    const char* player = std::getenv("VELQUIN_PLAYER_DIR");
    ASSERT_NE(player, nullptr);
    ASSERT_EQ(chdir(player), 0);
    setenv("VELQUIN_NO_CONFIG_DIALOG", "1", 1);
    setenv("LP_NUM_THREADS", "0", 1);
    setenv("TMPDIR", scratch_.path().c_str(), 1); // the work directory goes with the scratch folder
    scene_ = std::make_unique<Scene>();
    ASSERT_TRUE(scene_->setup());
    const std::string package = scene_->getWorkDirectory() + "robot.zip";
    VelOS::copyFile(std::string(player) + "/samples/robot.zip", package);
    VelOS::CommandContext context;
    ASSERT_TRUE(scene_->project().resourceCreate(context, "robot", package));
}

void World::TearDown() {
    scene_.reset();
}

TestServices World::services() {
    TestServices services;
    services.workDirectory = scene_->getWorkDirectory();
    services.mainNode = scene_->getMainNode();
    return services;
}

std::string World::addSceneFile(const std::string& fileName, const std::string& content) {
    const std::string group = "ActorTestScenes" + std::to_string(++groups_);
    const std::string directory = scratch_.path() + group + "/";
    VelOS::createDirectory(directory);
    scratch_.write(group + "/" + fileName, content);
    Ogre::ResourceGroupManager& groups = Ogre::ResourceGroupManager::getSingleton();
    groups.addResourceLocation(directory, "FileSystem", group);
    groups.initialiseResourceGroup(group);
    return group;
}

void renderFrames(int count) {
    for (int i = 0; i < count; ++i) {
        World::get().scene().runOneTurn();
    }
}

} // namespace actortest

namespace {
// Registered before the test runner's main runs.
::testing::Environment* const world = ::testing::AddGlobalTestEnvironment(new actortest::World());
} // namespace
