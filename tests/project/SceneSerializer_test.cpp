// The project document against recording fakes of the operations and the inventory.
#include "platform/enginelog.h"
#include "project/SceneSerializer.h"
#include "support/RecordingInventory.h"
#include "support/RecordingOperations.h"
#include "support/ScratchDirectory.h"

#include <gtest/gtest.h>

namespace {

// Builds with a context of its own unless one is given to read the failure from.
bool build(const std::string& text, RecordingOperations& operations, RecordingInventory& inventory,
           VelOS::CommandContext* given = nullptr) {
    VelOS::CommandContext own;
    return SceneSerializer::buildFromText(given != nullptr ? *given : own, text, operations, inventory,
                                          "/work/");
}

// Calls of a build, the inventory's first, then the operations'.
std::vector<std::string> callsOf(RecordingOperations& operations, RecordingInventory& inventory) {
    std::vector<std::string> calls = inventory.calls;
    const std::vector<std::string> more = operations.calls();
    calls.insert(calls.end(), more.begin(), more.end());
    return calls;
}

} // namespace

TEST(SceneSerializer, SavesTheDocumentAsTheXmlLibraryPrintsIt) {
    VelOS::CommandContext context;
    ScratchDirectory scratch;
    scratch.write("robots.zip", "package");
    scratch.write("vee.pat", "pattern");
    RecordingOperations operations;
    operations.numberOut = 1.0 / 3.0;
    operations.integerOut = 80;
    RecordingInventory inventory;
    inventory.resources = {"robots"};
    inventory.trackers = {"vee"};
    inventory.meshes = {"bot"};
    inventory.lights = {"sun"};
    inventory.files = {"talk"};
    ASSERT_TRUE(SceneSerializer::save(context, "show", operations, inventory, scratch.path()));
    const std::string expected =
        "<Velquin>\n"
        "    <Global title=\"out\" />\n"
        "    <ResourceManager>\n"
        "        <Resource name=\"robots\" filename=\"robots.zip\" />\n"
        "    </ResourceManager>\n"
        "    <TrackerManager>\n"
        "        <ARTracker name=\"vee\" patternFilename=\"vee.pat\" width=\"81\" />\n"
        "    </TrackerManager>\n"
        "    <ActorManager>\n"
        "        <MeshActor name=\"bot\" resourceName=\"bot.resource\" meshName=\"bot.mesh\" "
        "trackerName=\"bot.tracker\" tx=\"0.333333\" ty=\"1.333333\" tz=\"2.333333\" rw=\"3.333333\" "
        "rx=\"4.333333\" ry=\"5.333333\" rz=\"6.333333\" sx=\"7.333333\" sy=\"8.333333\" "
        "sz=\"9.333333\" />\n"
        "        <LightActor name=\"sun\" lightName=\"sun.light\" trackerName=\"sun.tracker\" "
        "tx=\"0.333333\" ty=\"1.333333\" tz=\"2.333333\" />\n"
        "        <FileActor name=\"talk\" type=\"talk.type\" resourceName=\"talk.resource\" "
        "fileName=\"talk.file\" trackerName=\"talk.tracker\" tx=\"0.333333\" ty=\"1.333333\" "
        "tz=\"2.333333\" />\n"
        "    </ActorManager>\n"
        "</Velquin>\n";
    EXPECT_EQ(readWholeFile(scratch.path() + "show.xml"), expected);
    EXPECT_TRUE(pathExists(scratch.path() + "show.zip"));
    // The archive carries the document with the package and the pattern it names.
    EXPECT_NE(readWholeFile(scratch.path() + "show.zip").find("robots.zip"), std::string::npos);
    EXPECT_NE(readWholeFile(scratch.path() + "show.zip").find("vee.pat"), std::string::npos);

    // An empty project has empty sections; a failing getter fails the save.
    RecordingInventory empty;
    ASSERT_TRUE(SceneSerializer::save(context, "empty", operations, empty, scratch.path()));
    EXPECT_NE(readWholeFile(scratch.path() + "empty.xml").find("    <TrackerManager />\n"),
              std::string::npos);
    operations.result = false;
    EXPECT_FALSE(SceneSerializer::save(context, "broken", operations, inventory, scratch.path()));
    EXPECT_FALSE(pathExists(scratch.path() + "broken.xml"));
    EXPECT_FALSE(SceneSerializer::save(context, "../outside", operations, inventory, scratch.path()));
}

TEST(SceneSerializer, BuildsSectionsInDocumentOrderThroughTheOperations) {
    RecordingOperations operations;
    RecordingInventory inventory;
    ASSERT_TRUE(
        build("<Velquin>"
              "<ActorManager>"
              "<MeshActor name=\"bot\" resourceName=\"robots\" meshName=\"bot.mesh\" trackerName=\"vee\" "
              "tx=\"1\" ty=\"2.5\" tz=\"x\" rw=\"1\" rx=\"0\" ry=\"0\" rz=\"0\" sx=\"2\" sy=\"2\" sz=\"2\" />"
              "<LightActor name=\"sun\" lightName=\"sun\" trackerName=\"\" tx=\"0\" ty=\"0\" tz=\"0\" />"
              "</ActorManager>"
              "<ResourceManager><Resource name=\"robots\" filename=\"robots.zip\" /></ResourceManager>"
              "<TrackerManager><ARTracker name=\"vee\" patternFilename=\"v.pat\" width=\"eighty\" />"
              "</TrackerManager>"
              "<Global title=\"Show\" />"
              "</Velquin>",
              operations, inventory));
    const std::vector<std::string> expected = {
        "destroyAllActors()", "destroyAllResources()", "destroyAllTrackers()",
        "meshCreate(bot, robots, bot.mesh)", "meshConnect(bot, vee)", "meshTranslate(bot, 1, 2.5, 0)",
        "meshRotate(bot, 1, 0, 0, 0)", "meshScale(bot, 2, 2, 2)",
        // An actor saved unconnected is created and left unconnected.
        "lightCreate(sun)", "lightTranslate(sun, 0, 0, 0)", "resourceCreate(robots, /work/robots.zip)",
        "trackerCreate(vee, v.pat, 0)", "setTitle(Show)"};
    EXPECT_EQ(callsOf(operations, inventory), expected);
}

TEST(SceneSerializer, ASavedProjectLoadsBackFieldForField) {
    VelOS::CommandContext context;
    // Every field the fake reports is different, so a save or a load that puts one value in
    // another's place (x for y, the resource for the mesh, a translation for a scale) builds
    // another project than the one saved.
    ScratchDirectory scratch;
    RecordingOperations saved;
    saved.numberOut = 0.25;
    saved.integerOut = 60;
    RecordingInventory inventory;
    inventory.resources = {"robots"};
    inventory.trackers = {"vee"};
    inventory.meshes = {"bot"};
    inventory.scenes = {"hall"};
    inventory.lights = {"sun"};
    inventory.files = {"talk"};
    ASSERT_TRUE(SceneSerializer::save(context, "trip", saved, inventory, scratch.path()));

    RecordingOperations loaded;
    RecordingInventory replaced;
    ASSERT_TRUE(build(readWholeFile(scratch.path() + "trip.xml"), loaded, replaced));
    const std::vector<std::string> expected = {"destroyAllResources()",
                                               "destroyAllTrackers()",
                                               "destroyAllActors()",
                                               "setTitle(out)",
                                               "resourceCreate(robots, /work/robots.zip)",
                                               "trackerCreate(vee, vee.pat, 61)",
                                               "meshCreate(bot, bot.resource, bot.mesh)",
                                               "meshConnect(bot, bot.tracker)",
                                               "meshTranslate(bot, 0.25, 1.25, 2.25)",
                                               "meshRotate(bot, 3.25, 4.25, 5.25, 6.25)",
                                               "meshScale(bot, 7.25, 8.25, 9.25)",
                                               "sceneCreate(hall, hall.resource, hall.scene)",
                                               "sceneConnect(hall, hall.tracker)",
                                               "sceneTranslate(hall, 0.25, 1.25, 2.25)",
                                               "sceneRotate(hall, 3.25, 4.25, 5.25, 6.25)",
                                               "sceneScale(hall, 7.25, 8.25, 9.25)",
                                               "lightCreate(sun)",
                                               "lightConnect(sun, sun.tracker)",
                                               "lightTranslate(sun, 0.25, 1.25, 2.25)",
                                               "fileCreate(talk, talk.resource, talk.file, talk.type)",
                                               "fileConnect(talk, talk.tracker)",
                                               "fileTranslate(talk, 0.25, 1.25, 2.25)"};
    EXPECT_EQ(callsOf(loaded, replaced), expected);
}

TEST(SceneSerializer, LoadsEveryAttributeIntoItsOwnArgument) {
    // Written by hand, in another attribute order than a save's, with every value different.
    RecordingOperations operations;
    RecordingInventory inventory;
    ASSERT_TRUE(build(
        "<Velquin><ActorManager>"
        "<SceneActor sz=\"13\" sy=\"12\" sx=\"11\" rz=\"10\" ry=\"9\" rx=\"8\" rw=\"7\" tz=\"6\" ty=\"5\" "
        "tx=\"4\" trackerName=\"t\" sceneName=\"s.scene\" resourceName=\"r\" name=\"n\" />"
        "<FileActor tz=\"3\" ty=\"2\" tx=\"1\" trackerName=\"t\" fileName=\"f.pdf\" resourceName=\"r\" "
        "type=\"document\" name=\"d\" />"
        "</ActorManager></Velquin>",
        operations, inventory));
    const std::vector<std::string> expected = {"destroyAllActors()",
                                               "sceneCreate(n, r, s.scene)",
                                               "sceneConnect(n, t)",
                                               "sceneTranslate(n, 4, 5, 6)",
                                               "sceneRotate(n, 7, 8, 9, 10)",
                                               "sceneScale(n, 11, 12, 13)",
                                               "fileCreate(d, r, f.pdf, document)",
                                               "fileConnect(d, t)",
                                               "fileTranslate(d, 1, 2, 3)"};
    EXPECT_EQ(callsOf(operations, inventory), expected);
}

TEST(SceneSerializer, FailsOnTheFirstFault) {
    VelOS::CommandContext context;
    std::vector<std::string> log;
    VelOS::setEngineLogSink([&log](const std::string& line) { log.push_back(line); });
    const std::vector<std::string> failing = {
        "",
        "not xml at all",
        "<Project />",
        "<Velquin><Global title=\"a\" /><Global title=\"b\" /></Velquin>",
        "<Velquin><Globals /></Velquin>",
        "<Velquin><Global /></Velquin>",
        "<Velquin><TrackerManager><ARTracker name=\"v\" patternFilename=\"v.pat\" "
        "/></TrackerManager></Velquin>",
        "<Velquin><ResourceManager><Package name=\"a\" filename=\"a.zip\" /></ResourceManager></Velquin>",
        "<Velquin><ResourceManager><Resource name=\"a\" filename=\"../a.zip\" /></ResourceManager></Velquin>",
        "<Velquin><ActorManager><LightActor name=\"s\" trackerName=\"\" tx=\"0\" ty=\"0\" tz=\"0\" />"
        "</ActorManager></Velquin>",
        "<Velquin><ActorManager><Camera name=\"c\" /></ActorManager></Velquin>",
        "<Velquin>" + std::string(100, '<') + "</Velquin>",
        std::string(10000, '<') + "a" + std::string(10000, '>'),
    };
    for (const std::string& text : failing) {
        RecordingOperations operations;
        RecordingInventory inventory;
        context.takeFailure();
        EXPECT_FALSE(build(text, operations, inventory, &context)) << text.substr(0, 80);
        // The load's failure line names what is wrong with the document.
        EXPECT_NE(context.takeFailure(), "") << text.substr(0, 80);
    }
    EXPECT_NE(
        std::find(log.begin(), log.end(), "SceneSerializer::load: first child named Global is incorrect"),
        log.end());
    EXPECT_NE(
        std::find(log.begin(), log.end(), "SceneSerializer::load: first child named Globals is incorrect"),
        log.end());

    // A refused operation ends the load; a tracker that does not exist refuses the connect.
    RecordingOperations operations;
    RecordingInventory inventory;
    operations.result = false;
    EXPECT_FALSE(
        build("<Velquin><Global title=\"t\" /><ResourceManager /></Velquin>", operations, inventory));
    EXPECT_EQ(operations.calls(), std::vector<std::string>{"setTitle(t)"});
    VelOS::setEngineLogSink(nullptr);
}

TEST(SceneSerializer, LoadUnpacksDeletesTheArchiveAndReadsItsDocument) {
    VelOS::CommandContext context;
    ScratchDirectory scratch;
    scratch.write("show.zip", "archive");
    RecordingOperations operations;
    RecordingInventory inventory;
    const auto extract = [&scratch](const std::string& archive, const std::string& directory, std::string&) {
        EXPECT_EQ(archive, scratch.path() + "show.zip");
        EXPECT_EQ(directory, scratch.path());
        scratch.write("show.xml", "<Velquin><Global title=\"Loaded\" /></Velquin>");
        return true;
    };
    ASSERT_TRUE(SceneSerializer::load(context, "show.zip", operations, inventory, scratch.path(), extract));
    EXPECT_FALSE(pathExists(scratch.path() + "show.zip"));
    EXPECT_EQ(operations.calls(), std::vector<std::string>{"setTitle(Loaded)"});

    const auto refuse = [](const std::string&, const std::string&, std::string&) { return false; };
    EXPECT_FALSE(
        SceneSerializer::load(context, "missing.zip", operations, inventory, scratch.path(), refuse));
    EXPECT_FALSE(SceneSerializer::load(context, ".zi", operations, inventory, scratch.path(), extract));
    EXPECT_FALSE(
        SceneSerializer::load(context, "../show.zip", operations, inventory, scratch.path(), extract));
}

TEST(SceneSerializer, EveryFailedLoadSaysWhy) {
    VelOS::CommandContext context;
    ScratchDirectory scratch;
    RecordingOperations operations;
    RecordingInventory inventory;
    const auto unpack = [&scratch](const std::string&, const std::string&, std::string&) {
        scratch.write("show.xml", "<Velquin><Global title=\"Saved as show\" /></Velquin>");
        return true;
    };
    const auto refuse = [](const std::string&, const std::string&, std::string&) { return false; };
    context.takeFailure();
    // An archive saved as show.zip and uploaded as copy.zip holds show.xml, not copy.xml.
    scratch.write("copy.zip", "archive");
    EXPECT_FALSE(SceneSerializer::load(context, "copy.zip", operations, inventory, scratch.path(), unpack));
    EXPECT_EQ(context.takeFailure(),
              "the archive holds no copy.xml: a project archive loads under the name it was saved with");
    EXPECT_FALSE(
        SceneSerializer::load(context, "missing.zip", operations, inventory, scratch.path(), unpack));
    EXPECT_EQ(context.takeFailure(), "no file missing.zip in the work directory (upload it first)");
    scratch.write("notes.zip", "not an archive");
    EXPECT_FALSE(SceneSerializer::load(context, "notes.zip", operations, inventory, scratch.path(), refuse));
    EXPECT_EQ(context.takeFailure(), "not a ZIP archive: " + scratch.path() + "notes.zip");
    EXPECT_FALSE(
        SceneSerializer::load(context, "../show.zip", operations, inventory, scratch.path(), unpack));
    EXPECT_EQ(context.takeFailure(), "the archive name leads out of the work directory");
    EXPECT_FALSE(SceneSerializer::save(context, "../show", operations, inventory, scratch.path()));
    EXPECT_EQ(context.takeFailure(), "the project name leads out of the work directory");
    // An operation that refuses notes its own reason; the load adds its own only when none was.
    operations.result = false;
    EXPECT_FALSE(
        build("<Velquin><TrackerManager><ARTracker name=\"v\" patternFilename=\"v.pat\" width=\"80\" />"
              "</TrackerManager></Velquin>",
              operations, inventory, &context));
    EXPECT_EQ(context.takeFailure(), "the document's ARTracker \"v\" could not be made");
    context.fail("a tracker named \"v\" exists");
    EXPECT_FALSE(
        build("<Velquin><TrackerManager><ARTracker name=\"v\" patternFilename=\"v.pat\" width=\"80\" />"
              "</TrackerManager></Velquin>",
              operations, inventory, &context));
    EXPECT_EQ(context.takeFailure(), "a tracker named \"v\" exists");
}
