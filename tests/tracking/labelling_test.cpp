#include "TrackingTestSupport.h"
#include "tracking/labelling.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>

using namespace Ostrevan;

namespace {

// The labelling exactly as the detector is described, pixel by pixel: a label image, provisional
// labels with their statistics, merges that rewrite the whole equivalence table. It is the
// yardstick for the run-based labelling. Its label image holds 32-bit labels: with 16 bits the
// 32768th label would wrap to a negative value and split its region.
struct ReferenceLabels {
    bool ok = false;
    int width = 0;
    std::vector<int> finalOfPixel; // final label of every pixel
    std::vector<Region> regions;   // [0] unused; start not filled
};

ReferenceLabels referenceLabelling(const FrameView& frame, int threshold) {
    const int w = frame.width;
    const int h = frame.height;
    ReferenceLabels result;
    result.width = w;
    std::vector<int32_t> image(static_cast<size_t>(w) * h, 0);
    std::vector<int> table(1, 0), count(1), sumX(1), sumY(1), minX(1), maxX(1), minY(1), maxY(1);
    int n = 0;
    auto merge = [&](int a, int b) {
        const int ea = table[a];
        const int eb = table[b];
        const int small = std::min(ea, eb);
        const int large = std::max(ea, eb);
        for (int i = 1; i <= n; ++i) {
            if (table[i] == large) {
                table[i] = small;
            }
        }
        return small;
    };
    for (int y = 1; y < h - 1; ++y) {
        for (int x = 1; x < w - 1; ++x) {
            const uint8_t* p = frame.at(x, y);
            const size_t i = static_cast<size_t>(y) * w + x;
            if (p[0] + p[1] + p[2] > 3 * threshold) {
                image[i] = 0;
                continue;
            }
            const int above = image[i - w];
            const int aboveRight = image[i - w + 1];
            const int aboveLeft = image[i - w - 1];
            const int left = image[i - 1];
            int label;
            auto add = [&](int l) {
                count[l]++;
                sumX[l] += x;
                sumY[l] += y;
            };
            if (above > 0) {
                label = above;
                add(label);
                maxY[label] = y;
            } else if (aboveRight > 0) {
                if (aboveLeft > 0) {
                    label = merge(aboveRight, aboveLeft);
                    add(label);
                    maxY[label] = y;
                } else if (left > 0) {
                    label = merge(aboveRight, left);
                    add(label);
                } else {
                    label = aboveRight;
                    add(label);
                    minX[label] = std::min(minX[label], x);
                    maxY[label] = y;
                }
            } else if (aboveLeft > 0) {
                label = aboveLeft;
                add(label);
                maxX[label] = std::max(maxX[label], x);
                maxY[label] = y;
            } else if (left > 0) {
                label = left;
                add(label);
                maxX[label] = std::max(maxX[label], x);
            } else {
                if (n == 32768) {
                    return result;
                }
                label = ++n;
                table.push_back(label);
                count.push_back(1);
                sumX.push_back(x);
                sumY.push_back(y);
                minX.push_back(x);
                maxX.push_back(x);
                minY.push_back(y);
                maxY.push_back(y);
            }
            image[i] = label;
        }
    }
    std::vector<int> finalOf(n + 1, 0);
    int regions = 0;
    for (int i = 1; i <= n; ++i) {
        finalOf[i] = table[i] == i ? ++regions : finalOf[table[i]];
    }
    result.regions.assign(regions + 1, Region());
    std::vector<long long> sx(regions + 1), sy(regions + 1);
    std::vector<bool> seen(regions + 1, false);
    for (int i = 1; i <= n; ++i) {
        Region& r = result.regions[finalOf[i]];
        if (!seen[finalOf[i]]) {
            seen[finalOf[i]] = true;
            r.box[0] = minX[i];
            r.box[1] = maxX[i];
            r.box[2] = minY[i];
            r.box[3] = maxY[i];
        }
        r.area += count[i];
        sx[finalOf[i]] += sumX[i];
        sy[finalOf[i]] += sumY[i];
        r.box[0] = std::min(r.box[0], minX[i]);
        r.box[1] = std::max(r.box[1], maxX[i]);
        r.box[2] = std::min(r.box[2], minY[i]);
        r.box[3] = std::max(r.box[3], maxY[i]);
    }
    for (int r = 1; r <= regions; ++r) {
        result.regions[r].centre[0] = static_cast<double>(sx[r]) / result.regions[r].area;
        result.regions[r].centre[1] = static_cast<double>(sy[r]) / result.regions[r].area;
    }
    result.finalOfPixel.resize(image.size());
    for (size_t i = 0; i < image.size(); ++i) {
        result.finalOfPixel[i] = finalOf[image[i]];
    }
    result.ok = true;
    return result;
}

void expectSameLabels(const FrameView& frame, int threshold, const std::string& what) {
    const ReferenceLabels reference = referenceLabelling(frame, threshold);
    Labelling fast;
    const bool ok = labelImage(frame, threshold, &fast);
    ASSERT_EQ(reference.ok, ok) << what;
    if (!ok) {
        return;
    }
    ASSERT_EQ(static_cast<int>(reference.regions.size()) - 1, fast.regionCount()) << what;
    for (int r = 1; r <= fast.regionCount(); ++r) {
        const Region& a = reference.regions[r];
        const Region& b = fast.region(r);
        ASSERT_EQ(a.area, b.area) << what << " region " << r;
        ASSERT_EQ(a.centre[0], b.centre[0]) << what << " region " << r;
        ASSERT_EQ(a.centre[1], b.centre[1]) << what << " region " << r;
        for (int k = 0; k < 4; ++k) {
            ASSERT_EQ(a.box[k], b.box[k]) << what << " region " << r << " box " << k;
        }
        // The start of contour tracing: leftmost pixel of the region's top row.
        int startX = a.box[0];
        while (reference.finalOfPixel[static_cast<size_t>(a.box[2]) * frame.width + startX] != r) {
            ++startX;
        }
        ASSERT_EQ(startX, b.start[0]) << what << " region " << r;
        ASSERT_EQ(a.box[2], b.start[1]) << what << " region " << r;
    }
    for (int y = 0; y < frame.height; ++y) {
        for (int x = 0; x < frame.width; ++x) {
            const int expected = reference.finalOfPixel[static_cast<size_t>(y) * frame.width + x];
            ASSERT_EQ(expected, fast.regionAt(x, y)) << what << " at " << x << "," << y;
            ASSERT_EQ(expected > 0, fast.dark(x, y)) << what << " at " << x << "," << y;
        }
    }
}

std::vector<uint8_t> toThreeBytes(const std::vector<uint8_t>& four) {
    std::vector<uint8_t> three;
    three.reserve(four.size() / 4 * 3);
    for (size_t i = 0; i < four.size(); i += 4) {
        three.insert(three.end(), four.begin() + i, four.begin() + i + 3);
    }
    return three;
}

// Random scenes: shapes of every size and shade, speckle, noise, gradients, markers.
FrameSynth::Scene randomScene(unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    FrameSynth::Scene scene;
    scene.camera = FrameSynth::standardCamera(seed % 2 == 0 ? 0.0 : 35.0);
    scene.seed = seed;
    scene.supersampling = 1;
    scene.noise = seed % 3 == 0 ? 25.0 : 4.0;
    scene.gradient[0] = unit(random) * 0.6 - 0.3;
    scene.gradient[1] = unit(random) * 0.6 - 0.3;
    const int shapes = 5 + static_cast<int>(random() % 60);
    for (int i = 0; i < shapes; ++i) {
        FrameSynth::Shape shape;
        shape.kind = random() % 2 == 0 ? FrameSynth::Shape::Rectangle : FrameSynth::Shape::Ellipse;
        shape.centre[0] = unit(random) * 700 - 30;
        shape.centre[1] = unit(random) * 540 - 30;
        const double big = random() % 5 == 0 ? 300.0 : 40.0;
        shape.size[0] = 1 + unit(random) * big;
        shape.size[1] = 1 + unit(random) * big;
        shape.angle = unit(random) * 3.2;
        const uint8_t shade = static_cast<uint8_t>(random() % 256);
        shape.colour[0] = shade;
        shape.colour[1] = static_cast<uint8_t>(std::min(255, shade + static_cast<int>(random() % 40)));
        shape.colour[2] = shade;
        scene.clutter.push_back(shape);
    }
    FrameSynth::Marker marker;
    marker.picture = FrameSynth::randomPicture(8, seed);
    marker.width = 80;
    FrameSynth::makePose(500 + unit(random) * 600, unit(random) * 200 - 100, unit(random) * 150 - 75,
                         unit(random) * 6, unit(random) * 1.0, unit(random) * 6, marker.pose);
    scene.markers.push_back(marker);
    return scene;
}

TEST(Labelling, RunBasedLabelsEqualThePixelByPixelOnesOnManyFrames) {
    std::vector<uint8_t> frame;
    for (unsigned seed = 1; seed <= 24; ++seed) {
        FrameSynth::render(randomScene(seed), &frame, 4);
        for (int threshold : {40, 100, 170}) {
            const std::string what =
                "seed " + std::to_string(seed) + " threshold " + std::to_string(threshold);
            expectSameLabels(TrackingTest::viewOf(frame, 640, 480), threshold, what);
            if (seed % 4 == 0) {
                const std::vector<uint8_t> three = toThreeBytes(frame);
                expectSameLabels(TrackingTest::viewOf(three, 640, 480, 3), threshold, what + " 3-byte");
            }
        }
    }
}

TEST(Labelling, OddSizesThresholdExtremesAndSpeckle) {
    std::mt19937 random(99);
    for (const auto& size : std::vector<std::pair<int, int>>{
             {1, 1}, {2, 2}, {3, 3}, {63, 5}, {64, 7}, {65, 9}, {130, 40}, {17, 200}}) {
        std::vector<uint8_t> frame(static_cast<size_t>(size.first) * size.second * 4);
        for (uint8_t& b : frame) {
            b = static_cast<uint8_t>(random());
        }
        for (int threshold : {-5, 0, 60, 128, 200, 255, 100000}) {
            expectSameLabels(TrackingTest::viewOf(frame, size.first, size.second), threshold,
                             std::to_string(size.first) + "x" + std::to_string(size.second) + " threshold " +
                                 std::to_string(threshold));
        }
    }
}

TEST(Labelling, DarknessIsTheSumOfTheFirstThreeBytesOnly) {
    TrackingTest::BinaryFrame frame(8, 8);
    std::vector<uint8_t> pixels = frame.pixels();
    auto pixel = [&](int x, int y) { return &pixels[(static_cast<size_t>(y) * 8 + x) * 4]; };
    // 100 + 100 + 100 = 3 * 100: dark; alpha is ignored.
    uint8_t* p = pixel(2, 2);
    p[0] = 100;
    p[1] = 100;
    p[2] = 100;
    p[3] = 0;
    p = pixel(5, 5);
    p[0] = 0;
    p[1] = 90;
    p[2] = 255;
    p = pixel(5, 2);
    p[0] = 101;
    p[1] = 100;
    p[2] = 100;
    Labelling labels;
    ASSERT_TRUE(labelImage(TrackingTest::viewOf(pixels, 8, 8), 100, &labels));
    EXPECT_TRUE(labels.dark(2, 2));
    EXPECT_FALSE(labels.dark(5, 2));
    EXPECT_FALSE(labels.dark(5, 5));
    ASSERT_TRUE(labelImage(TrackingTest::viewOf(pixels, 8, 8), 115, &labels));
    EXPECT_TRUE(labels.dark(5, 5));
    // The outermost rows and columns never count.
    TrackingTest::BinaryFrame black(8, 8);
    black.fill(0, 0, 8, 8, 0);
    ASSERT_TRUE(labelImage(black.view(), 100, &labels));
    EXPECT_EQ(1, labels.regionCount());
    EXPECT_EQ(36, labels.region(1).area);
    EXPECT_FALSE(labels.dark(0, 3));
    EXPECT_FALSE(labels.dark(7, 3));
    EXPECT_FALSE(labels.dark(3, 0));
    EXPECT_FALSE(labels.dark(3, 7));
}

TEST(Labelling, RefusesMoreThan32768ProvisionalLabels) {
    // Isolated dark pixels each open a label; so does the first pixel of a run whose upper
    // neighbours are all light, even when the run joins a region further right.
    for (int extra : {0, 1}) {
        TrackingTest::BinaryFrame frame;
        int made = 0;
        for (int y = 1; y < 479 && made < 32768 + extra; y += 2) {
            for (int x = 1; x < 639 && made < 32768 + extra; x += 2) {
                frame.set(x, y, 0);
                ++made;
            }
        }
        Labelling labels;
        EXPECT_EQ(extra == 0, labelImage(frame.view(), 100, &labels)) << extra;
        if (extra == 0) {
            EXPECT_EQ(32768, labels.regionCount());
            EXPECT_EQ(32768, labels.provisionalCount());
        }
        expectSameLabels(frame.view(), 100, "isolated pixels + " + std::to_string(extra));
    }
    // A comb: every tooth opens a label, and the bar below merges them into one region.
    TrackingTest::BinaryFrame comb;
    for (int x = 2; x < 600; x += 2) {
        comb.fill(x, 10, 1, 5, 0);
    }
    comb.fill(2, 15, 598, 1, 0);
    Labelling labels;
    ASSERT_TRUE(labelImage(comb.view(), 100, &labels));
    EXPECT_EQ(1, labels.regionCount());
    EXPECT_EQ(299, labels.provisionalCount());
}

// The local threshold reckoned pixel by pixel, as DetectorParameters describes it: per 16 x 16
// block the mean, darkest and lightest sum of bytes 0..2 over the blocks around it, the block's
// limit from them, and each pixel's limit between the centres of the blocks around it, down and
// across. The yardstick of the block statistics and limits gathered in registers.
std::vector<bool> referenceLocalDarkness(const FrameView& frame, const DetectorParameters& parameters) {
    const int block = Labelling::kBlock;
    const int columns = (frame.width + block - 1) / block;
    const int rows = (frame.height + block - 1) / block;
    auto value = [&](int x, int y) {
        const uint8_t* p = frame.at(x, y);
        return p[0] + p[1] + p[2];
    };
    std::vector<int> limits(static_cast<size_t>(columns) * rows);
    for (int by = 0; by < rows; ++by) {
        for (int bx = 0; bx < columns; ++bx) {
            long long sum = 0;
            long long pixels = 0;
            int darkest = 765;
            int lightest = 0;
            for (int y = std::max(0, (by - parameters.localReach) * block);
                 y < std::min(frame.height, (by + parameters.localReach + 1) * block); ++y) {
                for (int x = std::max(0, (bx - parameters.localReach) * block);
                     x < std::min(frame.width, (bx + parameters.localReach + 1) * block); ++x) {
                    sum += value(x, y);
                    ++pixels;
                    darkest = std::min(darkest, value(x, y));
                    lightest = std::max(lightest, value(x, y));
                }
            }
            const int mean = static_cast<int>(sum / pixels);
            int limit = std::min(mean - 3 * parameters.localMinimumDrop,
                                 mean - mean * parameters.localDropPercent / 100);
            if (lightest - darkest >= 3 * parameters.localMinimumContrast) {
                limit = std::min(limit, darkest + (lightest - darkest) * parameters.localInkPercent / 100);
            }
            limit = std::min(limit, lightest * parameters.localInkRatioPercent / 100);
            limits[static_cast<size_t>(by) * columns + bx] = limit;
        }
    }
    // The blocks around a position and the weight of the second, between their centres.
    auto around = [&](int position, int count, int* first, int* second, int* weight) {
        *first = std::clamp(position < 0 ? 0 : position / block, 0, count - 1);
        *second = std::min(*first + 1, count - 1);
        *weight = std::clamp(position - *first * block, 0, block);
    };
    std::vector<bool> dark(static_cast<size_t>(frame.width) * frame.height, false);
    for (int y = 1; y < frame.height - 1; ++y) {
        int upper, lower, down;
        around(y - block / 2, rows, &upper, &lower, &down);
        auto column = [&](int bx) {
            const int a = limits[static_cast<size_t>(upper) * columns + bx];
            const int b = limits[static_cast<size_t>(lower) * columns + bx];
            return (a * (block - down) + b * down) / block;
        };
        for (int x = 1; x < frame.width - 1; ++x) {
            int left, right, across;
            around(x - block / 2, columns, &left, &right, &across);
            // Across, a sixteenth of the way a column, rounded down.
            const int limit = (column(left) * (block - across) + column(right) * across) >> 4;
            dark[static_cast<size_t>(y) * frame.width + x] = value(x, y) <= limit;
        }
    }
    return dark;
}

TEST(Labelling, LocalThresholdEqualsThePixelByPixelReckoning) {
    std::mt19937 random(17);
    std::vector<std::pair<std::vector<uint8_t>, std::pair<int, int>>> frames;
    std::vector<uint8_t> rendered;
    for (unsigned seed : {3u, 8u, 13u}) {
        FrameSynth::render(randomScene(seed), &rendered, 4);
        frames.push_back({rendered, {640, 480}});
    }
    for (const auto& size :
         std::vector<std::pair<int, int>>{{17, 5}, {63, 40}, {65, 9}, {130, 47}, {33, 200}}) {
        std::vector<uint8_t> pixels(static_cast<size_t>(size.first) * size.second * 4);
        const int ground = static_cast<int>(random() % 256);
        for (uint8_t& b : pixels) {
            b = static_cast<uint8_t>(random() % 3 == 0 ? random() % 256 : ground);
        }
        frames.push_back({pixels, size});
    }
    DetectorParameters wide;
    wide.localReach = 2;
    for (const DetectorParameters& parameters : {DetectorParameters(), wide}) {
        for (const auto& [pixels, size] : frames) {
            for (int pixelSize : {4, 3}) {
                const std::vector<uint8_t> bytes = pixelSize == 4 ? pixels : toThreeBytes(pixels);
                const FrameView frame = TrackingTest::viewOf(bytes, size.first, size.second, pixelSize);
                Labelling labels;
                ASSERT_TRUE(labelImage(frame, 100, true, parameters, &labels));
                const std::vector<bool> expected = referenceLocalDarkness(frame, parameters);
                for (int y = 0; y < size.second; ++y) {
                    for (int x = 0; x < size.first; ++x) {
                        ASSERT_EQ(expected[static_cast<size_t>(y) * size.first + x], labels.dark(x, y))
                            << size.first << "x" << size.second << " pixel size " << pixelSize << " reach "
                            << parameters.localReach << " at " << x << "," << y;
                    }
                }
            }
        }
    }
}

// A region's part is labelled as the frame would be that holds the region's pixels at or below
// the level and nothing else, in the region's box widened by two pixels: compared so on frames of
// every kind, locally binarised, with 4 and 3 bytes a pixel (a part reaching past the 64th column
// of its box moves bits across words).
TEST(Labelling, ARegionsPartIsLabelledAsAFrameOfItsOwn) {
    std::vector<uint8_t> four;
    int compared = 0;
    for (unsigned seed = 1; seed <= 8; ++seed) {
        FrameSynth::render(randomScene(seed), &four, 4);
        const std::vector<uint8_t> three = toThreeBytes(four);
        for (int pixelSize : {4, 3}) {
            const FrameView frame = TrackingTest::viewOf(pixelSize == 4 ? four : three, 640, 480, pixelSize);
            Labelling whole;
            ASSERT_TRUE(labelImage(frame, 100, true, &whole));
            for (int region = 1; region <= whole.regionCount(); ++region) {
                const Region& r = whole.region(region);
                if (r.area < 200 || region % 3 != 0) {
                    continue;
                }
                const int level = 60 + static_cast<int>(region * 37 % 200);
                Labelling part;
                ASSERT_TRUE(labelRegionPart(frame, whole, region, level, &part));
                const int width = r.box[1] - r.box[0] + 5;
                const int height = r.box[3] - r.box[2] + 5;
                TrackingTest::BinaryFrame alone(width, height);
                for (int y = 0; y < height; ++y) {
                    for (int x = 0; x < width; ++x) {
                        const int fx = x + r.box[0] - 2;
                        const int fy = y + r.box[2] - 2;
                        if (whole.regionAt(fx, fy) == region) {
                            const uint8_t* p = frame.at(fx, fy);
                            if (p[0] + p[1] + p[2] <= level) {
                                alone.set(x, y, 0);
                            }
                        }
                    }
                }
                Labelling expected;
                ASSERT_TRUE(labelImage(alone.view(), 100, &expected));
                const std::string what = "seed " + std::to_string(seed) + " pixel size " +
                                         std::to_string(pixelSize) + " region " + std::to_string(region);
                ASSERT_EQ(expected.width(), part.width()) << what;
                ASSERT_EQ(expected.height(), part.height()) << what;
                ASSERT_EQ(expected.regionCount(), part.regionCount()) << what;
                for (int k = 1; k <= part.regionCount(); ++k) {
                    ASSERT_EQ(expected.region(k).area, part.region(k).area) << what;
                    ASSERT_EQ(expected.region(k).start[0], part.region(k).start[0]) << what;
                    ASSERT_EQ(expected.region(k).start[1], part.region(k).start[1]) << what;
                }
                for (int y = 0; y < height; ++y) {
                    for (int x = 0; x < width; ++x) {
                        ASSERT_EQ(expected.dark(x, y), part.dark(x, y)) << what << " at " << x << "," << y;
                    }
                }
                ++compared;
            }
        }
    }
    EXPECT_GT(compared, 30);
    // A region of another labelling, or of none, is refused.
    Labelling whole;
    ASSERT_TRUE(labelImage(TrackingTest::viewOf(four, 640, 480), 100, true, &whole));
    Labelling part;
    EXPECT_FALSE(labelRegionPart(TrackingTest::viewOf(four, 320, 480), whole, 1, 100, &part));
    EXPECT_FALSE(
        labelRegionPart(TrackingTest::viewOf(four, 640, 480), whole, whole.regionCount() + 1, 100, &part));
    EXPECT_FALSE(labelRegionPart(TrackingTest::viewOf(four, 640, 480), whole, 0, 100, &part));
}

} // namespace
