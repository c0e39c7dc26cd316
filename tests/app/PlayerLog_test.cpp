// Every failure leaves a line with the operation, its arguments and the reason in log.txt; the
// replies stay what clients expect.
#include "support/PlayerFolder.h"
#include "support/PlayerSession.h"
#include "support/Wait.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sys/stat.h>
#include <thread>

namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// log.txt once it holds the part (lines are written as they happen, but may be buffered).
std::string waitForLog(const std::string& folder, const std::string& part) {
    std::string log;
    testwait::waitUntil(
        [&] {
            log = readWholeFile(folder + "/log.txt");
            return contains(log, part);
        },
        std::chrono::seconds(5));
    return log;
}

} // namespace

TEST(PlayerLog, FailuresAreLoggedWithTheirReasonAndRepliesStayAsTheyWere) {
    ScratchDirectory scratch;
    const std::string folder = makePlayerFolder(scratch);
    ASSERT_FALSE(folder.empty());
    // The recording lies in the built player folder, which the operator allows.
    PlayerSession session(scratch, "", folder,
                          {"VELQUIN_RECORDINGS=" + PlayerProcess::builtPlayerDirectory()});
    ASSERT_TRUE(session.ready());
    auto command = session.open("command");
    ASSERT_TRUE(command);

    // A refused upload: the stored name would be the parent folder.
    session.upload("..", "12345");
    EXPECT_TRUE(session.upload("notes.zip", "not a zip archive"));
    // A package made by zipping its folder: every file one level down.
    ASSERT_EQ(mkdir((scratch.path() + "robot").c_str(), 0700), 0);
    scratch.write("robot/robot.material", "material robot/Body\n{\n}\n");
    ASSERT_EQ(std::system(("cd '" + scratch.path() + "' && zip -qr folder.zip robot").c_str()), 0);
    EXPECT_TRUE(session.upload("folder.zip", readWholeFile(scratch.path() + "folder.zip")));

    command->send("project.videocapture.init(\"V4L2\", \"/dev/video97 640x480\");\r\n"
                  "project.videocapture.init(\"File\", \"/etc/hostname\");\r\n"
                  "project.videocapture.init(\"Files\", \"frames\");\r\n"
                  "project.trackers.AR.create(\"t\", \"missing.pat\", 80);\r\n"
                  "project.resources.create(\"notes\", \"notes.zip\");\r\n"
                  "project.resources.create(\"folder\", \"folder.zip\");\r\n"
                  "project.actors.mesh.create(\"robot\", \"Nothing\", \"robot.mesh\");\r\n"
                  "project.actors.mesh.connect(\"nobody\", \"t\");\r\n"
                  "project.videocapture.init(\"File\", \"frames@30\");\r\n");
    EXPECT_EQ(command->line(), "ok\r"); // camera set-up always answers "ok"
    EXPECT_EQ(command->line(), "ok\r");
    EXPECT_EQ(command->line(), "ok\r");
    EXPECT_EQ(command->line(), "ok\r"); // the tracker is made all the same
    EXPECT_EQ(command->line(), "fail\r");
    EXPECT_EQ(command->line(), "ok\r"); // loads, empty
    EXPECT_EQ(command->line(), "fail\r");
    EXPECT_EQ(command->line(), "fail\r");
    std::string opened = command->line();
    for (int attempt = 0; attempt < 6 && opened == "<none>"; ++attempt) {
        opened = command->line(); // opening the recording is slow under the sanitizers
    }
    EXPECT_EQ(opened, "ok\r");

    // The last failure sent; trackers live on through the camera set-up after it.
    const std::string log = waitForLog(folder, "project.actors.mesh.connect(\"nobody\", \"t\")");
    EXPECT_TRUE(contains(log, "uploadFile(\"..\", 5): refused: the name leads out of the work directory"))
        << log;
    EXPECT_TRUE(contains(log, "project.videocapture.init(\"V4L2\", \"/dev/video97 640x480\"): cannot open "
                              "/dev/video97: No such file or directory"))
        << log;
    EXPECT_TRUE(contains(log, "VelVideoCapture::initialise: cannot create device")) << log;
    EXPECT_TRUE(contains(log,
                         "project.videocapture.init(\"File\", \"/etc/hostname\"): path '/etc/hostname' is "
                         "outside the player's folder and work directory"))
        << log;
    EXPECT_TRUE(
        contains(log, "project.videocapture.init(\"Files\", \"frames\"): unknown device type \"Files\""))
        << log;
    EXPECT_TRUE(
        contains(log, "project.trackers.AR.create(\"t\", \"missing.pat\", 80): pattern file not found"))
        << log;
    EXPECT_TRUE(contains(log, "project.resources.create(\"notes\", \"notes.zip\"): not a ZIP archive"))
        << log;
    EXPECT_TRUE(contains(log,
                         "project.actors.mesh.create(\"robot\", \"Nothing\", \"robot.mesh\"): \"robot.mesh\" "
                         "is not in the package of \"Nothing\""))
        << log;
    EXPECT_TRUE(
        contains(log, "project.actors.mesh.connect(\"nobody\", \"t\"): no mesh actor named \"nobody\""))
        << log;
    // The player's own lines reach the log too.
    EXPECT_TRUE(contains(log, "project.net.init(" + std::to_string(session.port()) + ")")) << log;
    EXPECT_TRUE(contains(log, "SceneParser::uploadFile: notes.zip size: 17")) << log;

    EXPECT_EQ(session.close(), 0) << session.process().output();
}

TEST(PlayerLog, FailedLoadsAndActionsNameTheirReason) {
    ScratchDirectory scratch;
    const std::string folder = makePlayerFolder(scratch);
    ASSERT_FALSE(folder.empty());
    PlayerSession session(scratch, "", folder);
    ASSERT_TRUE(session.ready());
    auto command = session.open("command");
    ASSERT_TRUE(command);

    command->send("project.title.set(\"saved\");\r\nproject.save(\"show\");\r\n");
    EXPECT_EQ(command->line(), "ok\r");
    EXPECT_EQ(command->line(), "ok\r");
    const std::string archive = session.download("show.zip");
    ASSERT_GT(archive.size(), 22u);
    // Uploaded under another name: the archive holds show.xml, not copy.xml.
    ASSERT_TRUE(session.upload("copy.zip", archive));
    ASSERT_TRUE(session.upload("notes.zip", "no archive"));
    command->send("project.load(\"copy.zip\");\r\n"
                  "project.load(\"missing.zip\");\r\n"
                  "project.load(\"notes.zip\");\r\n"
                  "project.actors.action(\"nobody\", \"play\", \"\");\r\n"
                  "project.actors.select(\"nobody\");\r\n"
                  "project.resources.create(\"r\", \"../x.zip\");\r\n"
                  "project.net.init(70000);\r\n"
                  "project.title.get();\r\n");
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(command->line(), "fail\r") << i;
    }
    EXPECT_EQ(command->line(), "\"saved\"\r");

    const std::string log = waitForLog(folder, "project.net.init(70000): ");
    EXPECT_TRUE(contains(log, "project.load(\"copy.zip\"): the archive holds no copy.xml: a project archive "
                              "loads under the name it was saved with"))
        << log;
    EXPECT_TRUE(contains(log, "project.load(\"missing.zip\"): no file missing.zip in the work directory"))
        << log;
    EXPECT_TRUE(contains(log, "project.load(\"notes.zip\"): not a ZIP archive: ")) << log;
    EXPECT_TRUE(contains(log, "project.actors.action(\"nobody\", \"play\", \"\"): no actor named \"nobody\""))
        << log;
    EXPECT_TRUE(contains(log, "project.actors.select(\"nobody\"): no actor named \"nobody\"")) << log;
    EXPECT_TRUE(contains(log,
                         "project.resources.create(\"r\", \"../x.zip\"): the package file name leads out "
                         "of the work directory"))
        << log;
    EXPECT_TRUE(contains(log, "project.net.init(70000): port out of range (0 to 65535)")) << log;
    EXPECT_FALSE(contains(log, ": failed\n")) << log;

    EXPECT_EQ(session.close(), 0) << session.process().output();
}
