#include "platform/escape.h"
#include "platform/fileutil.h"
#include "support/ScratchDirectory.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace VelOS;

TEST(FileNameOf, LooksForTheForwardSlashFirst) {
    EXPECT_EQ(fileNameOf("a/b\\c"), "b\\c");
    EXPECT_EQ(fileNameOf("a\\b"), "b");
    EXPECT_EQ(fileNameOf("abc"), "abc");
    EXPECT_EQ(fileNameOf("dir/"), "");
    EXPECT_EQ(fileNameOf("dir\\"), "");
    EXPECT_EQ(fileNameOf(""), "");
    EXPECT_EQ(fileNameOf("/tmp/Velquin-1/pack.zip"), "pack.zip");
}

TEST(EscapeQuotes, EscapesEveryQuoteOnceAndNothingElse) {
    EXPECT_EQ(escapeQuotes("plain text, (with) \\ backslash"), "plain text, (with) \\ backslash");
    EXPECT_EQ(escapeQuotes("\""), "\\\"");
    EXPECT_EQ(escapeQuotes("a\"b\"\"c"), "a\\\"b\\\"\\\"c");
    // A quote already after a backslash is escaped again: the escape is not idempotent.
    EXPECT_EQ(escapeQuotes("\\\""), "\\\\\"");
    EXPECT_EQ(escapeQuotes(""), "");
}

TEST(RemoveDirectoryTree, RemovesNestedTreeWithReadOnlyFilesAndDirectories) {
    ScratchDirectory scratch;
    const std::string root = scratch.path() + "tree/";
    ASSERT_TRUE(createDirectory(root));
    ASSERT_TRUE(createDirectory(root + "sub"));
    ASSERT_TRUE(createDirectory(root + "sub/deeper"));
    scratch.write("tree/a.txt", "a");
    const std::string readOnly = scratch.write("tree/sub/deeper/locked.bin", "locked");
    ASSERT_EQ(chmod(readOnly.c_str(), 0400), 0);
    ASSERT_EQ(chmod((root + "sub/deeper").c_str(), 0500), 0);

    EXPECT_TRUE(removeDirectoryTree(root));
    EXPECT_FALSE(pathExists(root));
}

TEST(RemoveDirectoryTree, NeverFollowsLinksOutOfTheTree) {
    ScratchDirectory scratch;
    const std::string outside = scratch.path() + "outside/";
    ASSERT_TRUE(createDirectory(outside));
    const std::string precious = scratch.write("outside/precious.txt", "keep me");
    const std::string root = scratch.path() + "tree/";
    ASSERT_TRUE(createDirectory(root));
    ASSERT_EQ(symlink(outside.c_str(), (root + "dirlink").c_str()), 0);
    ASSERT_EQ(symlink(precious.c_str(), (root + "filelink").c_str()), 0);

    EXPECT_TRUE(removeDirectoryTree(root));
    EXPECT_FALSE(pathExists(root));
    EXPECT_EQ(readWholeFile(precious), "keep me");
}

TEST(RemoveDirectoryTree, RefusesALinkAsTheTopAndAMissingDirectory) {
    ScratchDirectory scratch;
    const std::string target = scratch.path() + "target";
    ASSERT_TRUE(createDirectory(target));
    scratch.write("target/file", "x");
    ASSERT_EQ(symlink(target.c_str(), (scratch.path() + "link").c_str()), 0);

    EXPECT_FALSE(removeDirectoryTree(scratch.path() + "link/"));
    EXPECT_TRUE(pathExists(target + "/file"));
    EXPECT_FALSE(removeDirectoryTree(scratch.path() + "missing/"));
}

TEST(CopyFile, OverwritesTheTargetAndLeavesASelfCopyAlone) {
    ScratchDirectory scratch;
    const std::string source = scratch.write("source", std::string(200000, 'q'));
    const std::string target = scratch.write("target", "old and longer than nothing");
    EXPECT_TRUE(copyFile(source, target));
    EXPECT_EQ(readWholeFile(target), std::string(200000, 'q'));

    EXPECT_TRUE(copyFile(source, source));
    EXPECT_EQ(readWholeFile(source).size(), 200000u);

    EXPECT_TRUE(copyFile(scratch.path() + "missing", scratch.path() + "other"));
    EXPECT_FALSE(pathExists(scratch.path() + "other"));
}

TEST(Sleep, IgnoresZeroAndNegativeDurations) {
    sleep(0);
    sleep(-5);
    sleep(1);
}
