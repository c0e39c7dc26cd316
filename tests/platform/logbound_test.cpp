// The log's bounds: like lines beyond a few a minute are counted, and the file rotates at its
// size, keeping two old files.
#include "platform/RepeatFilter.h"
#include "platform/RotatingLog.h"
#include "support/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <fstream>

using VelOS::RepeatFilter;
using VelOS::RotatingLog;

TEST(RepeatFilter, LinesAlikeButForTheirNumbersAreCountedPastAFewAMinute) {
    RepeatFilter filter(3, std::chrono::seconds(60));
    const auto start = RepeatFilter::Clock::now();
    std::vector<std::string> out;
    for (int i = 0; i < 4214; ++i) {
        filter.pass("refused client 10.0.0." + std::to_string(i % 250) + ": not in the allowed addresses",
                    start + std::chrono::milliseconds(i), out);
    }
    // Another kind of line is not held back by the flood.
    filter.pass("project.title.set(\"x\"): failed", start + std::chrono::seconds(5), out);
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0], "refused client 10.0.0.0: not in the allowed addresses");
    EXPECT_EQ(out[2], "refused client 10.0.0.2: not in the allowed addresses");
    EXPECT_EQ(out[3], "project.title.set(\"x\"): failed");
    // Nothing more before the minute is over; then the count.
    out.clear();
    filter.flush(start + std::chrono::seconds(59), out);
    EXPECT_TRUE(out.empty());
    filter.flush(start + std::chrono::seconds(61), out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], "refused client 10.0.0.3: not in the allowed addresses ... and 4,211 more like it in "
                      "the last minute");
    // A new minute starts afresh.
    out.clear();
    filter.pass("refused client 10.0.0.9: not in the allowed addresses", start + std::chrono::seconds(62),
                out);
    EXPECT_EQ(out.size(), 1u);
}

TEST(RepeatFilter, ACountIsWrittenBeforeTheNextLineOfItsKindInANewMinute) {
    RepeatFilter filter(1, std::chrono::seconds(60));
    const auto start = RepeatFilter::Clock::now();
    std::vector<std::string> out;
    filter.pass("a 1", start, out);
    filter.pass("a 2", start, out);
    filter.pass("a 3", start + std::chrono::seconds(61), out);
    EXPECT_EQ(out, (std::vector<std::string>{"a 1", "a 2 ... and 1 more like it in the last minute", "a 3"}));
    EXPECT_EQ(RepeatFilter::withThousands(1234567), "1,234,567");
    EXPECT_EQ(RepeatFilter::withThousands(999), "999");
    EXPECT_EQ(RepeatFilter::kindOf("x 12 y3.5"), "x # y#.#");
}

TEST(RotatingLog, RotatesAtItsSizeKeepingTwoOldFiles) {
    ScratchDirectory scratch;
    const std::string path = scratch.path() + "log.txt";
    {
        RotatingLog log(path, 1000);
        for (int i = 0; i < 100; ++i) {
            // Lines of different kinds, so that none is counted: 35 bytes each with the time.
            log.write("line " + std::string(1, static_cast<char>('a' + i % 26)) +
                      std::string(i / 26 + 1, 'x') + " of the log");
        }
    }
    const std::string current = readWholeFile(path);
    const std::string first = readWholeFile(path + ".1");
    const std::string second = readWholeFile(path + ".2");
    EXPECT_FALSE(pathExists(path + ".3"));
    for (const std::string* file : {&first, &second}) {
        EXPECT_GE(file->size(), 1000u);
        EXPECT_LT(file->size(), 1100u);
    }
    EXPECT_LT(current.size(), 1100u);
    EXPECT_NE(current.find("line v"), std::string::npos); // the last lines are in the current file
    EXPECT_EQ(current.substr(2, 1), ":");                 // "HH:MM:SS: "
    EXPECT_EQ(current.substr(8, 2), ": ");
}
