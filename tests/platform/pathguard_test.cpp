#include "platform/fileutil.h"
#include "platform/pathguard.h"
#include "support/ScratchDirectory.h"

#include <gtest/gtest.h>
#include <unistd.h>

using VelOS::resolveInside;

TEST(ResolveInside, AcceptsPlainAndNestedNames) {
    std::string path;
    EXPECT_TRUE(resolveInside("/work/", "pack.zip", path));
    EXPECT_EQ(path, "/work/pack.zip");
    EXPECT_TRUE(resolveInside("/work", "textures\\wood.png", path));
    EXPECT_EQ(path, "/work/textures/wood.png");
    EXPECT_TRUE(resolveInside("/work/", "./a//b/./c", path));
    EXPECT_EQ(path, "/work/a/b/c");
    EXPECT_TRUE(resolveInside("/work/", "name with blanks and ..dots..", path));
    EXPECT_EQ(path, "/work/name with blanks and ..dots..");
}

TEST(ResolveInside, RefusesEverythingThatLeavesTheDirectory) {
    std::string path = "unchanged";
    const std::vector<std::string> refused = {"",
                                              "/etc/passwd",
                                              "\\etc\\passwd",
                                              "C:\\Windows\\win.ini",
                                              "c:x",
                                              "..",
                                              "../x",
                                              "a/../../x",
                                              "a\\..\\..\\x",
                                              "a/..",
                                              ".",
                                              "./",
                                              "//",
                                              std::string("a\0b", 3),
                                              "line\nbreak",
                                              "tab\there"};
    for (const std::string& name : refused) {
        EXPECT_FALSE(resolveInside("/work/", name, path)) << name;
    }
    EXPECT_EQ(path, "unchanged");
}

TEST(ResolveInside, RefusesNamesThroughSymbolicLinks) {
    ScratchDirectory scratch;
    ASSERT_TRUE(VelOS::createDirectory(scratch.path() + "work"));
    ASSERT_EQ(symlink("/etc", (scratch.path() + "work/etc").c_str()), 0);
    std::string path;
    EXPECT_FALSE(resolveInside(scratch.path() + "work/", "etc/passwd", path));
    EXPECT_FALSE(resolveInside(scratch.path() + "work/", "etc", path));
    EXPECT_TRUE(resolveInside(scratch.path() + "work/", "etcetera", path));
}
