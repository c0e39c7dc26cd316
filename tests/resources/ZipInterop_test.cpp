// Archives written by archiveFiles must read back with the common tools: Info-ZIP's unzip
// and zipinfo, and Python's zipfile (which checks every CRC).
#include "platform/fileutil.h"
#include "resources/FileArchive.h"
#include "support/ScratchDirectory.h"

#include <array>
#include <cstdio>
#include <gtest/gtest.h>
#include <memory>
#include <random>

namespace {

struct CommandResult {
    int status = -1;
    std::string output;
};

CommandResult runCommand(const std::string& command) {
    CommandResult result;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    std::array<char, 4096> buffer{};
    size_t got = 0;
    while ((got = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        result.output.append(buffer.data(), got);
    }
    result.status = pclose(pipe);
    return result;
}

class ZipInterop : public ::testing::Test {
protected:
    void SetUp() override {
        std::mt19937 generator(42);
        std::string noise(150000, '\0');
        for (char& c : noise) {
            c = static_cast<char>(generator());
        }
        std::string floats;
        for (int i = 0; i < 30000; ++i) {
            const float value = static_cast<float>(i % 977) * 0.25f;
            floats.append(reinterpret_cast<const char*>(&value), sizeof value);
        }
        ASSERT_TRUE(VelOS::createDirectory(scratch.path() + "in"));
        files = {scratch.write("in/project.xml", "<Velquin>\n  <Resources />\n</Velquin>\n"),
                 scratch.write("in/photo.jpg", noise),
                 scratch.write("in/model.mesh", floats),
                 scratch.write("in/empty.txt", ""),
                 scratch.write("in/nested.zip", noise.substr(0, 1000)),
                 scratch.write("in/pattern name with blanks.patt", "  1 2 3\n")};
        archive = scratch.path() + "project.zip";
        ASSERT_TRUE(archiveFiles(archive, files));
    }

    ScratchDirectory scratch;
    std::vector<std::string> files;
    std::string archive;
};

} // namespace

TEST_F(ZipInterop, UnzipTestsEveryEntry) {
    const CommandResult result = runCommand("unzip -t '" + archive + "'");
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_NE(result.output.find("No errors detected"), std::string::npos) << result.output;
}

TEST_F(ZipInterop, ZipinfoListsNamesSizesAndMethods) {
    const CommandResult result = runCommand("zipinfo '" + archive + "'");
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_NE(result.output.find("6 files"), std::string::npos) << result.output;
    for (const char* name : {"project.xml", "photo.jpg", "model.mesh", "empty.txt", "nested.zip",
                             "pattern name with blanks.patt"}) {
        EXPECT_NE(result.output.find(name), std::string::npos) << name;
    }
    EXPECT_NE(result.output.find("stor"), std::string::npos) << result.output; // nested.zip
    EXPECT_NE(result.output.find("defX"), std::string::npos) << result.output; // level 8 flag
}

TEST_F(ZipInterop, PythonZipfileReadsEveryEntryByteIdentical) {
    std::string script = "import sys, zipfile\n"
                         "z = zipfile.ZipFile(sys.argv[1])\n"
                         "assert z.testzip() is None\n"
                         "names = z.namelist()\n"
                         "for i, path in enumerate(sys.argv[2:]):\n"
                         "    assert names[i] == path.rsplit('/', 1)[1], (names[i], path)\n"
                         "    assert z.read(names[i]) == open(path, 'rb').read(), path\n"
                         "print('ok', len(names))\n";
    const std::string scriptPath = scratch.write("check.py", script);
    std::string command = "python3 '" + scriptPath + "' '" + archive + "'";
    for (const std::string& file : files) {
        command += " '" + file + "'";
    }
    const CommandResult result = runCommand(command);
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_NE(result.output.find("ok 6"), std::string::npos) << result.output;
}

TEST(ArchiveFiles, StoresEachFileUnderItsBareName) {
    ScratchDirectory scratch;
    ASSERT_TRUE(VelOS::createDirectory(scratch.path() + "in"));
    const std::string first = scratch.write("in/first.txt", "first");
    const std::string second = scratch.write("in/second.bin", "second");
    const std::string archive = scratch.path() + "out.zip";
    EXPECT_TRUE(archiveFiles(archive, {first, scratch.path() + "in/missing", second}));
    const std::string bytes = readWholeFile(archive);
    EXPECT_NE(bytes.find("first.txt"), std::string::npos);
    EXPECT_NE(bytes.find("second.bin"), std::string::npos);
    EXPECT_EQ(bytes.find("in/"), std::string::npos);
    EXPECT_EQ(bytes.find("missing"), std::string::npos);
}
