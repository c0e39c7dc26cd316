// Nothing lost, nothing hung, on the real player: files are replaced whole or not at all (a save
// killed half-way, an upload dropped half-way, a save over the project's own package), project
// archives keep within the package bounds and unpack while others are served, a destroyed
// resource's files go and the work directory has a bound, floods of log lines are counted and
// the log rotates, project.new and project.load cancel a package still unpacking, numbers up to
// single precision are drawn, saved and loaded, and viewers end with the player.
#include "HostileClients.h"
#include "platform/DiskBudget.h"
#include "support/PlayerFolder.h"
#include "support/Wait.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>

using namespace std::chrono_literals;

namespace {

// Runs a Python snippet that writes a ZIP archive with zipfile; entries: (name, Python
// expression of its bytes, stored or deflated).
bool makeZip(const ScratchDirectory& scratch, const std::string& archive,
             const std::vector<std::tuple<std::string, std::string, bool>>& entries) {
    std::string script = "import os, zipfile\nz = zipfile.ZipFile('" + scratch.path() + archive + "', 'w')\n";
    for (const auto& [name, bytes, stored] : entries) {
        script += "z.writestr(zipfile.ZipInfo('" + name + "'), " + bytes + ", " +
                  (stored ? "zipfile.ZIP_STORED" : "zipfile.ZIP_DEFLATED") + ")\n";
    }
    script += "z.close()\n";
    return python(scratch, script);
}

// robot.zip's entries and one more, as a Python list of writestr calls' arguments.
bool makePackage(const ScratchDirectory& scratch, const std::string& archive, const std::string& extraName,
                 const std::string& extraBytes, bool stored) {
    const std::string robot = PlayerProcess::builtPlayerDirectory() + "/samples/robot.zip";
    return python(scratch, "import os, zipfile\n"
                           "source = zipfile.ZipFile('" +
                               robot +
                               "')\n"
                               "z = zipfile.ZipFile('" +
                               scratch.path() + archive +
                               "', 'w', zipfile.ZIP_DEFLATED)\n"
                               "for info in source.infolist():\n"
                               "    z.writestr(info.filename, source.read(info.filename))\n"
                               "z.writestr('" +
                               extraName + "', " + extraBytes + ", " +
                               (stored ? "zipfile.ZIP_STORED" : "zipfile.ZIP_DEFLATED") +
                               ")\n"
                               "z.close()\n");
}

// The line the player wrote for a failed sentence (its failure line starts with the sentence).
std::string failureLine(PlayerProcess& player, const std::string& sentence) {
    return player.waitForLine(sentence.substr(0, sentence.size() - 1), 10000);
}

// The bytes in the entries of the folder whose names start with the prefix (a file's size, or
// all that a folder holds), the entries named in known left out.
std::uint64_t bytesInEntriesLike(const std::string& folder, const std::string& prefix,
                                 const std::vector<std::string>& known = {}) {
    std::uint64_t bytes = 0;
    for (const std::string& name : namesIn(folder)) {
        struct stat info {};
        if (name.rfind(prefix, 0) != 0 || std::count(known.begin(), known.end(), name) != 0 ||
            lstat((folder + name).c_str(), &info) != 0) {
            continue;
        }
        bytes += S_ISDIR(info.st_mode) ? VelOS::DiskBudget::bytesBelow(folder + name)
                                       : static_cast<std::uint64_t>(info.st_size);
    }
    return bytes;
}

// Whether two files' contents are the same, and where they part if not. For archives of tens of
// megabytes: EXPECT_EQ's diff of two such strings took 24 GB, and the machine's memory with it.
testing::AssertionResult sameBytes(const std::string& actual, const std::string& expected) {
    if (actual == expected) {
        return testing::AssertionSuccess();
    }
    const auto parted = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
    return testing::AssertionFailure()
           << actual.size() << " bytes where " << expected.size()
           << " were expected, the first difference at byte " << (parted.first - actual.begin());
}

// Gone, or ended and waiting to be reaped (a zombie is no viewer on the screen).
bool processGone(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) {
        return true;
    }
    const std::string::size_type end = line.rfind(')');
    return end != std::string::npos && line.size() > end + 2 && line[end + 2] == 'Z';
}

} // namespace

// A save killed half-way used to leave a torn archive in place of the old one, an upload dropped
// half-way destroyed the old file, and project.save("robot") overwrote the package robot.zip.
TEST(PlayerFiles, SavesAndUploadsReplaceTheirFilesWholeOrNotAtAll) {
    ScratchDirectory scratch;
    ASSERT_TRUE(makePackage(scratch, "noise.zip", "noise.bin", "os.urandom(40 << 20)", true));
    PlayerSession session(scratch);
    ASSERT_TRUE(session.ready());
    PlayerProcess& player = session.process();
    auto commandClient = session.open("command");
    ASSERT_TRUE(commandClient);
    Client& command = *commandClient;
    const auto reply = [&](const std::string& sentence) {
        command.send(sentence + "\r\n");
        return withoutCr(command.line());
    };
    const std::string work = workDirectoryOf(session, scratch);
    const std::string robot = readWholeFile(PlayerProcess::builtPlayerDirectory() + "/samples/robot.zip");
    ASSERT_TRUE(session.upload("robot.zip", robot));
    ASSERT_EQ(reply("project.resources.create(\"robot\", \"robot.zip\");"), "ok");

    // The save would write robot.zip over the resource's own package: refused, with the reason.
    EXPECT_EQ(reply("project.save(\"robot\");"), "fail");
    EXPECT_NE(failureLine(player, "project.save(\"robot\");").find("robot.zip is a file of the project"),
              std::string::npos);
    EXPECT_EQ(readWholeFile(work + "robot.zip"), robot);
    // Nor over a tracker's pattern, whatever the pattern file is called.
    const std::string pattern =
        readWholeFile(PlayerProcess::builtPlayerDirectory() + "/markers/letter-v.pat");
    ASSERT_TRUE(session.upload("stage.xml", pattern));
    ASSERT_EQ(reply("project.trackers.AR.create(\"v\", \"stage.xml\", 80);"), "ok");
    EXPECT_EQ(reply("project.save(\"stage\");"), "fail");
    EXPECT_NE(failureLine(player, "project.save(\"stage\");")
                  .find("stage.xml is a file of the project (a tracker's pattern)"),
              std::string::npos);
    EXPECT_EQ(readWholeFile(work + "stage.xml"), pattern);
    ASSERT_EQ(reply("project.trackers.AR.destroy(\"v\");"), "ok");

    // An upload that ends before its announced size leaves the old file.
    {
        Client upload(session.port());
        upload.send("uploadFile(\"robot.zip\", 5000000);\r\n" + std::string(100000, 'x'));
    }
    EXPECT_NE(player.waitForLine("uploadFile(\"robot.zip\", 5000000): the connection ended before", 10000),
              "");
    EXPECT_EQ(readWholeFile(work + "robot.zip"), robot);

    // A project of 40 MB that takes a while to save, saved once, then killed in the middle of
    // saving again: the archive of the first save is whole.
    ASSERT_TRUE(session.upload("noise.zip", readWholeFile(scratch.path() + "noise.zip")));
    ASSERT_EQ(reply("project.resources.create(\"noise\", \"noise.zip\");"), "ok");
    ASSERT_EQ(reply("project.save(\"show\");"), "ok");
    const std::string saved = readWholeFile(work + "show.zip");
    ASSERT_GT(saved.size(), 40u << 20);
    command.send("project.save(\"show\");\r\n");
    // Killed once the new archive is being written: beside the old one, or over it (which the
    // checks below then catch). Looked for often: the save lasts a fraction of a second on a
    // fast disk.
    EXPECT_TRUE(testwait::waitUntil(
        [&] {
            struct stat old {};
            return bytesInEntriesLike(work, ".show.zip.part-") > 0 ||
                   (stat((work + "show.zip").c_str(), &old) == 0 &&
                    old.st_size != static_cast<off_t>(saved.size()));
        },
        10s, 2ms))
        << "the save was never seen under way";
    ASSERT_GT(player.pid(), 0); // never -1: as root that signals every process of the machine
    ::kill(player.pid(), SIGKILL);
    player.waitForExit(10000);
    EXPECT_TRUE(sameBytes(readWholeFile(work + "show.zip"), saved));
    EXPECT_EQ(std::system(("unzip -tqq '" + work + "show.zip'").c_str()), 0);
}

// A 2 MB project archive unpacked 2,000 MiB on the main thread while another client waited 6 s.
TEST_F(HostileClients, ProjectArchivesKeepThePackageBoundsAndUnpackWhileOthersAreServed) {
    start();
    const std::string document = "'<Velquin><Global title=\"big\"/></Velquin>'";
    ASSERT_TRUE(makeZip(scratch_, "bomb.zip",
                        {{"bomb.xml", document, false}, {"zeros.bin", "bytes(300 << 20)", false}}));
    ASSERT_TRUE(makeZip(scratch_, "large.zip",
                        {{"large.xml", document, false}, {"noise.bin", "os.urandom(120 << 20)", true}}));
    ASSERT_TRUE(session_->upload("bomb.zip", readWholeFile(scratch_.path() + "bomb.zip")));
    ASSERT_TRUE(session_->upload("large.zip", readWholeFile(scratch_.path() + "large.zip")));
    const std::string work = workDirectoryOf(*session_, scratch_);

    EXPECT_EQ(reply("project.load(\"bomb.zip\");"), "fail");
    EXPECT_NE(failureLine(session_->process(), "project.load(\"bomb.zip\");")
                  .find("the project archive expands beyond 100 times its archive size"),
              std::string::npos);
    EXPECT_FALSE(pathExists(work + "zeros.bin"));

    AskingClient other(*session_);
    const auto start = Clock::now();
    EXPECT_EQ(reply("project.load(\"large.zip\");"), "ok");
    std::cout << "120 MiB project archive unpacked and loaded in " << millisecondsSince(start) << " ms"
              << std::endl;
    other.stop();
    EXPECT_LT(other.slowest, 500.0);
    EXPECT_EQ(reply("project.title.get();"), "\"big\"");
    EXPECT_TRUE(pathExists(work + "noise.bin"));
    for (const std::string& entry : namesIn(work)) {
        EXPECT_EQ(entry.find(".unpack"), std::string::npos) << entry;
        EXPECT_EQ(entry.find(".part-"), std::string::npos) << entry;
    }
}

// Three create and destroy cycles of a large package left three copies on the disk; two packages
// at once each had the whole per-package bound. A destroyed resource's files now go, and the work
// directory as a whole has a bound that counts every unpacking under way.
TEST_F(HostileClients, DestroyedResourcesLeaveNoFilesAndTheWorkDirectoryHasABound) {
    start({"VELQUIN_PACKAGE_MAX_RATIO=100000", "VELQUIN_WORKDIR_MAX_MB=150"});
    ASSERT_TRUE(makePackage(scratch_, "big.zip", "zeros.bin", "bytes(100 << 20)", false));
    const std::string big = readWholeFile(scratch_.path() + "big.zip");
    ASSERT_TRUE(session_->upload("big.zip", big));
    ASSERT_TRUE(session_->upload("big2.zip", big));
    const std::string work = workDirectoryOf(*session_, scratch_);
    for (int cycle = 0; cycle < 3; ++cycle) {
        ASSERT_EQ(reply("project.resources.create(\"big\", \"big.zip\");"), "ok");
        EXPECT_EQ(listener_->line().rfind("project.resources.created(\"big\"", 0), 0u);
        EXPECT_GT(VelOS::DiskBudget::bytesBelow(work + "big"), 100u << 20);
        EXPECT_EQ(reply("project.resources.destroy(\"big\");"), "ok");
        EXPECT_EQ(withoutCr(listener_->line()), "project.resources.destroyed(\"big\");");
        EXPECT_FALSE(pathExists(work + "big"));
    }
    const std::uint64_t left = VelOS::DiskBudget::bytesBelow(work);
    std::cout << "work directory after 3 cycles of a 100 MiB package: " << left / 1024 << " KiB" << std::endl;
    EXPECT_LT(left, 2 * big.size() + (4u << 20));

    // 100 MiB unpacked fit the bound of 150 MiB; another 100 MiB do not.
    ASSERT_EQ(reply("project.resources.create(\"big\", \"big.zip\");"), "ok");
    listener_->line();
    EXPECT_EQ(reply("project.resources.create(\"big2\", \"big2.zip\");"), "fail");
    EXPECT_NE(failureLine(session_->process(), "project.resources.create(\"big2\", \"big2.zip\");")
                  .find("the work directory would hold more than 150 MiB (VELQUIN_WORKDIR_MAX_MB)"),
              std::string::npos);
    EXPECT_EQ(reply("project.resources.destroy(\"big\");"), "ok");
    listener_->line();

    // Two at once: the second counts the first's bytes while both unpack.
    std::unique_ptr<Client> second = session_->open("command");
    ASSERT_TRUE(second);
    command_->send("project.resources.create(\"big\", \"big.zip\");\r\n");
    second->send("project.resources.create(\"big2\", \"big2.zip\");\r\n");
    const std::string first = withoutCr(command_->line());
    const std::string other = withoutCr(second->line());
    EXPECT_TRUE((first == "ok") != (other == "ok")) << first << " " << other;
    expectAnswering();
}

// project.new and project.load while another client's package unpacks: the package does not
// join the project that replaced the one it was asked for.
TEST_F(HostileClients, NewAndLoadCancelAPackageStillUnpacking) {
    start({"VELQUIN_PACKAGE_MAX_RATIO=100000"});
    ASSERT_TRUE(makePackage(scratch_, "big.zip", "zeros.bin", "bytes(300 << 20)", false));
    ASSERT_TRUE(session_->upload("big.zip", readWholeFile(scratch_.path() + "big.zip")));
    ASSERT_EQ(reply("project.title.set(\"empty\");"), "ok");
    ASSERT_EQ(reply("project.save(\"empty\");"), "ok");
    std::unique_ptr<Client> other = session_->open("command");
    ASSERT_TRUE(other);
    const std::string work = workDirectoryOf(*session_, scratch_);
    for (const std::string replacing : {"project.new();", "project.load(\"empty.zip\");"}) {
        const std::vector<std::string> before = namesIn(work);
        other->send("project.resources.create(\"big\", \"big.zip\");\r\n");
        // The unpacking under way: a folder of its own has its first bytes.
        EXPECT_TRUE(testwait::waitUntil([&] { return bytesInEntriesLike(work, ".unpack-", before) > 0; }))
            << replacing;
        EXPECT_EQ(reply(replacing), "ok");
        const std::string created = withoutCr(other->line());
        std::cout << replacing << " while the package unpacked: its create answered " << created << std::endl;
        EXPECT_EQ(created, "fail");
        EXPECT_EQ(reply("project.resources.getList();").find("big"), std::string::npos) << replacing;
    }
}

// Values an earlier player took are taken again (translations of 1.2e8, scales of 1e20, up to
// single precision), drawn with the marker in view, saved and loaded; only what is no number,
// beyond single precision or a rotation without length is refused. Viewers end with the player.
TEST_F(HostileClients, LargeNumbersAreDrawnSavedAndLoadedAndViewersEndWithThePlayer) {
    const std::string bin = scratch_.path() + "bin/";
    ASSERT_EQ(mkdir(bin.c_str(), 0700), 0);
    const std::string pids = scratch_.path() + "viewers";
    // A viewer that would stay two minutes: its sleep is what must not outlive the player, not a
    // wait of the test's.
    scratch_.write("bin/xdg-open", "#!/bin/sh\necho $$ >> '" + pids + "'\nexec sleep 120\n");
    ASSERT_EQ(chmod((bin + "xdg-open").c_str(), 0700), 0);
    const char* path = std::getenv("PATH");
    start({"PATH=" + bin + ":" + (path != nullptr ? path : "/usr/bin:/bin")});
    uploadSamples();
    const std::string player = PlayerProcess::builtPlayerDirectory();
    ASSERT_TRUE(session_->upload("letter-v.pat", readWholeFile(player + "/markers/letter-v.pat")));
    ASSERT_EQ(reply("project.trackers.AR.create(\"vee\", \"letter-v.pat\", 80);"), "ok");
    ASSERT_EQ(reply("project.actors.mesh.create(\"robot\", \"robot\", \"robot.mesh\");"), "ok");
    ASSERT_EQ(reply("project.actors.mesh.connect(\"robot\", \"vee\");"), "ok");
    ASSERT_EQ(reply("project.actors.file.create(\"poster\", \"robot\", \"robot_poster.png\", \"image\");"),
              "ok");
    ASSERT_EQ(reply("project.videocapture.init(\"File\", \"frames@30\");"), "ok");
    EXPECT_EQ(session_->process().waitForLine("MeshActor::activated!", 20000), "MeshActor::activated!");

    for (const std::string sentence :
         {"project.actors.mesh.translate(\"robot\", 0.333333333, -1234567, 0.00001);",
          "project.actors.mesh.translate(\"robot\", -0, 123456789, -0.000012345678);",
          "project.actors.mesh.scale(\"robot\", 2, 0.5, 1e+20);",
          "project.actors.mesh.scale(\"robot\", 3e38, 3e38, 3e38);",
          "project.actors.mesh.translate(\"robot\", 3e38, -3e38, 3e38);",
          "project.actors.mesh.rotate(\"robot\", 1e30, 1e30, 0, 0);"}) {
        EXPECT_EQ(reply(sentence), "ok") << sentence;
        // Frames drawn with it (six at 30 frames a second), the player alive all the while.
        EXPECT_TRUE(testwait::holdsFor(200ms, [&] { return session_->process().running(); })) << sentence;
        expectAnswering();
    }
    ASSERT_EQ(reply("project.actors.mesh.translate(\"robot\", 1.2e8, 0, 0);"), "ok");
    ASSERT_EQ(reply("project.actors.mesh.scale(\"robot\", 1e20, 1e20, 1e20);"), "ok");
    ASSERT_EQ(reply("project.actors.mesh.rotate(\"robot\", 1, 0, 0, 0);"), "ok");
    EXPECT_TRUE(testwait::holdsFor(300ms, [&] { return session_->process().running(); }));
    EXPECT_GT(XTestDisplay::grab(session_->window()).width, 0);
    ASSERT_EQ(reply("project.save(\"far\");"), "ok");
    ASSERT_EQ(reply("project.new();"), "ok");
    ASSERT_EQ(reply("project.load(\"far.zip\");"), "ok");
    EXPECT_EQ(reply("project.actors.mesh.getTranslation(\"robot\");"), "(1.2e+08, 0, 0)");
    EXPECT_EQ(reply("project.actors.mesh.getScale(\"robot\");"), "(1e+20, 1e+20, 1e+20)");
    EXPECT_TRUE(testwait::holdsFor(300ms, [&] { return session_->process().running(); }));
    expectAnswering();
    // What single precision cannot hold, and a rotation without length, are refused.
    EXPECT_EQ(reply("project.actors.mesh.scale(\"robot\", 4e38, 1, 1);"), "fail");
    EXPECT_EQ(reply("project.actors.mesh.rotate(\"robot\", 0, 0, 0, 0);"), "fail");

    // A viewer opened for the poster outlives its opener; it ends with the player.
    EXPECT_EQ(reply("project.actors.action(\"poster\", \"open\", \"\");"), "ok");
    ASSERT_TRUE(nettest::eventually([&] { return !readWholeFile(pids).empty(); }));
    const pid_t viewer = static_cast<pid_t>(std::stol(readWholeFile(pids)));
    EXPECT_FALSE(processGone(viewer));
    listener_.reset();
    command_.reset();
    EXPECT_EQ(session_->close(), 0) << session_->process().output();
    session_.reset();
    EXPECT_TRUE(nettest::eventually([&] { return processGone(viewer); })) << "viewer " << viewer;
}

// A client refused thousands of times wrote a line each time (34 MB in 40 s): the lines of such a
// flood are counted, and log.txt rotates at its size.
TEST(PlayerLogBounds, FloodsAreCountedAndTheLogRotates) {
    ScratchDirectory scratch;
    const std::string folder = makePlayerFolder(scratch);
    ASSERT_FALSE(folder.empty());
    {
        PlayerSession session(scratch, "", folder, {"VELQUIN_ALLOW=10.9.8.7"});
        ASSERT_TRUE(session.ready());
        ASSERT_TRUE(session.connect()); // listening: the first of the refused
        for (int i = 1; i < 3000; ++i) {
            Client refused(session.port());
            refused.closedByServer();
        }
        EXPECT_EQ(session.close(), 0);
        const std::string& output = session.process().output();
        EXPECT_LE(nettest::countOf(output, "refused client 127.0.0.1: not in the allowed addresses\n"), 20);
    }
    const std::string log = readWholeFile(folder + "/log.txt");
    std::cout << "log.txt after 3000 refused connections: " << log.size() << " bytes" << std::endl;
    EXPECT_LT(log.size(), 100000u);
    EXPECT_EQ(nettest::countOf(log, "refused client 127.0.0.1: not in the allowed addresses\n"), 20);
    EXPECT_NE(log.find("refused client 127.0.0.1: not in the allowed addresses ... and 2,980 more like it in "
                       "the last minute"),
              std::string::npos);

    // Lines that are all different fill the log: it rotates at 1 MB, two old files kept.
    {
        PlayerSession session(scratch, "", folder, {"VELQUIN_LOG_MAX_MB=1"});
        ASSERT_TRUE(session.ready());
        auto command = session.open("command");
        ASSERT_TRUE(command);
        // 80,000 malformed lines told apart by their letters, in bursts whose replies and failure
        // lines (standard error) are read as they come.
        for (int burst = 0; burst < 80; ++burst) {
            std::string lines;
            for (int i = burst * 1000; i < (burst + 1) * 1000; ++i) {
                std::string word;
                for (int n = i; n > 0 || word.empty(); n /= 26) {
                    word += static_cast<char>('a' + n % 26);
                }
                lines += "no sentence " + word + " at all\r\n";
            }
            command->send(lines);
            for (int i = 0; i < 1000; ++i) {
                ASSERT_EQ(command->line(), "fail parser error\r");
            }
            session.process().waitForLine("\x01", 20);
        }
        EXPECT_EQ(session.close(), 0);
    }
    for (const char* name : {"/log.txt", "/log.txt.1", "/log.txt.2"}) {
        struct stat info {};
        ASSERT_EQ(stat((folder + name).c_str(), &info), 0) << name;
        EXPECT_LT(info.st_size, 1100 * 1024) << name;
    }
    EXPECT_FALSE(pathExists(folder + "/log.txt.3"));
}
