// Scene actors: the sample scene of the robot package, the scene-file cases one by one, shared
// animations that outlive the actors that made their tracks, and files that are not what they
// should be.
#include "actors/ActorTestSupport.h"

#include "actors/SceneActor.h"

using actortest::LogWatch;
using actortest::TestServices;
using actortest::World;

namespace {

struct Loaded {
    TestServices services = World::get().services();
    std::unique_ptr<SceneActor> actor;
    bool ok = false;
    Loaded(const Loaded&) = delete;
    Loaded& operator=(const Loaded&) = delete;
    Loaded(const std::string& resource, const std::string& file) {
        actor = std::make_unique<SceneActor>(World::get().views(), &services, resource, file);
        ok = actor->init();
    }
    Ogre::SceneManager* views() const { return World::get().views(); }
    Ogre::Entity* entity(const std::string& name) const {
        return views()->getEntity(actor->getPrefix() + "::" + name + "::Entity");
    }
    Ogre::SceneNode* node(const std::string& name) const {
        return views()->getSceneNode(actor->getPrefix() + "::" + name + "::Node");
    }
    Ogre::Light* light(const std::string& name) const {
        return views()->getLight(actor->getPrefix() + "::" + name + "::Light");
    }
};

std::string sceneFile(const std::string& entities, const std::string& lights) {
    return "<?xml version=\"1.0\" ?>\n<scene>\n" + entities + lights + "</scene>\n";
}

std::string entity(const std::string& name, const std::string& attributes, const std::string& children = "") {
    return "<entity name=\"" + name + "\" " + attributes + ">" + children + "</entity>\n";
}

std::string animation(const std::string& name, const std::string& length, const std::string& keys) {
    return "<animations><animation name=\"" + name + "\" length=\"" + length + "\">" + keys +
           "</animation></animations>";
}

// A scene file of its own, loaded as a scene actor of its resource group.
Loaded load(const std::string& content, const std::string& file = "test.osm") {
    return Loaded(World::get().addSceneFile(file, content), file);
}

} // namespace

TEST(SceneActor, TheSampleSceneWithEntitiesLightsAndAnimations) {
    Loaded scene("robot", "robot_stage.osm");
    ASSERT_TRUE(scene.ok);
    EXPECT_EQ(scene.actor->getSourceName(), "robot_stage.osm");
    EXPECT_EQ(scene.actor->getEntities().size(), 2u);
    EXPECT_EQ(scene.actor->getLights().size(), 3u);
    std::set<std::string> names;
    EXPECT_EQ(scene.actor->getAnimationNames(names), (std::set<std::string>{"Hop", "Spin"}));

    // The package renamed the meshes in its copy of the file.
    EXPECT_EQ(scene.entity("Robot")->getMesh()->getName(), "robot_robot.mesh");
    EXPECT_EQ(scene.entity("Stage")->getParentSceneNode(), scene.node("Stage"));
    EXPECT_EQ(scene.node("Stage")->getParent(), scene.actor->getActorNode());
    EXPECT_FALSE(scene.entity("Stage")->getCastShadows()); // "no"
    EXPECT_TRUE(scene.entity("Robot")->getCastShadows());  // none

    Ogre::Light* key = scene.light("KeyLight");
    EXPECT_EQ(key->getType(), Ogre::Light::LT_SPOTLIGHT);
    EXPECT_NEAR(key->getSpotlightInnerAngle().valueDegrees(), 30.0f, 1e-3);
    EXPECT_NEAR(key->getSpotlightOuterAngle().valueDegrees(), 45.0f, 1e-3);
    EXPECT_TRUE(key->getCastShadows()); // "yes"
    EXPECT_EQ(scene.light("FillLight")->getType(), Ogre::Light::LT_POINT);
    EXPECT_EQ(scene.light("RimLight")->getType(), Ogre::Light::LT_DIRECTIONAL);
    Ogre::SceneNode* target =
        scene.views()->getSceneNode(scene.actor->getPrefix() + "::KeyLight::LightTarget");
    EXPECT_EQ(target->getParent(), scene.actor->getNode());
    EXPECT_EQ(scene.node("KeyLight")->getAutoTrackTarget(), target);

    // Hidden until the marker is seen; then the entities show and only the lights that are on.
    EXPECT_FALSE(scene.entity("Robot")->getVisible());
    EXPECT_FALSE(key->getVisible());
    scene.actor->activated();
    EXPECT_TRUE(scene.entity("Robot")->getVisible());
    EXPECT_TRUE(scene.entity("Stage")->getVisible());
    EXPECT_TRUE(key->getVisible());
    EXPECT_TRUE(scene.light("FillLight")->getVisible());
    EXPECT_FALSE(scene.light("RimLight")->getVisible()); // no "on"
    actortest::renderFrames();
    scene.actor->deactivated();
    EXPECT_FALSE(scene.entity("Robot")->getVisible());
    EXPECT_FALSE(key->getVisible());
}

TEST(SceneActor, NoEntitiesAndNoLightsLeavesTheSelectionMarkOnly) {
    Loaded empty = load("<anything><other/></anything>");
    ASSERT_TRUE(empty.ok);
    EXPECT_TRUE(empty.actor->getEntities().empty());
    EXPECT_TRUE(empty.actor->getLights().empty());
    Ogre::SceneNode* actorNode = empty.actor->getActorNode();
    EXPECT_EQ(actorNode->numChildren(), 0u);
    ASSERT_EQ(actorNode->numAttachedObjects(), 1u);
    EXPECT_EQ(actorNode->getAttachedObject(0)->getName(), empty.actor->getPrefix() + "::SelectedEntity");
    std::set<std::string> names{"stale"};
    EXPECT_TRUE(empty.actor->getAnimationNames(names).empty());
}

TEST(SceneActor, EntitiesSharingAnAnimationShareOneAnimationWithATrackEach) {
    const std::string keys = "<keyframe time=\"0\"><position x=\"0\" y=\"0\" z=\"0\"/></keyframe>"
                             "<keyframe time=\"2\"><position x=\"10\" y=\"0\" z=\"0\"/></keyframe>";
    Loaded scene = load(sceneFile(
        "<entities>" +
            entity("A", "filename=\"platform.mesh\"",
                   "<position x=\"1\" y=\"2\" z=\"3\"/>" + animation("SharedSlide", "2", keys)) +
            entity("B", "filename=\"audio.mesh\"", animation("SharedSlide", "2", keys)) + "</entities>",
        ""));
    ASSERT_TRUE(scene.ok);
    Ogre::SceneManager* views = scene.views();
    ASSERT_TRUE(views->hasAnimation("SharedSlide"));
    Ogre::Animation* shared = views->getAnimation("SharedSlide");
    EXPECT_EQ(shared->getNumNodeTracks(), 2u);
    ASSERT_TRUE(shared->hasNodeTrack(1));
    ASSERT_TRUE(shared->hasNodeTrack(2));
    EXPECT_EQ(shared->getNodeTrack(1)->getAssociatedNode(), scene.node("A"));
    EXPECT_EQ(shared->getNodeTrack(2)->getAssociatedNode(), scene.node("B"));
    EXPECT_EQ(shared->getInterpolationMode(), Ogre::Animation::IM_LINEAR);
    EXPECT_FLOAT_EQ(shared->getLength(), 2.0f);
    std::set<std::string> names;
    EXPECT_EQ(scene.actor->getAnimationNames(names), (std::set<std::string>{"SharedSlide"}));
    EXPECT_TRUE(views->hasAnimationState("SharedSlide"));

    // Playing moves both nodes from where the file put them.
    scene.actor->action("animation_loop", "SharedSlide");
    scene.actor->action("play", "");
    scene.actor->addTime(1.0f);
    EXPECT_FLOAT_EQ(views->getAnimationState("SharedSlide")->getTimePosition(), 1.0f);
    actortest::renderFrames(1);
    EXPECT_TRUE(scene.node("A")->getPosition().positionEquals(Ogre::Vector3(6, 2, 3), 1e-3f));
    EXPECT_TRUE(scene.node("B")->getPosition().positionEquals(Ogre::Vector3(5, 0, 0), 1e-3f));
    scene.actor->addTime(2.5f); // loops
    EXPECT_NEAR(views->getAnimationState("SharedSlide")->getTimePosition(), 1.5f, 1e-4);
}

TEST(SceneActor, ShadowsTypesAndSwitchesOfEntitiesAndLights) {
    Loaded scene =
        load(sceneFile("<entities>" + entity("False", "filename=\"platform.mesh\" CastShadows=\"false\"") +
                           entity("No", "filename=\"platform.mesh\" CastShadows=\"no\"") +
                           entity("N", "filename=\"platform.mesh\" CastShadows=\"n\"") +
                           entity("Empty", "filename=\"platform.mesh\" CastShadows=\"\"") + "</entities>",
                       "<lights>"
                       "<l name=\"Spot\" type=\"spot\" hotspot=\"30\" falloff=\"45\" on=\"true\"/>"
                       "<l name=\"Sp\" type=\"sp\" on=\"t\" CastShadows=\"no\"/>"
                       "<l name=\"Dir\" type=\"dir\" on=\"\"/>"
                       "<l name=\"Plain\" type=\"\" on=\"yes\"/>"
                       "<l name=\"Lamp\" type=\"lamp\"/>"
                       "<l name=\"Untyped\">"
                       "<color r=\"0.5\" g=\"0.25\" b=\"1\"/><specular r=\"1\" g=\"0\" b=\"0\"/>"
                       "<attenuation range=\"7\" constant=\"1\" linear=\"0.5\" quadratic=\"0.25\"/></l>"
                       "</lights>"));
    ASSERT_TRUE(scene.ok);
    EXPECT_TRUE(scene.entity("False")->getCastShadows());
    EXPECT_FALSE(scene.entity("No")->getCastShadows());
    EXPECT_FALSE(scene.entity("N")->getCastShadows());
    EXPECT_FALSE(scene.entity("Empty")->getCastShadows());

    Ogre::Light* spot = scene.light("Spot");
    EXPECT_EQ(spot->getType(), Ogre::Light::LT_SPOTLIGHT);
    EXPECT_NEAR(spot->getSpotlightInnerAngle().valueDegrees(), 30.0f, 1e-3);
    EXPECT_NEAR(spot->getSpotlightOuterAngle().valueDegrees(), 45.0f, 1e-3);
    EXPECT_FLOAT_EQ(spot->getSpotlightFalloff(), 1.0f);
    EXPECT_EQ(scene.light("Sp")->getType(), Ogre::Light::LT_SPOTLIGHT);
    EXPECT_FALSE(scene.light("Sp")->getCastShadows());
    EXPECT_EQ(scene.light("Dir")->getType(), Ogre::Light::LT_DIRECTIONAL);
    EXPECT_EQ(scene.light("Plain")->getType(), Ogre::Light::LT_POINT); // "" is a prefix of "omni"
    EXPECT_EQ(scene.light("Lamp")->getType(), Ogre::Light::LT_POINT);
    Ogre::Light* untyped = scene.light("Untyped");
    EXPECT_EQ(untyped->getDiffuseColour(), Ogre::ColourValue(0.5f, 0.25f, 1.0f));
    EXPECT_EQ(untyped->getSpecularColour(), Ogre::ColourValue(1, 0, 0));
    EXPECT_FLOAT_EQ(untyped->getAttenuationRange(), 7.0f);
    EXPECT_FLOAT_EQ(untyped->getAttenuationConstant(), 1.0f);
    EXPECT_FLOAT_EQ(untyped->getAttenuationLinear(), 0.5f);
    EXPECT_FLOAT_EQ(untyped->getAttenuationQuadric(), 0.25f);

    scene.actor->activated();
    EXPECT_TRUE(spot->getVisible());
    EXPECT_TRUE(scene.light("Sp")->getVisible());
    EXPECT_TRUE(scene.light("Dir")->getVisible()); // "" is a prefix of "true"
    EXPECT_FALSE(scene.light("Plain")->getVisible());
    EXPECT_FALSE(scene.light("Lamp")->getVisible());
    EXPECT_FALSE(untyped->getVisible());
}

TEST(SceneActor, LoadingTwiceSharesAnimationsAndRemovalTakesOnlyItsOwnTracks) {
    const std::string content =
        sceneFile("<entities>" +
                      entity("E", "filename=\"platform.mesh\"",
                             animation("TwiceSpin", "4",
                                       "<k time=\"0\"><rotation x=\"0\" y=\"0\" z=\"0\" w=\"1\"/></k>"
                                       "<k time=\"4\"><rotation x=\"0\" y=\"0\" z=\"1\" w=\"0\"/><scale "
                                       "x=\"2\" y=\"2\" z=\"2\"/></k>")) +
                      "</entities>",
                  "<lights><light name=\"L\" type=\"omni\" on=\"true\"/></lights>");
    const std::string group = World::get().addSceneFile("twice.osm", content);
    Ogre::SceneManager* views = World::get().views();
    auto first = std::make_unique<Loaded>(group, "twice.osm");
    Loaded second(group, "twice.osm");
    ASSERT_TRUE(first->ok);
    ASSERT_TRUE(second.ok);
    EXPECT_NE(first->actor->getPrefix(), second.actor->getPrefix());
    EXPECT_NE(first->entity("E"), second.entity("E"));
    EXPECT_NE(first->light("L"), second.light("L"));
    Ogre::Animation* spin = views->getAnimation("TwiceSpin");
    EXPECT_EQ(spin->getNumNodeTracks(), 2u);

    // One state for the name, driven by either actor.
    first->actor->action("animation_loop", "TwiceSpin");
    first->actor->action("play", "");
    first->actor->addTime(1.0f);
    actortest::renderFrames(1);

    const std::string firstPrefix = first->actor->getPrefix();
    first.reset();
    EXPECT_FALSE(views->hasSceneNode(firstPrefix + "::E::Node"));
    EXPECT_FALSE(views->hasEntity(firstPrefix + "::E::Entity"));
    EXPECT_FALSE(views->hasLight(firstPrefix + "::L::Light"));
    ASSERT_EQ(spin->getNumNodeTracks(), 1u);
    EXPECT_EQ(spin->getNodeTrack(2)->getAssociatedNode(), second.node("E"));
    // The enabled state goes on being applied by the engine: only to nodes that still exist.
    actortest::renderFrames(2);

    // A later load adds a track under a handle that is free.
    Loaded third(group, "twice.osm");
    ASSERT_TRUE(third.ok);
    EXPECT_EQ(spin->getNumNodeTracks(), 2u);
    second.actor->removeFromScene();
    third.actor->removeFromScene();
    EXPECT_EQ(spin->getNumNodeTracks(), 0u);
    EXPECT_TRUE(views->hasAnimationState("TwiceSpin"));
    actortest::renderFrames(1);
}

TEST(SceneActor, DamagedFilesLoadWhatTheyCanOrNothing) {
    LogWatch log;
    // Missing numbers read as 0, words as 0; an entity without a mesh is skipped.
    Loaded sloppy =
        load(sceneFile("<entities>" + entity("NoMesh", "") +
                           entity("Words", "filename=\"platform.mesh\"",
                                  "<position x=\"abc\" y=\"2\"/><scale x=\"1\" y=\"1\" z=\"1e999\"/>" +
                                      animation("DamagedAnim", "soon", "<k><position/></k><k time=\"x\"/>")) +
                           "<entity filename=\"audio.mesh\"/></entities>",
                       "<lights><light/><light name=\"T\" on=\"true\"><target/></light></lights>"));
    ASSERT_TRUE(sloppy.ok);
    EXPECT_TRUE(log.saw("SceneActor::init: entity without a mesh skipped: NoMesh"));
    EXPECT_EQ(sloppy.actor->getEntities().size(), 2u);
    EXPECT_TRUE(sloppy.node("Words")->getPosition().positionEquals(Ogre::Vector3(0, 2, 0)));
    EXPECT_TRUE(sloppy.node("Words")->getScale().positionEquals(Ogre::Vector3(1, 1, 0)));
    EXPECT_NE(sloppy.entity(""), nullptr); // no name: the name is empty
    // The unnamed light would take the unnamed entity's node name: the engine refuses it, and
    // only that light is left out.
    EXPECT_EQ(sloppy.actor->getLights().size(), 1u);
    EXPECT_NE(sloppy.light("T"), nullptr);
    EXPECT_FLOAT_EQ(World::get().views()->getAnimation("DamagedAnim")->getLength(), 0.0f);
    // A looping animation of length 0 must not drive the engine into NaN times.
    sloppy.actor->action("animation_loop", "DamagedAnim");
    sloppy.actor->action("play", "");
    sloppy.actor->addTime(0.5f);
    sloppy.actor->activated();
    actortest::renderFrames(1);
    EXPECT_FLOAT_EQ(World::get().views()->getAnimationState("DamagedAnim")->getTimePosition(), 0.0f);

    // Files that give nothing to build: false, and no engine object made.
    for (const std::string& content :
         {std::string(), std::string("<scene><entities>"), std::string("not xml at all"),
          std::string(3000, '<') + "a>", std::string("<a>") + std::string(2000, ' ')}) {
        Loaded broken = load(content);
        EXPECT_FALSE(broken.ok) << content.substr(0, 40);
        EXPECT_EQ(broken.actor->getNode(), nullptr);
    }
    std::string deep;
    for (int i = 0; i < 5000; ++i) {
        deep += "<a>";
    }
    Loaded tooDeep = load(deep + "</a>");
    EXPECT_FALSE(tooDeep.ok);

    // Not in any group, or named with a path: false, the first with the engine's description.
    Loaded absent("robot", "absent.osm");
    EXPECT_FALSE(absent.ok);
    EXPECT_TRUE(log.saw("absent.osm"));
    Loaded outside("robot", "../robot/robot_stage.osm");
    EXPECT_FALSE(outside.ok);
    // A mesh that no group has fails the whole scene, and what was made goes with the actor.
    Loaded missingMesh =
        load(sceneFile("<entities>" + entity("Ghost", "filename=\"ghost.mesh\"") + "</entities>", ""));
    EXPECT_FALSE(missingMesh.ok);
    const std::string prefix = missingMesh.actor->getPrefix();
    missingMesh.actor.reset();
    EXPECT_FALSE(World::get().views()->hasSceneNode(prefix + "::Ghost::Node"));
    EXPECT_FALSE(World::get().views()->hasSceneNode(prefix + "::Node"));
}

TEST(SceneActor, FileOfAnotherGroupIsFoundAcrossGroups) {
    const std::string group = World::get().addSceneFile("elsewhere.osm", sceneFile("", ""));
    Loaded found("no such resource", "elsewhere.osm");
    EXPECT_TRUE(found.ok);
    (void)group;
}
