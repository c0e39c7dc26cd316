// Resource packages loaded into a real engine: the generated robot sample and small packages
// made here for the naming rules and the unsound inputs.
#include "resources/ResourceManager.h"

#include "resources/EngineTestSupport.h"

#include <OGRE/OgreHighLevelGpuProgramManager.h>
#include <dirent.h>

using namespace enginetest;

namespace {

Engine* const engine = install();

const std::string AnimationError = "ERROR IN CREATEANIMATIONSTATE --> ";

std::set<std::string> filesIn(const std::string& directory) {
    std::set<std::string> names;
    if (DIR* dir = opendir(directory.c_str())) {
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.insert(name);
            }
        }
        closedir(dir);
    }
    return names;
}

const char* const SceneText = "<scene>\n"
                              "  <entities>\n"
                              "    <entity name=\"a\" filename=\"stage.mesh\" CastShadows=\"no\"/>\n"
                              "    <entity name=\"b\"/>\n"
                              "  </entities>\n"
                              "  <lights><light name=\"l\" type=\"omni\"/></lights>\n"
                              "</scene>\n";

class ResourcePackages : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(engine->window != nullptr);
        sceneManager = Ogre::Root::getSingleton().createSceneManager();
        camera = sceneManager->createCamera("camera");
        camera->setNearClipDistance(0.1f);
        sceneManager->getRootSceneNode()->createChildSceneNode(Ogre::Vector3(0, -3, 1))->attachObject(camera);
        camera->getParentSceneNode()->lookAt(Ogre::Vector3(0, 0, 0.5f), Ogre::Node::TS_WORLD,
                                             Ogre::Vector3::NEGATIVE_UNIT_Z);
        engine->window->addViewport(camera);
        work = scratch.path();
        robot = work + "robot.zip";
        VelOS::copyFile(playerDirectory() + "samples/robot.zip", robot);
        manager = std::make_unique<ResourceManager>();
        manager->bind(sceneManager, &services);
        mark = engine->log.mark();
    }
    void TearDown() override {
        manager.reset();
        engine->window->removeAllViewports();
        Ogre::Root::getSingleton().destroySceneManager(sceneManager);
    }

    void render() {
        Ogre::Root::getSingleton().renderOneFrame();
        engine->window->update();
    }
    std::string package(const std::string& name,
                        const std::vector<std::pair<std::string, std::string>>& entries) {
        const std::string path = work + name;
        EXPECT_TRUE(writePackage(path, entries));
        return path;
    }

    ScratchDirectory scratch;
    std::string work;
    std::string robot;
    WorkDirectoryServices services{scratch.path()};
    Ogre::SceneManager* sceneManager = nullptr;
    Ogre::Camera* camera = nullptr;
    std::unique_ptr<ResourceManager> manager;
    size_t mark = 0;
};

} // namespace

TEST_F(ResourcePackages, SamplePackageLoadsUnderItsName) {
    ASSERT_TRUE(manager->create("pkg", robot));
    EXPECT_EQ(manager->getList(), std::set<std::string>{"pkg"});
    std::string fileName;
    EXPECT_TRUE(manager->getFilename("pkg", fileName));
    EXPECT_EQ(fileName, "robot.zip");

    // Files no script refers to keep their names on disk and are listed with the prefix; the
    // textures and shader sources of the script are written under their new names only.
    const std::set<std::string> listed = {"pkg_robot.material", "pkg_robot.mesh",       "pkg_robot.skeleton",
                                          "pkg_robot_beep.wav", "pkg_robot_poster.png", "pkg_robot_stage.osm",
                                          "pkg_stage.mesh"};
    EXPECT_EQ(manager->getFilesInside("pkg"), listed);
    const std::set<std::string> onDisk = {"robot.material",    "robot.mesh",          "robot.skeleton",
                                          "robot_beep.wav",    "robot_poster.png",    "robot_stage.osm",
                                          "stage.mesh",        "pkg_robot_metal.png", "pkg_robot_panel.png",
                                          "pkg_stage_top.png", "pkg_robot_glow.vert", "pkg_robot_glow.frag"};
    EXPECT_EQ(filesIn(work + "pkg"), onDisk);
    EXPECT_EQ(readWholeFile(work + "pkg/robot.mesh"), entryOf(robot, "robot.mesh"));
    EXPECT_EQ(readWholeFile(work + "pkg/pkg_robot_metal.png"), entryOf(robot, "robot_metal.png"));
    EXPECT_EQ(readWholeFile(work + "pkg/robot_beep.wav"), entryOf(robot, "robot_beep.wav"));

    // The scene file names the prefixed meshes.
    const std::string scene = readWholeFile(work + "pkg/robot_stage.osm");
    EXPECT_NE(scene.find("filename=\"pkg_stage.mesh\""), std::string::npos) << scene;
    EXPECT_NE(scene.find("filename=\"pkg_robot.mesh\""), std::string::npos) << scene;
    EXPECT_EQ(scene.find("filename=\"robot.mesh\""), std::string::npos);
    EXPECT_EQ(engine->log.count(mark, "Has entities"), 1);

    // Meshes, their materials, the program the eyes use and the skeleton.
    Ogre::MeshPtr mesh = Ogre::MeshManager::getSingleton().getByName("pkg_robot.mesh", "pkg");
    ASSERT_TRUE(mesh);
    EXPECT_TRUE(Ogre::MeshManager::getSingleton().getByName("pkg_stage.mesh", "pkg"));
    std::set<std::string> subMaterials;
    for (Ogre::SubMesh* sub : mesh->getSubMeshes()) {
        subMaterials.insert(sub->getMaterialName());
    }
    EXPECT_EQ(subMaterials,
              (std::set<std::string>{"pkg_RobotEye", "pkg_RobotJoint", "pkg_RobotMetal", "pkg_RobotPanel"}));
    const std::set<std::string> materials = {"pkg_RobotEye",   "pkg_RobotJoint", "pkg_RobotMetal",
                                             "pkg_RobotPanel", "pkg_StageRim",   "pkg_StageTop"};
    for (const std::string& material : materials) {
        EXPECT_TRUE(Ogre::MaterialManager::getSingleton().getByName(material, "pkg")) << material;
    }
    EXPECT_FALSE(Ogre::MaterialManager::getSingleton().getByName("RobotMetal", Ogre::RGN_AUTODETECT));
    Ogre::MaterialPtr eye = Ogre::MaterialManager::getSingleton().getByName("pkg_RobotEye", "pkg");
    ASSERT_TRUE(eye);
    Ogre::Pass* glow = eye->getTechnique(0)->getPass(0);
    ASSERT_TRUE(glow->hasVertexProgram());
    EXPECT_EQ(glow->getVertexProgramName(), "pkg_RobotGlowVertex");
    EXPECT_EQ(glow->getFragmentProgramName(), "pkg_RobotGlowFragment");
    EXPECT_EQ(Ogre::MaterialManager::getSingleton()
                  .getByName("pkg_RobotMetal", "pkg")
                  ->getTechnique(0)
                  ->getPass(0)
                  ->getTextureUnitState(0)
                  ->getTextureName(),
              "pkg_robot_metal.png");
    ASSERT_TRUE(mesh->hasSkeleton());
    EXPECT_EQ(mesh->getSkeletonName(), "pkg_robot.skeleton");
    EXPECT_TRUE(mesh->getSkeleton()->hasAnimation("Wave"));
    EXPECT_TRUE(mesh->getSkeleton()->hasAnimation("Walk"));

    // The skeleton's animations were copied into the scene manager, with states.
    for (const char* name : {"Wave", "Walk"}) {
        ASSERT_TRUE(sceneManager->hasAnimation(name)) << name;
        EXPECT_EQ(sceneManager->getAnimation(name)->getNumNodeTracks(),
                  mesh->getSkeleton()->getAnimation(name)->getNumNodeTracks());
        EXPECT_TRUE(sceneManager->hasAnimationState(name)) << name;
    }
    EXPECT_EQ(engine->log.count(mark, AnimationError), 0);
    EXPECT_EQ(engine->log.count(mark, "Resource::init: material in submesh not declared in zip: "), 0);
    EXPECT_EQ(engine->log.count(mark, "Resource::init: loading: ROBOT.MESH"), 2);

    // It draws, waving, with its shader and its textures.
    Ogre::Entity* entity = sceneManager->createEntity("robot", "pkg_robot.mesh");
    sceneManager->getRootSceneNode()->attachObject(entity);
    Ogre::AnimationState* wave = entity->getAnimationState("Wave");
    wave->setEnabled(true);
    wave->addTime(0.5f);
    render();
    EXPECT_TRUE(Ogre::TextureManager::getSingleton().getByName("pkg_robot_metal.png", "pkg"));
    EXPECT_TRUE(Ogre::HighLevelGpuProgramManager::getSingleton().getByName("pkg_RobotGlowVertex", "pkg"));
    sceneManager->destroyEntity(entity);
}

TEST_F(ResourcePackages, SecondResourceFromTheSamePackageCoexists) {
    ASSERT_TRUE(manager->create("pkg", robot));
    const size_t second = engine->log.mark();
    ASSERT_TRUE(manager->create("other", robot));
    EXPECT_EQ(manager->getList(), (std::set<std::string>{"other", "pkg"}));
    // The scene animations came from the first; the second reports each one's clash once.
    EXPECT_EQ(engine->log.count(second, AnimationError), 1);

    Ogre::MeshPtr first = Ogre::MeshManager::getSingleton().getByName("pkg_robot.mesh", "pkg");
    Ogre::MeshPtr other = Ogre::MeshManager::getSingleton().getByName("other_robot.mesh", "other");
    ASSERT_TRUE(first && other);
    EXPECT_EQ(other->getSkeletonName(), "other_robot.skeleton");
    EXPECT_NE(first->getSkeleton(), other->getSkeleton());
    EXPECT_TRUE(Ogre::MaterialManager::getSingleton().getByName("other_RobotMetal", "other"));
    EXPECT_TRUE(Ogre::MaterialManager::getSingleton().getByName("pkg_RobotMetal", "pkg"));
    EXPECT_TRUE(pathExists(work + "other/other_robot_metal.png"));
    EXPECT_TRUE(pathExists(work + "pkg/pkg_robot_metal.png"));

    Ogre::Entity* a = sceneManager->createEntity("a", "pkg_robot.mesh");
    Ogre::Entity* b = sceneManager->createEntity("b", "other_robot.mesh");
    sceneManager->getRootSceneNode()->attachObject(a);
    sceneManager->getRootSceneNode()->createChildSceneNode(Ogre::Vector3(1, 0, 0))->attachObject(b);
    render();
    EXPECT_TRUE(Ogre::TextureManager::getSingleton().getByName("pkg_robot_metal.png", "pkg"));
    EXPECT_TRUE(Ogre::TextureManager::getSingleton().getByName("other_robot_metal.png", "other"));

    // The first goes; the second keeps its own skeleton, materials and textures and still
    // draws, animated. The scene animations lose the tracks of the first package's bones.
    sceneManager->destroyEntity(a);
    manager->destroy("pkg");
    EXPECT_TRUE(namesStartingWith(Ogre::MeshManager::getSingleton(), "pkg_").empty());
    EXPECT_TRUE(namesStartingWith(Ogre::MaterialManager::getSingleton(), "pkg_").empty());
    EXPECT_TRUE(namesStartingWith(Ogre::TextureManager::getSingleton(), "pkg_").empty());
    EXPECT_FALSE(Ogre::ResourceGroupManager::getSingleton().resourceGroupExists("pkg"));
    EXPECT_TRUE(sceneManager->hasAnimation("Wave"));
    EXPECT_EQ(sceneManager->getAnimation("Wave")->getNumNodeTracks(), 0u);
    ASSERT_TRUE(other->getSkeleton());
    EXPECT_GT(other->getSkeleton()->getNumBones(), 0u);
    b->getAnimationState("Walk")->setEnabled(true);
    b->getAnimationState("Walk")->addTime(0.3f);
    sceneManager->getAnimationState("Wave")->setEnabled(true);
    sceneManager->getAnimationState("Wave")->addTime(0.3f);
    render();
    sceneManager->destroyEntity(b);
    EXPECT_EQ(manager->getList(), std::set<std::string>{"other"});
}

TEST_F(ResourcePackages, DestroyAndCreateAgainReloads) {
    ASSERT_TRUE(manager->create("pkg", robot));
    manager->destroy("pkg");
    EXPECT_TRUE(manager->getList().empty());
    EXPECT_TRUE(namesStartingWith(Ogre::MaterialManager::getSingleton(), "pkg_").empty());
    EXPECT_TRUE(namesStartingWith(Ogre::MeshManager::getSingleton(), "pkg_").empty());
    EXPECT_TRUE(namesStartingWith(Ogre::SkeletonManager::getSingleton(), "pkg_").empty());
    EXPECT_FALSE(Ogre::ResourceGroupManager::getSingleton().resourceGroupExists("pkg"));
    // The unpacked files go with the resource: a package destroyed and made again a few times
    // does not fill the disk, and a new one finds none of the old one's files.
    EXPECT_FALSE(pathExists(work + "pkg"));

    const size_t again = engine->log.mark();
    ASSERT_TRUE(manager->create("pkg", robot));
    EXPECT_TRUE(Ogre::MeshManager::getSingleton().getByName("pkg_robot.mesh", "pkg"));
    EXPECT_TRUE(Ogre::MaterialManager::getSingleton().getByName("pkg_RobotMetal", "pkg"));
    // The scene-level animations of the first load are still there: the error line, once for
    // the one mesh with a skeleton.
    EXPECT_EQ(engine->log.count(again, AnimationError), 1);
    Ogre::Entity* entity = sceneManager->createEntity("robot", "pkg_robot.mesh");
    sceneManager->getRootSceneNode()->attachObject(entity);
    render();
    sceneManager->destroyEntity(entity);

    // Clear releases everything, like destroy.
    manager->clear();
    EXPECT_TRUE(manager->getList().empty());
    EXPECT_TRUE(namesStartingWith(Ogre::MeshManager::getSingleton(), "pkg_").empty());
}

TEST_F(ResourcePackages, TakenUnknownAndUnusableNames) {
    ASSERT_TRUE(manager->create("pkg", robot));
    // Taken: refused, the first stays as it was.
    EXPECT_FALSE(manager->create("pkg", package("small.zip", {{"x.txt", "x"}})));
    std::string fileName;
    EXPECT_TRUE(manager->getFilename("pkg", fileName));
    EXPECT_EQ(fileName, "robot.zip");
    EXPECT_TRUE(Ogre::MeshManager::getSingleton().getByName("pkg_robot.mesh", "pkg"));

    // Unknown: empty answers, destroy ignores it, and the name can still be created.
    EXPECT_TRUE(manager->getFilesInside("nope").empty());
    EXPECT_FALSE(manager->getFilename("nope", fileName));
    manager->destroy("nope");
    EXPECT_EQ(manager->getList(), std::set<std::string>{"pkg"});
    EXPECT_TRUE(manager->create("nope", package("small.zip", {{"x.txt", "x"}})));
    EXPECT_EQ(manager->getFilesInside("nope"), std::set<std::string>{"nope_x.txt"});

    // A name becomes a directory and an engine group: these are refused and leave nothing.
    for (const std::string name : {"", ".", "..", "a/b", "a\\b", "../up", "tab\there"}) {
        EXPECT_FALSE(manager->create(name, robot)) << name;
    }
    // An engine group the player does not own.
    EXPECT_FALSE(manager->create(Ogre::ResourceGroupManager::DEFAULT_RESOURCE_GROUP_NAME, robot));
    EXPECT_TRUE(Ogre::ResourceGroupManager::getSingleton().resourceGroupExists(
        Ogre::ResourceGroupManager::DEFAULT_RESOURCE_GROUP_NAME));
    EXPECT_EQ(manager->getList(), (std::set<std::string>{"nope", "pkg"}));
    EXPECT_EQ(filesIn(work), (std::set<std::string>{"nope", "pkg", "robot.zip", "small.zip"}));

    // Unbound, a collection does nothing and says yes.
    ResourceManager unbound;
    EXPECT_TRUE(unbound.create("free", robot));
    EXPECT_TRUE(unbound.getList().empty());
    EXPECT_TRUE(unbound.bind(sceneManager, &services));
    EXPECT_TRUE(unbound.bind(nullptr, nullptr)); // the first binding stays
    EXPECT_TRUE(unbound.create("free", robot));
    EXPECT_EQ(unbound.getList(), std::set<std::string>{"free"});
}

TEST_F(ResourcePackages, PackagesThatFailLeaveNothingWithTheEngine) {
    const std::string notZip = scratch.write("notzip.zip", "this is a text file, not an archive\n");
    const std::string whole = readWholeFile(robot);
    const std::string truncated = scratch.write("truncated.zip", whole.substr(0, whole.size() / 2));
    const std::string empty = scratch.write("empty.zip", "");
    ScratchDirectory elsewhere;
    const std::string outside = elsewhere.path() + "robot.zip";
    VelOS::copyFile(robot, outside);

    for (const auto& [name, path] : std::vector<std::pair<std::string, std::string>>{
             {"a", notZip},
             {"b", truncated},
             {"c", empty},
             {"d", work + "missing.zip"},
             {"e", outside},
             {"f", work + "../" + VelOS::fileNameOf(elsewhere.path().substr(0, elsewhere.path().size() - 1)) +
                       "/robot.zip"},
             {"g", work}}) {
        EXPECT_FALSE(manager->create(name, path)) << name;
        EXPECT_FALSE(Ogre::ResourceGroupManager::getSingleton().resourceGroupExists(name)) << name;
        EXPECT_FALSE(archiveIsLoaded(path)) << name;
        EXPECT_TRUE(namesStartingWith(Ogre::MaterialManager::getSingleton(), name + "_").empty()) << name;
        EXPECT_TRUE(namesStartingWith(Ogre::MeshManager::getSingleton(), name + "_").empty()) << name;
    }
    EXPECT_TRUE(manager->getList().empty());
    // A loaded package does not stay open either: a new upload under the same file name is read
    // afresh.
    ASSERT_TRUE(manager->create("pkg", robot));
    EXPECT_FALSE(archiveIsLoaded(robot));
    manager->destroy("pkg");
    package("robot.zip", {{"note.txt", "replaced"}});
    ASSERT_TRUE(manager->create("pkg", robot));
    EXPECT_EQ(manager->getFilesInside("pkg"), std::set<std::string>{"pkg_note.txt"});
    EXPECT_EQ(readWholeFile(work + "pkg/note.txt"), "replaced");
}

TEST_F(ResourcePackages, ScriptsAreFoundCaseSensitivelyMeshesAndScenesNot) {
    const std::string stage = entryOf(robot, "stage.mesh");
    const std::string material = "material Plain\n{\n technique\n {\n  pass\n  {\n  }\n }\n}\n";
    const std::string path = package("case.zip", {{".material", material},
                                                  {"X.MATERIAL", material},
                                                  {"a.material", "material StageTop\n{\n}\n"},
                                                  {"x.Mesh", stage},
                                                  {"X.osm", SceneText}});
    ASSERT_TRUE(manager->create("case", path));
    EXPECT_EQ(manager->getFilesInside("case"),
              (std::set<std::string>{"case_.material", "case_X.MATERIAL", "case_X.osm", "case_a.material",
                                     "case_x.Mesh"}));
    // Neither ".material" nor "X.MATERIAL" was parsed, not even when the directory became a
    // resource location.
    EXPECT_FALSE(Ogre::MaterialManager::getSingleton().getByName("Plain", Ogre::RGN_AUTODETECT));
    EXPECT_FALSE(Ogre::MaterialManager::getSingleton().getByName("case_Plain", Ogre::RGN_AUTODETECT));
    EXPECT_FALSE(Ogre::MaterialManager::getSingleton().getByName("StageTop", Ogre::RGN_AUTODETECT));
    EXPECT_TRUE(Ogre::MaterialManager::getSingleton().getByName("case_StageTop", "case"));
    Ogre::MeshPtr mesh = Ogre::MeshManager::getSingleton().getByName("case_x.Mesh", "case");
    ASSERT_TRUE(mesh);
    EXPECT_EQ(mesh->getSubMesh(0)->getMaterialName(), "case_StageTop");
    // The second sub-mesh's material is no material of the package: it stays without one, as
    // the engine leaves a sub-mesh whose material does not exist.
    EXPECT_EQ(mesh->getSubMesh(1)->getMaterialName(), "");
    EXPECT_EQ(engine->log.count(mark, "Resource::init: material in submesh not declared in zip: StageRim"),
              1);
    const std::string scene = readWholeFile(work + "case/X.osm");
    EXPECT_NE(scene.find("filename=\"case_stage.mesh\""), std::string::npos) << scene;
    EXPECT_EQ(engine->log.count(mark, "Resource::init: loading: X.OSM"), 2);
    EXPECT_EQ(engine->log.count(mark, "Resource::init: loading: X.MESH"), 2);
    EXPECT_EQ(engine->log.count(mark, "Resource::init: loading: .MATERIAL"), 2);
}

TEST_F(ResourcePackages, TwoScriptsSharingATextureGetOneFile) {
    const std::string png = entryOf(robot, "stage_top.png");
    const std::string path = package(
        "wood.zip", {{"a.material", "material A\n{\n technique\n {\n  pass\n  {\n   texture_unit\n   {\n"
                                    "    texture wood.png\n   }\n  }\n }\n}\n"},
                     {"b.material", "material B\n{\n technique\n {\n  pass\n  {\n   texture_unit\n   {\n"
                                    "    texture wood.png 2d\n   }\n  }\n }\n}\n"},
                     {"wood.png", png}});
    ASSERT_TRUE(manager->create("pkg", path));
    EXPECT_EQ(filesIn(work + "pkg"), (std::set<std::string>{"a.material", "b.material", "pkg_wood.png"}));
    EXPECT_EQ(readWholeFile(work + "pkg/pkg_wood.png"), png);
    EXPECT_EQ(manager->getFilesInside("pkg"), (std::set<std::string>{"pkg_a.material", "pkg_b.material"}));
    for (const char* name : {"pkg_A", "pkg_B"}) {
        Ogre::MaterialPtr material = Ogre::MaterialManager::getSingleton().getByName(name, "pkg");
        ASSERT_TRUE(material) << name;
        EXPECT_EQ(material->getTechnique(0)->getPass(0)->getTextureUnitState(0)->getTextureName(),
                  "pkg_wood.png");
    }
}

TEST_F(ResourcePackages, SceneFilesThatDoNotParseStayAsTheyAre) {
    const std::string broken = "<scene><entities><entity filename=\"x.mesh\"></scene>";
    const std::string path = package("scenes.zip", {{"broken.osm", broken},
                                                    {"empty.osm", ""},
                                                    {"bare.osm", "<scene><lights/></scene>"},
                                                    {"good.osm", SceneText}});
    ASSERT_TRUE(manager->create("s", path));
    EXPECT_EQ(engine->log.count(mark, "Resource::init: Cannot parse scene file."), 1);
    EXPECT_EQ(engine->log.count(mark, "Has entities"), 1);
    EXPECT_EQ(readWholeFile(work + "s/broken.osm"), broken);
    EXPECT_EQ(readWholeFile(work + "s/empty.osm"), "");
    // Saved through the XML writer, without entities to rename.
    EXPECT_NE(readWholeFile(work + "s/bare.osm").find("<lights />"), std::string::npos);
    const std::string good = readWholeFile(work + "s/good.osm");
    EXPECT_NE(good.find("filename=\"s_stage.mesh\""), std::string::npos) << good;
    // The renamed attribute moved to the end of its element's attributes.
    EXPECT_NE(good.find("CastShadows=\"no\" filename=\"s_stage.mesh\""), std::string::npos) << good;
}

TEST_F(ResourcePackages, NothingIsWrittenOutsideTheResourceDirectory) {
    ScratchDirectory root;
    const std::string work = root.path() + "deep/work/";
    ASSERT_TRUE(VelOS::createDirectory(root.path() + "deep"));
    ASSERT_TRUE(VelOS::createDirectory(work));
    WorkDirectoryServices deep(work);
    ResourceManager resources;
    resources.bind(sceneManager, &deep);
    const std::string path = work + "escape.zip";
    ASSERT_TRUE(writePackage(
        path, {{"a.material", "material A\n{\n technique\n {\n  pass\n  {\n   texture_unit\n   {\n"
                              "    texture ../../outside.png\n"
                              "    texture /tmp/absolute.png\n   }\n  }\n }\n}\n"},
               {"../../outside.png", "outside"},
               {"../escape.txt", "escape"},
               {"/tmp/absolute.png", "absolute"},
               {"..", "dots"},
               {"inside.txt", "inside"}}));
    const size_t before = engine->log.mark();
    ASSERT_TRUE(resources.create("pkg", path));
    EXPECT_EQ(filesIn(root.path()), std::set<std::string>{"deep"});
    EXPECT_EQ(filesIn(root.path() + "deep"), std::set<std::string>{"work"});
    EXPECT_EQ(filesIn(work), (std::set<std::string>{"escape.zip", "pkg"}));
    EXPECT_EQ(filesIn(work + "pkg"), (std::set<std::string>{"a.material", "inside.txt"}));
    EXPECT_EQ(readWholeFile(work + "pkg/inside.txt"), "inside");
    EXPECT_GE(
        engine->log.count(before, "Resource::init: skipped, the name leads out of the resource directory: "),
        2);
}
