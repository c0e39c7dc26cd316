#include "TrackingTestSupport.h"
#include "tracking/pattern.h"
#include "tracking/texts.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <sstream>

using namespace Ostrevan;
using TrackingTest::stdoutOf;

namespace {

std::string numbers(int count, int value = 17) {
    std::ostringstream text;
    for (int i = 0; i < count; ++i) {
        text << (value >= 0 ? value : i % 256) << (i % 16 == 15 ? "\n" : " ");
    }
    return text.str();
}

class PatternTables : public testing::Test {
protected:
    void SetUp() override { library = TrackingTest::makeLibrary(); }
    ScratchDirectory dir;
    std::unique_ptr<Ostrevan::Library> library; // this case's own marker library
};

TEST_F(PatternTables, CountsNumbersExactly) {
    int slot = 0;
    std::string out =
        stdoutOf([&] { slot = library->loadPattern(dir.write("short", numbers(3071, -1)).c_str()); });
    EXPECT_EQ(-1, slot);
    EXPECT_EQ(Texts::patternReadError, out);
    EXPECT_EQ(0, library->patternCount());

    out = stdoutOf([&] { slot = library->loadPattern(dir.write("exact", numbers(3072, -1)).c_str()); });
    EXPECT_EQ(0, slot);
    EXPECT_EQ("", out);
    out = stdoutOf([&] {
        slot = library->loadPattern(
            dir.write("tail", numbers(3072, -1) + "12 garbage\n\x01\x02 -5 99999").c_str());
    });
    EXPECT_EQ(1, slot);
    EXPECT_EQ("", out);
    EXPECT_EQ(2, library->patternCount());
}

TEST_F(PatternTables, RefusesValuesNoCameraCanSee) {
    const std::string good = numbers(3072, -1);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"negative", "-1 " + good},
        {"too large", "256 " + good},
        {"overflowing", "99999999999999999999999999 " + good},
        {"not a number", good.substr(0, 200) + " x " + good},
        {"decimal point", "1.5 " + good},
        {"sign alone", "- 3 " + good},
        {"empty", ""},
    };
    for (const auto& c : cases) {
        int slot = 0;
        const std::string out =
            stdoutOf([&] { slot = library->loadPattern(dir.write("bad", c.second).c_str()); });
        EXPECT_EQ(-1, slot) << c.first;
        EXPECT_EQ(Texts::patternReadError, out) << c.first;
    }
    EXPECT_EQ(0, library->patternCount());
    // What "%d" accepts still loads: a plus sign, "-0", leading zeros.
    EXPECT_EQ(0, library->loadPattern(dir.write("signs", "+3 -0 000255 " + numbers(3069, -1)).c_str()));
}

TEST_F(PatternTables, MissingFileNamesItself) {
    int slot = 0;
    const std::string name = dir.path() + "nowhere.pat";
    const std::string out = stdoutOf([&] { slot = library->loadPattern(name.c_str()); });
    EXPECT_EQ(-1, slot);
    EXPECT_EQ("\"" + name + "\" not found!!\n", out);
}

TEST_F(PatternTables, UniformPatternHasTinyNorms) {
    const int slot = library->loadPattern(dir.write("uniform", numbers(3072, 90)).c_str());
    ASSERT_EQ(0, slot);
    const PatternSlot* pattern = library->patternSlot(slot);
    ASSERT_NE(nullptr, pattern);
    for (int o = 0; o < 4; ++o) {
        EXPECT_EQ(0.0000001, pattern->colourNorm[o]);
        EXPECT_EQ(0.0000001, pattern->greyNorm[o]);
    }
}

TEST_F(PatternTables, StoresInvertedValuesMinusTheMeanAndTheGreyCells) {
    // Orientation 0: plane 0 all 0, plane 1 all 3, plane 2 all 255, so e = 255, 252, 0, mean 169,
    // grey (255 + 252 + 0) / 3 = 169.
    std::string text = numbers(256, 0) + numbers(256, 3) + numbers(256, 255) + numbers(3 * 768, 1);
    const int slot = library->loadPattern(dir.write("planes", text).c_str());
    ASSERT_EQ(0, slot);
    const PatternSlot* p = library->patternSlot(slot);
    EXPECT_EQ(255 - 169, p->colour[0][0]);
    EXPECT_EQ(252 - 169, p->colour[0][1]);
    EXPECT_EQ(0 - 169, p->colour[0][2]);
    EXPECT_EQ(0, p->grey[0][5]);
    EXPECT_NEAR(std::sqrt(256.0 * (86 * 86 + 83 * 83 + 169 * 169)), p->colourNorm[0], 1e-9);
}

TEST_F(PatternTables, FillsLowestFreeSlotsAndStopsSilentlyWhenFull) {
    const std::string file = dir.write("p", numbers(3072, -1));
    for (int i = 0; i < kPatternSlots; ++i) {
        ASSERT_EQ(i, library->loadPattern(file.c_str()));
    }
    int slot = 0;
    EXPECT_EQ("", stdoutOf([&] { slot = library->loadPattern(file.c_str()); }));
    EXPECT_EQ(-1, slot);
    EXPECT_EQ(1, library->freePattern(7));
    EXPECT_EQ(-1, library->freePattern(7));
    EXPECT_EQ(-1, library->freePattern(-1));
    EXPECT_EQ(-1, library->freePattern(kPatternSlots));
    EXPECT_EQ(1, library->freePattern(3));
    EXPECT_EQ(3, library->loadPattern(file.c_str()));
    EXPECT_EQ(7, library->loadPattern(file.c_str()));
    // A failed load keeps its slot free.
    EXPECT_EQ(1, library->freePattern(3));
    stdoutOf([&] { library->loadPattern(dir.write("bad", "1 2 3").c_str()); });
    EXPECT_EQ(nullptr, library->patternSlot(3));
    EXPECT_EQ(3, library->loadPattern(file.c_str()));
}

TEST(PatternSampling, GridGrowsWithTheMarkerAndStopsAt64) {
    const struct {
        double side;
        int grid;
    } cases[] = {{32, 16}, {40, 32}, {100, 64}, {200, 64}, {10, 16}};
    for (const auto& c : cases) {
        const double corners[4][2] = {
            {50, 50}, {50 + c.side, 50}, {50 + c.side, 50 + c.side}, {50, 50 + c.side}};
        int columns = 0;
        int rows = 0;
        samplingGrid(corners, &columns, &rows);
        EXPECT_EQ(c.grid, columns) << c.side;
        EXPECT_EQ(c.grid, rows) << c.side;
    }
    // Columns follow the horizontal sides, rows the vertical ones.
    const double wide[4][2] = {{0, 0}, {100, 0}, {100, 30}, {0, 30}};
    int columns = 0;
    int rows = 0;
    samplingGrid(wide, &columns, &rows);
    EXPECT_EQ(64, columns);
    EXPECT_EQ(16, rows);
}

TEST_F(PatternTables, SamplesTheCentralHalfAndIdentifiesAllFourTurns) {
    // A face-on square 128 pixels wide whose central half holds a known picture.
    const FrameSynth::Image picture = FrameSynth::randomPicture(8, 5);
    ASSERT_EQ(0, library->loadPattern(TrackingTest::writePatternFile(dir, "a.pat", picture).c_str()));
    ASSERT_EQ(1, library->loadPattern(
                     TrackingTest::writePatternFile(dir, "b.pat", FrameSynth::randomPicture(8, 6)).c_str()));
    TrackingTest::BinaryFrame frame;
    frame.fill(100, 100, 128, 128, 0);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            frame.set(132 + x, 132 + y, picture.at(x / 8, y / 8)[0]);
        }
    }
    const double square[4][2] = {{100, 100}, {227, 100}, {227, 227}, {100, 227}};
    for (int turn = 0; turn < 4; ++turn) {
        // The same square handed over starting at another corner is the picture turned.
        double corners[4][2];
        for (int k = 0; k < 4; ++k) {
            corners[k][0] = square[(k + turn) % 4][0];
            corners[k][1] = square[(k + turn) % 4][1];
        }
        SampledPattern sample;
        ASSERT_TRUE(samplePattern(frame.view(), corners, &sample));
        int id = -2;
        int direction = -2;
        double confidence = 0;
        library->matchPattern(sample, &id, &direction, &confidence);
        EXPECT_EQ(0, id);
        EXPECT_EQ(turn, direction) << turn;
        EXPECT_GT(confidence, 0.95);
    }
}

TEST_F(PatternTables, UniformSampleAndUnrelatedSample) {
    SampledPattern grey;
    std::memset(grey.cells, 128, sizeof grey.cells);
    int id = -2;
    int direction = -2;
    double confidence = 0;
    library->matchPattern(grey, &id, &direction, &confidence);
    EXPECT_EQ(0, id);
    EXPECT_EQ(0, direction);
    EXPECT_EQ(-1.0, confidence);

    // Nothing loaded: no positive correlation.
    SampledPattern half = grey;
    std::memset(half.cells, 0, sizeof half.cells / 2);
    library->matchPattern(half, &id, &direction, &confidence);
    EXPECT_EQ(-1, id);
    EXPECT_EQ(-1, direction);
    EXPECT_EQ(0.0, confidence);
}

TEST(PatternSampling, PointsOutsideTheFrameAddNothingAndDegenerateCornersFail) {
    TrackingTest::BinaryFrame frame(64, 48);
    // A square hanging over the top-left corner: no read outside the frame.
    const double corners[4][2] = {{-200, -200}, {20, -200}, {20, 20}, {-200, 20}};
    SampledPattern sample;
    EXPECT_TRUE(samplePattern(frame.view(), corners, &sample));
    const double line[4][2] = {{0, 0}, {10, 10}, {20, 20}, {30, 30}};
    EXPECT_FALSE(samplePattern(frame.view(), line, &sample));
    const double same[4][2] = {};
    EXPECT_FALSE(samplePattern(frame.view(), same, &sample));
}

TEST(PatternFile, TurnsAreQuarterTurnsCounterClockwise) {
    SampledPattern upright;
    upright.cells[0][0][0] = 1; // top left
    const SampledPattern turned = rotatePattern(upright);
    EXPECT_EQ(1, turned.cells[kPatternSize - 1][0][0]); // bottom left
    const std::string text = patternFileOf(upright);
    std::istringstream in(text);
    int value = 0;
    int count = 0;
    while (in >> value) {
        ++count;
    }
    EXPECT_EQ(3072, count);
}

} // namespace
