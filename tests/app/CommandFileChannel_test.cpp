#include "app/CommandFileChannel.h"
#include "support/ScratchDirectory.h"

#include <gtest/gtest.h>

TEST(CommandFileChannel, ReadsLinesUpToEachLineFeed) {
    ScratchDirectory scratch;
    const std::string path = scratch.write("start.cmd", "project.new();\r\nproject.net.init(4000);\n\nlast");
    CommandFileChannel channel(path);
    std::string line;
    ASSERT_TRUE(channel.isOpen());
    ASSERT_TRUE(channel.readLine(line));
    EXPECT_EQ(line, "project.new();\r"); // the line feed alone ends a line
    ASSERT_TRUE(channel.readLine(line));
    EXPECT_EQ(line, "project.net.init(4000);");
    ASSERT_TRUE(channel.readLine(line));
    EXPECT_EQ(line, "");
    EXPECT_TRUE(channel.isOpen());
    ASSERT_TRUE(channel.readLine(line));
    EXPECT_EQ(line, "last");
    EXPECT_FALSE(channel.isOpen());
    EXPECT_FALSE(channel.readLine(line));
    channel.writeLine("ok\r\n"); // discarded
}

TEST(CommandFileChannel, FinalLineFeedEndsTheFile) {
    ScratchDirectory scratch;
    CommandFileChannel channel(scratch.write("one.cmd", "quit();\n"));
    std::string line;
    ASSERT_TRUE(channel.readLine(line));
    EXPECT_EQ(line, "quit();");
    EXPECT_FALSE(channel.isOpen()); // closed right after the last line
    EXPECT_FALSE(channel.readLine(line));
}

TEST(CommandFileChannel, MissingOrEmptyFileYieldsNoLine) {
    ScratchDirectory scratch;
    std::string line;
    CommandFileChannel missing(scratch.path() + "missing.cmd");
    EXPECT_FALSE(missing.isOpen());
    EXPECT_FALSE(missing.readLine(line));
    CommandFileChannel empty(scratch.write("empty.cmd", ""));
    EXPECT_FALSE(empty.readLine(line));
    EXPECT_FALSE(empty.isOpen());
}
