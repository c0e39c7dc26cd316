#include "tracking/labelling.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#include <xmmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define VELQUIN_TRACKING_AVX2 1
#endif

namespace Ostrevan {

namespace {

constexpr int kBlock = Labelling::kBlock;

int countTrailingZeros(uint64_t bits) {
    return __builtin_ctzll(bits);
}

#if VELQUIN_TRACKING_AVX2
// The sums of bytes 0..2 of eight 4-byte pixels, in 32-bit lanes.
__attribute__((target("avx2"), always_inline)) inline __m256i pixelSums8(const uint8_t* p) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    // 16-bit lanes per pixel: (b | g << 8), (r | a << 8).
    const __m256i br = _mm256_and_si256(v, _mm256_set1_epi16(0x00FF));
    const __m256i g = _mm256_and_si256(_mm256_srli_epi16(v, 8), _mm256_set1_epi32(0x0000FFFF));
    return _mm256_madd_epi16(_mm256_add_epi16(br, g), _mm256_set1_epi16(1));
}

// darkRow4's columns 32 pixels a step, two blocks at once, where the processor has AVX2 (nearly
// every x86-64 processor since 2013). Returns the columns done.
__attribute__((target("avx2"))) int darkRow4Avx2(const uint8_t* row, int width, const int16_t* limits,
                                                 uint64_t* words) {
    int x = 0;
    for (; x + 32 <= width; x += 32) {
        const uint8_t* p = row + static_cast<size_t>(x) * 4;
        _mm_prefetch(reinterpret_cast<const char*>(p) + 4096, _MM_HINT_T0);
        _mm_prefetch(reinterpret_cast<const char*>(p) + 4096 + 64, _MM_HINT_T0);
        // Packing works within 128-bit halves: the quarters are put back in pixel order.
        const __m256i s0 =
            _mm256_permute4x64_epi64(_mm256_packs_epi32(pixelSums8(p), pixelSums8(p + 32)), 0xD8);
        const __m256i s1 =
            _mm256_permute4x64_epi64(_mm256_packs_epi32(pixelSums8(p + 64), pixelSums8(p + 96)), 0xD8);
        const __m256i light0 =
            _mm256_cmpgt_epi16(s0, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(limits + x)));
        const __m256i light1 =
            _mm256_cmpgt_epi16(s1, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(limits + x + 16)));
        const __m256i light = _mm256_permute4x64_epi64(_mm256_packs_epi16(light0, light1), 0xD8);
        const uint64_t mask = static_cast<uint32_t>(~_mm256_movemask_epi8(light));
        words[x >> 6] |= mask << (x & 63);
    }
    return x;
}
#endif

// Dark bits of one row of 4-byte pixels, for columns [0, width). Bits past width stay clear.
// limits[x] is the largest dark sum of bytes 0..2 of the pixel in column x.
void darkRow4(const uint8_t* row, int width, const int16_t* limits, uint64_t* words) {
    int x = 0;
#if VELQUIN_TRACKING_AVX2
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2) {
        x = darkRow4Avx2(row, width, limits, words);
    }
#endif
#if defined(__SSE2__)
    // 16 pixels per step: per-pixel sums of bytes 0..2 in 32-bit lanes, compared in 16-bit lanes.
    const __m128i lowByte = _mm_set1_epi16(0x00FF);
    const __m128i keepG = _mm_set1_epi32(0x0000FFFF);
    const __m128i ones = _mm_set1_epi16(1);
    auto sums4 = [&](const uint8_t* p) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        // 16-bit lanes per pixel: (b | g << 8), (r | a << 8).
        const __m128i br = _mm_and_si128(v, lowByte);                 // b, r
        const __m128i g = _mm_and_si128(_mm_srli_epi16(v, 8), keepG); // g, 0
        return _mm_madd_epi16(_mm_add_epi16(br, g), ones);            // b + g + r
    };
    for (; x + 16 <= width; x += 16) {
        const __m128i bound0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(limits + x));
        const __m128i bound1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(limits + x + 8));
        const uint8_t* p = row + static_cast<size_t>(x) * 4;
        // The frame arrives from memory: ask for the data a row and a half ahead.
        _mm_prefetch(reinterpret_cast<const char*>(p) + 4096, _MM_HINT_T0);
        const __m128i s0 = _mm_packs_epi32(sums4(p), sums4(p + 16));
        const __m128i s1 = _mm_packs_epi32(sums4(p + 32), sums4(p + 48));
        // dark when sum <= limit, i.e. not (sum > limit)
        const __m128i light = _mm_packs_epi16(_mm_cmpgt_epi16(s0, bound0), _mm_cmpgt_epi16(s1, bound1));
        const uint64_t mask = static_cast<uint32_t>(~_mm_movemask_epi8(light)) & 0xFFFFu;
        words[x >> 6] |= mask << (x & 63);
    }
#endif
    for (; x < width; ++x) {
        const uint8_t* p = row + static_cast<size_t>(x) * 4;
        if (p[0] + p[1] + p[2] <= limits[x]) {
            words[x >> 6] |= uint64_t(1) << (x & 63);
        }
    }
}

// Same for 3-byte pixels.
void darkRow3(const uint8_t* row, int width, const int16_t* limits, uint64_t* words) {
    for (int x = 0; x < width; ++x) {
        const uint8_t* p = row + static_cast<size_t>(x) * 3;
        if (p[0] + p[1] + p[2] <= limits[x]) {
            words[x >> 6] |= uint64_t(1) << (x & 63);
        }
    }
}

// Sets bits [from, to] of a row of words.
void setBits(uint64_t* words, int from, int to) {
    for (int w = from >> 6; w <= to >> 6; ++w) {
        const int low = std::max(from, w * 64) - w * 64;
        const int high = std::min(to, w * 64 + 63) - w * 64;
        words[w] |= (~uint64_t(0) >> (63 - high)) & (~uint64_t(0) << low);
    }
}

// Column of the first set bit at or after `from`, or `end` when there is none.
int nextSet(const uint64_t* words, size_t count, int from, int end) {
    size_t w = static_cast<size_t>(from) >> 6;
    if (w >= count) {
        return end;
    }
    uint64_t bits = words[w] & (~uint64_t(0) << (from & 63));
    while (bits == 0) {
        if (++w == count) {
            return end;
        }
        bits = words[w];
    }
    return static_cast<int>(w * 64) + countTrailingZeros(bits);
}

// Column of the first clear bit at or after `from` (bits past the row end count as clear).
int nextClear(const uint64_t* words, size_t count, int from) {
    size_t w = static_cast<size_t>(from) >> 6;
    uint64_t bits = ~words[w] & (~uint64_t(0) << (from & 63));
    while (bits == 0) {
        if (++w == count) {
            return static_cast<int>(w * 64);
        }
        bits = ~words[w];
    }
    return static_cast<int>(w * 64) + countTrailingZeros(bits);
}

#if defined(__SSE2__)
// Folds a block's sums, darkest and lightest, gathered in the 16-bit lanes of a register, into
// the block's entries.
void foldBlock(__m128i total, __m128i low, __m128i high, int64_t* sum, int16_t* darkest, int16_t* lightest) {
    __m128i wide = _mm_madd_epi16(total, _mm_set1_epi16(1));
    wide = _mm_add_epi32(wide, _mm_srli_si128(wide, 8));
    wide = _mm_add_epi32(wide, _mm_srli_si128(wide, 4));
    low = _mm_min_epi16(low, _mm_srli_si128(low, 8));
    high = _mm_max_epi16(high, _mm_srli_si128(high, 8));
    low = _mm_min_epi16(low, _mm_srli_si128(low, 4));
    high = _mm_max_epi16(high, _mm_srli_si128(high, 4));
    low = _mm_min_epi16(low, _mm_srli_si128(low, 2));
    high = _mm_max_epi16(high, _mm_srli_si128(high, 2));
    *sum += _mm_cvtsi128_si32(wide);
    *darkest = static_cast<int16_t>(std::min<int>(*darkest, static_cast<int16_t>(_mm_cvtsi128_si32(low))));
    *lightest = static_cast<int16_t>(std::max<int>(*lightest, static_cast<int16_t>(_mm_cvtsi128_si32(high))));
}
#endif

#if VELQUIN_TRACKING_AVX2
// addBlockRowSums4 two blocks at once, where the processor has AVX2. Returns the columns done.
__attribute__((target("avx2"))) int addBlockRowSums4Avx2(const FrameView& frame, int top, int rows,
                                                         int64_t* sums, int16_t* darkest, int16_t* lightest) {
    int x = 0;
    for (; x + 2 * kBlock <= frame.width; x += 2 * kBlock) {
        // 16-bit lanes, each block's sixteen pixels of a row in one register (in packing's
        // order, which sums, minima and maxima do not mind).
        __m256i total[2] = {_mm256_setzero_si256(), _mm256_setzero_si256()};
        __m256i low[2] = {_mm256_set1_epi16(765), _mm256_set1_epi16(765)};
        __m256i high[2] = {_mm256_setzero_si256(), _mm256_setzero_si256()};
        for (int y = top; y < top + rows; ++y) {
            const uint8_t* p = frame.at(x, y);
            for (int k = 0; k < 2; ++k) {
                const uint8_t* q = p + 64 * k;
                const __m256i s = _mm256_packs_epi32(pixelSums8(q), pixelSums8(q + 32));
                total[k] = _mm256_add_epi16(total[k], s);
                low[k] = _mm256_min_epi16(low[k], s);
                high[k] = _mm256_max_epi16(high[k], s);
            }
        }
        for (int k = 0; k < 2; ++k) {
            const int block = x / kBlock + k;
            foldBlock(_mm_add_epi16(_mm256_castsi256_si128(total[k]), _mm256_extracti128_si256(total[k], 1)),
                      _mm_min_epi16(_mm256_castsi256_si128(low[k]), _mm256_extracti128_si256(low[k], 1)),
                      _mm_max_epi16(_mm256_castsi256_si128(high[k]), _mm256_extracti128_si256(high[k], 1)),
                      &sums[block], &darkest[block], &lightest[block]);
        }
    }
    return x;
}
#endif

// The sums of bytes 0..2 of the pixels of one row of 16 x 16 blocks (`rows` rows from `top`,
// 4-byte pixels) added to their blocks' sums, and their blocks' darkest and lightest sums
// lowered and raised. A block is gathered in registers over all its rows and folded once.
void addBlockRowSums4(const FrameView& frame, int top, int rows, int64_t* sums, int16_t* darkest,
                      int16_t* lightest) {
    const int width = frame.width;
    int x = 0;
#if VELQUIN_TRACKING_AVX2
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2) {
        x = addBlockRowSums4Avx2(frame, top, rows, sums, darkest, lightest);
    }
#endif
#if defined(__SSE2__)
    const __m128i lowByte = _mm_set1_epi16(0x00FF);
    const __m128i keepG = _mm_set1_epi32(0x0000FFFF);
    const __m128i ones = _mm_set1_epi16(1);
    auto sums4 = [&](const uint8_t* p) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i br = _mm_and_si128(v, lowByte);
        const __m128i g = _mm_and_si128(_mm_srli_epi16(v, 8), keepG);
        return _mm_madd_epi16(_mm_add_epi16(br, g), ones);
    };
    for (; x + kBlock <= width; x += kBlock) {
        // 16-bit lanes: a block row of 16 rows adds at most 2 x 16 x 765 per lane.
        __m128i total = _mm_setzero_si128();
        __m128i low = _mm_set1_epi16(765);
        __m128i high = _mm_setzero_si128();
        for (int y = top; y < top + rows; ++y) {
            const uint8_t* p = frame.at(x, y);
            const __m128i s0 = _mm_packs_epi32(sums4(p), sums4(p + 16));
            const __m128i s1 = _mm_packs_epi32(sums4(p + 32), sums4(p + 48));
            total = _mm_add_epi16(total, _mm_add_epi16(s0, s1));
            low = _mm_min_epi16(low, _mm_min_epi16(s0, s1));
            high = _mm_max_epi16(high, _mm_max_epi16(s0, s1));
        }
        const int b = x / kBlock;
        foldBlock(total, low, high, &sums[b], &darkest[b], &lightest[b]);
    }
#endif
    for (int y = top; y < top + rows; ++y) {
        for (int column = x; column < width; ++column) {
            const uint8_t* p = frame.at(column, y);
            const int value = p[0] + p[1] + p[2];
            const int b = column / kBlock;
            sums[b] += value;
            darkest[b] = static_cast<int16_t>(std::min<int>(darkest[b], value));
            lightest[b] = static_cast<int16_t>(std::max<int>(lightest[b], value));
        }
    }
}

void addBlockSums3(const uint8_t* row, int width, int64_t* sums, int16_t* darkest, int16_t* lightest) {
    for (int x = 0; x < width; ++x) {
        const uint8_t* p = row + static_cast<size_t>(x) * 3;
        const int value = p[0] + p[1] + p[2];
        sums[x / kBlock] += value;
        int16_t& d = darkest[x / kBlock];
        int16_t& l = lightest[x / kBlock];
        d = static_cast<int16_t>(std::min<int>(d, value));
        l = static_cast<int16_t>(std::max<int>(l, value));
    }
}

} // namespace

void Labelling::localLimits(const FrameView& frame, const DetectorParameters& parameters) {
    const int columns = (frame.width + kBlock - 1) / kBlock;
    const int rows = (frame.height + kBlock - 1) / kBlock;
    const size_t blocks = static_cast<size_t>(columns) * rows;
    blockSums_.assign(blocks, 0);
    blockDarkest_.assign(blocks, 765);
    blockLightest_.assign(blocks, 0);
    for (int by = 0; by < rows; ++by) {
        const size_t first = static_cast<size_t>(by) * columns;
        const int top = by * kBlock;
        const int height = std::min(kBlock, frame.height - top);
        if (frame.pixelSize == 4) {
            addBlockRowSums4(frame, top, height, &blockSums_[first], &blockDarkest_[first],
                             &blockLightest_[first]);
        } else {
            for (int y = top; y < top + height; ++y) {
                addBlockSums3(frame.at(0, y), frame.width, &blockSums_[first], &blockDarkest_[first],
                              &blockLightest_[first]);
            }
        }
    }
    // The mean over the blocks around each block, and from it the block's limit: a pixel is dark
    // when clearly darker than its surroundings. Where the surroundings hold ink and paper, it
    // must also be darker than the middle between the two, which keeps shaded paper light; and
    // never as light as a grey surface beside white paper.
    const int reach = std::max(0, parameters.localReach);
    const int minimumDrop = 3 * std::max(0, parameters.localMinimumDrop);
    const int dropPercent = std::clamp(parameters.localDropPercent, 0, 100);
    const int minimumContrast = 3 * std::max(0, parameters.localMinimumContrast);
    const int inkPercent = std::clamp(parameters.localInkPercent, 0, 100);
    const int inkRatio = std::clamp(parameters.localInkRatioPercent, 0, 100);
    blockLimits_.assign(blocks, 0);
    for (int by = 0; by < rows; ++by) {
        for (int bx = 0; bx < columns; ++bx) {
            int64_t sum = 0;
            int64_t pixels = 0;
            int darkest = 765;
            int lightest = 0;
            for (int y = std::max(0, by - reach); y <= std::min(rows - 1, by + reach); ++y) {
                const int blockHeight = std::min(kBlock, frame.height - y * kBlock);
                for (int x = std::max(0, bx - reach); x <= std::min(columns - 1, bx + reach); ++x) {
                    const size_t b = static_cast<size_t>(y) * columns + x;
                    sum += blockSums_[b];
                    pixels += static_cast<int64_t>(blockHeight) * std::min(kBlock, frame.width - x * kBlock);
                    darkest = std::min<int>(darkest, blockDarkest_[b]);
                    lightest = std::max<int>(lightest, blockLightest_[b]);
                }
            }
            const int mean = static_cast<int>(sum / std::max<int64_t>(1, pixels));
            int limit = std::min(mean - minimumDrop, mean - mean * dropPercent / 100);
            if (lightest - darkest >= minimumContrast) {
                limit = std::min(limit, darkest + (lightest - darkest) * inkPercent / 100);
            }
            limit = std::min(limit, lightest * inkRatio / 100);
            blockLimits_[static_cast<size_t>(by) * columns + bx] = limit;
        }
    }
}

void Labelling::rowLimits(int y, int width, int16_t* limits) {
    const int columns = (width + kBlock - 1) / kBlock;
    const int rows = static_cast<int>(blockLimits_.size()) / std::max(1, columns);
    // Between the centres of the blocks around the pixel, linearly down and across: a limit that
    // steps from block to block would cut a soft shadow's edge into a row of dark specks.
    const int position = y - kBlock / 2;
    const int upper = std::clamp(position < 0 ? 0 : position / kBlock, 0, rows - 1);
    const int lower = std::min(upper + 1, rows - 1);
    const int down = std::clamp(position - upper * kBlock, 0, kBlock);
    const int* a = &blockLimits_[static_cast<size_t>(upper) * columns];
    const int* b = &blockLimits_[static_cast<size_t>(lower) * columns];
    columnLimits_.resize(static_cast<size_t>(columns));
    for (int bx = 0; bx < columns; ++bx) {
        columnLimits_[bx] = (a[bx] * (kBlock - down) + b[bx] * down) / kBlock;
    }
    // Left of the first block's centre its limit; from each centre to the next, a sixteenth of
    // the way a column (rounded down); right of the last centre the last limit.
    int x = 0;
    for (; x < std::min(width, kBlock / 2); ++x) {
        limits[x] = static_cast<int16_t>(columnLimits_[0]);
    }
    for (int left = 0; x < width; ++left) {
        const int from = columnLimits_[std::min(left, columns - 1)];
        const int to = columnLimits_[std::min(left + 1, columns - 1)];
        int across = 0;
#if defined(__SSE2__)
        if (x + kBlock <= width) {
            // |limit| <= 765: sixteen times it still fits 16 bits.
            const __m128i f = _mm_set1_epi16(static_cast<int16_t>(from));
            const __m128i t = _mm_set1_epi16(static_cast<int16_t>(to));
            const __m128i ramp0 = _mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7);
            const __m128i ramp1 = _mm_setr_epi16(8, 9, 10, 11, 12, 13, 14, 15);
            const __m128i sixteen = _mm_set1_epi16(kBlock);
            const __m128i low = _mm_srai_epi16(
                _mm_add_epi16(_mm_mullo_epi16(f, _mm_sub_epi16(sixteen, ramp0)), _mm_mullo_epi16(t, ramp0)),
                4);
            const __m128i high = _mm_srai_epi16(
                _mm_add_epi16(_mm_mullo_epi16(f, _mm_sub_epi16(sixteen, ramp1)), _mm_mullo_epi16(t, ramp1)),
                4);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(limits + x), low);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(limits + x + 8), high);
            x += kBlock;
            continue;
        }
#endif
        for (const int end = std::min(width, x + kBlock); x < end; ++x, ++across) {
            limits[x] = static_cast<int16_t>((from * (kBlock - across) + to * across) >> 4);
        }
    }
}

void Labelling::resize(int width, int height) {
    width_ = width;
    height_ = height;
    words_ = (static_cast<size_t>(width) + 63) / 64;
    bits_.assign(words_ * height, 0);
    rowRuns_.assign(static_cast<size_t>(height) + 1, 0);
    if (parent_.size() < kMaxProvisionalLabels + 1) {
        parent_.resize(kMaxProvisionalLabels + 1);
        final_.resize(kMaxProvisionalLabels + 1);
        stats_.resize(kMaxProvisionalLabels + 1);
    }
}

int Labelling::find(int label) {
    while (parent_[label] != label) {
        parent_[label] = parent_[parent_[label]];
        label = parent_[label];
    }
    return label;
}

int Labelling::regionAt(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) {
        return 0;
    }
    const Run* begin = runs_.data() + rowRuns_[y];
    const Run* end = runs_.data() + rowRuns_[y + 1];
    const Run* run = std::upper_bound(begin, end, x, [](int value, const Run& r) { return value < r.x0; });
    if (run == begin || (run - 1)->x1 < x) {
        return 0;
    }
    return final_[(run - 1)->label];
}

bool labelImage(const FrameView& frame, int threshold, Labelling* labels) {
    return labelImage(frame, threshold, false, labels);
}

bool labelImage(const FrameView& frame, int threshold, bool local, Labelling* labels) {
    return labelImage(frame, threshold, local, DetectorParameters(), labels);
}

bool labelImage(const FrameView& frame, int threshold, bool local, const DetectorParameters& parameters,
                Labelling* labels) {
    if (!frame.valid() || labels == nullptr) {
        return false;
    }
    Labelling& l = *labels;
    // Sums of three bytes lie in 0..765: clamping keeps 3 * threshold exact and in range.
    const int limit = 3 * std::min(std::max(threshold, -1), 255);
    l.limits_.assign(static_cast<size_t>(frame.width), static_cast<int16_t>(limit));
    if (local) {
        l.localLimits(frame, parameters);
    }
    return l.labelRows(frame.width, frame.height, [&](int y, uint64_t* row) {
        const uint8_t* pixels = frame.at(0, y);
        if (local) {
            l.rowLimits(y, frame.width, l.limits_.data());
        }
        if (frame.pixelSize == 4) {
            darkRow4(pixels, frame.width, l.limits_.data(), row);
        } else {
            darkRow3(pixels, frame.width, l.limits_.data(), row);
        }
    });
}

bool labelRegionPart(const FrameView& frame, const Labelling& whole, int region, int level, Labelling* part) {
    if (!frame.valid() || part == nullptr || region < 1 || region > whole.regionCount() ||
        frame.width != whole.width() || frame.height != whole.height()) {
        return false;
    }
    const Region& r = whole.region(region);
    const int top = r.box[2] - 2;
    const int span = r.box[1] - r.box[0] + 1;
    const size_t spanWords = (static_cast<size_t>(span) + 63) / 64;
    const size_t partWords = (static_cast<size_t>(span) + 4 + 63) / 64;
    // Per row: the pixels at or below the level across the box, a word at a time, kept where
    // the region's own runs lie, moved two columns right into the part.
    part->limits_.assign(static_cast<size_t>(span), static_cast<int16_t>(std::clamp(level, -1, 765)));
    part->scratch_.resize(2 * spanWords);
    uint64_t* dark = part->scratch_.data();
    uint64_t* inside = dark + spanWords;
    return part->labelRows(span + 4, r.box[3] - r.box[2] + 5, [&](int y, uint64_t* row) {
        const int frameY = y + top;
        if (frameY < r.box[2] || frameY > r.box[3]) {
            return;
        }
        std::fill(inside, inside + spanWords, 0);
        for (int32_t k = whole.rowRuns_[frameY]; k < whole.rowRuns_[frameY + 1]; ++k) {
            const Labelling::Run& run = whole.runs_[k];
            if (whole.final_[run.label] == region) {
                setBits(inside, run.x0 - r.box[0], run.x1 - r.box[0]);
            }
        }
        std::fill(dark, dark + spanWords, 0);
        if (frame.pixelSize == 4) {
            darkRow4(frame.at(r.box[0], frameY), span, part->limits_.data(), dark);
        } else {
            darkRow3(frame.at(r.box[0], frameY), span, part->limits_.data(), dark);
        }
        uint64_t carry = 0;
        for (size_t w = 0; w < spanWords; ++w) {
            const uint64_t bits = dark[w] & inside[w];
            row[w] |= (bits << 2) | carry;
            carry = bits >> 62;
        }
        if (spanWords < partWords) {
            row[spanWords] |= carry;
        }
    });
}

template <typename DarkBits> bool Labelling::labelRows(int width, int height, DarkBits darkBits) {
    Labelling& l = *this;
    if (width != l.width_ || height != l.height_) {
        l.resize(width, height);
    } else {
        std::fill(l.bits_.begin(), l.bits_.end(), 0);
    }
    l.runs_.clear();
    l.regions_.assign(1, Region());
    l.provisionalCount_ = 0;

    const size_t words = l.words_;
    // Columns 0 and width - 1 are never dark.
    const uint64_t lastColumnBit = uint64_t(1) << ((width - 1) & 63);
    const size_t lastColumnWord = static_cast<size_t>(width - 1) >> 6;

    int32_t previousBegin = 0;
    int32_t previousEnd = 0;
    l.rowRuns_[0] = 0;
    l.rowRuns_[1] = 0;
    for (int y = 1; y < height - 1; ++y) {
        uint64_t* row = l.bits_.data() + static_cast<size_t>(y) * words;
        darkBits(y, row);
        row[0] &= ~uint64_t(1);
        row[lastColumnWord] &= ~lastColumnBit;
        const int32_t begin = static_cast<int32_t>(l.runs_.size());
        int32_t above = previousBegin;
        int x = nextSet(row, words, 1, width);
        while (x < width) {
            const int x0 = x;
            const int x1 = nextClear(row, words, x0) - 1;
            // Skip runs above that end left of this run's reach.
            while (above < previousEnd && l.runs_[above].x1 < x0 - 1) {
                ++above;
            }
            int label;
            if (above < previousEnd && l.runs_[above].x0 <= x0 + 1) {
                // The run's first pixel has a labelled neighbour above: it takes that label.
                label = l.runs_[above].label;
            } else {
                if (l.provisionalCount_ == kMaxProvisionalLabels) {
                    return false;
                }
                label = ++l.provisionalCount_;
                l.parent_[label] = label;
                Labelling::LabelStats& s = l.stats_[label];
                s.count = 0;
                s.sumX = 0;
                s.sumY = 0;
                s.minX = x0;
                s.maxX = x1;
                s.minY = y;
                s.maxY = y;
                s.startX = x0;
            }
            // Every run above within reach joins the same region.
            for (int32_t k = above; k < previousEnd && l.runs_[k].x0 <= x1 + 1; ++k) {
                const int a = l.find(label);
                const int b = l.find(l.runs_[k].label);
                if (a < b) {
                    l.parent_[b] = a;
                } else if (b < a) {
                    l.parent_[a] = b;
                }
            }
            Labelling::LabelStats& s = l.stats_[label];
            const int64_t length = x1 - x0 + 1;
            s.count += length;
            s.sumX += (static_cast<int64_t>(x0) + x1) * length / 2;
            s.sumY += static_cast<int64_t>(y) * length;
            s.minX = std::min(s.minX, x0);
            s.maxX = std::max(s.maxX, x1);
            s.maxY = y;
            l.runs_.push_back({x0, x1, label});
            x = nextSet(row, words, x1 + 1, width);
        }
        previousBegin = begin;
        previousEnd = static_cast<int32_t>(l.runs_.size());
        l.rowRuns_[y + 1] = previousEnd;
    }
    for (int y = std::max(height - 1, 1); y <= height; ++y) {
        l.rowRuns_[y] = static_cast<int32_t>(l.runs_.size());
    }

    // Final numbering in the order of each region's first (smallest) provisional label.
    int regionCount = 0;
    for (int label = 1; label <= l.provisionalCount_; ++label) {
        const int root = l.find(label);
        l.final_[label] = root == label ? ++regionCount : l.final_[root];
    }
    l.final_[0] = 0;
    l.regions_.assign(static_cast<size_t>(regionCount) + 1, Region());
    l.sums_.assign(static_cast<size_t>(regionCount) + 1, Labelling::RegionSums{0, 0, 0});
    for (int label = 1; label <= l.provisionalCount_; ++label) {
        const int number = l.final_[label];
        Region& region = l.regions_[number];
        Labelling::RegionSums& sums = l.sums_[number];
        const Labelling::LabelStats& s = l.stats_[label];
        if (sums.count == 0) {
            // The smallest provisional label of a region comes first and was opened at its
            // first pixel.
            region.box[0] = s.minX;
            region.box[1] = s.maxX;
            region.box[2] = s.minY;
            region.box[3] = s.maxY;
            region.start[0] = s.startX;
            region.start[1] = s.minY;
        } else {
            region.box[0] = std::min(region.box[0], s.minX);
            region.box[1] = std::max(region.box[1], s.maxX);
            region.box[2] = std::min(region.box[2], s.minY);
            region.box[3] = std::max(region.box[3], s.maxY);
        }
        sums.count += s.count;
        sums.sumX += s.sumX;
        sums.sumY += s.sumY;
    }
    for (int number = 1; number <= regionCount; ++number) {
        Region& region = l.regions_[number];
        const Labelling::RegionSums& sums = l.sums_[number];
        region.area = static_cast<int32_t>(sums.count);
        region.centre[0] = static_cast<double>(sums.sumX) / static_cast<double>(sums.count);
        region.centre[1] = static_cast<double>(sums.sumY) / static_cast<double>(sums.count);
    }
    return true;
}

} // namespace Ostrevan
