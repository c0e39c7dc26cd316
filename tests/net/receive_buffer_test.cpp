#include <gtest/gtest.h>

#include <random>

#include "net/ReceiveBuffer.h"

namespace {

using VelNet::ReceiveBuffer;
using Result = ReceiveBuffer::LineResult;

void append(ReceiveBuffer& buffer, const std::string& bytes) {
    buffer.append(bytes.data(), bytes.size());
}

TEST(ReceiveBuffer, LinesEndAtCrLfOnlyWhereverTheReceivesSplitThem) {
    ReceiveBuffer buffer;
    std::string line;
    append(buffer, "a\rb\nc\r");
    EXPECT_EQ(buffer.takeLine(line), Result::NeedMore);
    append(buffer, "\n\r\nrest");
    ASSERT_EQ(buffer.takeLine(line), Result::Line);
    EXPECT_EQ(line, "a\rb\nc");
    ASSERT_EQ(buffer.takeLine(line), Result::Line);
    EXPECT_EQ(line, "");
    EXPECT_EQ(buffer.takeLine(line), Result::NeedMore);
    EXPECT_EQ(buffer.size(), 4u);
}

TEST(ReceiveBuffer, AnySplitOfAStreamGivesTheSameLines) {
    const std::string stream = "one();\r\n\r\ntwo(\"a\r\nb\");\r\n\r\r\n\n\r\nlast\r";
    const std::vector<std::string> expected = {"one();", "", "two(\"a", "b\");", "\r", "\n"};
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        ReceiveBuffer buffer;
        std::vector<std::string> lines;
        std::string line;
        for (std::size_t at = 0; at < stream.size();) {
            const std::size_t piece = std::min<std::size_t>(1 + random() % 5, stream.size() - at);
            append(buffer, stream.substr(at, piece));
            at += piece;
            while (buffer.takeLine(line) == Result::Line) {
                lines.push_back(line);
            }
        }
        EXPECT_EQ(lines, expected);
        EXPECT_EQ(buffer.size(), 5u); // "last\r" waits for its LF
    }
}

TEST(ReceiveBuffer, BytesBehindALineAreHandedOutFirstInOrder) {
    ReceiveBuffer buffer;
    std::string line;
    append(buffer, "uploadFile(\"f\", 6);\r\nabcdef");
    ASSERT_EQ(buffer.takeLine(line), Result::Line);
    char bytes[4];
    EXPECT_EQ(buffer.takeBytes(bytes, 4), 4u);
    EXPECT_EQ(std::string(bytes, 4), "abcd");
    EXPECT_EQ(buffer.takeBytes(bytes, 4), 2u);
    EXPECT_EQ(std::string(bytes, 2), "ef");
    EXPECT_EQ(buffer.takeBytes(bytes, 4), 0u);
    // Bytes taken from the middle of a pending line leave the rest to the line reader.
    append(buffer, "xy\r\nz");
    EXPECT_EQ(buffer.takeBytes(bytes, 1), 1u);
    ASSERT_EQ(buffer.takeLine(line), Result::Line);
    EXPECT_EQ(line, "y");
}

TEST(ReceiveBuffer, LineLimitIsOneMebibyte) {
    ReceiveBuffer buffer;
    std::string line;
    const std::string longest(ReceiveBuffer::MaximumLineLength, 'x');
    append(buffer, longest);
    EXPECT_EQ(buffer.takeLine(line), Result::NeedMore);
    append(buffer, "\r");
    EXPECT_EQ(buffer.takeLine(line), Result::NeedMore);
    append(buffer, "\n");
    ASSERT_EQ(buffer.takeLine(line), Result::Line);
    EXPECT_EQ(line.size(), ReceiveBuffer::MaximumLineLength);

    append(buffer, longest + "y");
    EXPECT_EQ(buffer.takeLine(line), Result::TooLong);
    EXPECT_EQ(buffer.size(), 0u);
}

TEST(ReceiveBuffer, ManySmallLinesKeepTheBufferSmall) {
    ReceiveBuffer buffer;
    std::string line;
    for (int i = 0; i < 100000; ++i) {
        append(buffer, "project.debug.isVisible();\r\n");
        ASSERT_EQ(buffer.takeLine(line), Result::Line);
    }
    append(buffer, "abc");
    EXPECT_EQ(buffer.size(), 3u);
}

} // namespace
