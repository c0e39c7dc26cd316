#include "tracking/pattern.h"

#include "tracking/texts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Ostrevan {

namespace {

constexpr int kSampledGrid = 32; // most grid points per side that samplePattern reads

// Reads the next value the way "%d" does (leading white space, an optional sign, digits), and
// refuses a value outside 0..255 instead of overflowing on long digit strings.
bool readValue(std::FILE* file, int* value) {
    int c;
    do {
        c = std::getc(file);
    } while (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f');
    bool negative = false;
    if (c == '+' || c == '-') {
        negative = c == '-';
        c = std::getc(file);
    }
    if (c < '0' || c > '9') {
        return false;
    }
    int result = 0;
    while (c >= '0' && c <= '9') {
        result = result * 10 + (c - '0');
        if (result > 255) {
            return false;
        }
        c = std::getc(file);
    }
    if (c != EOF) {
        std::ungetc(c, file);
    }
    if (negative && result != 0) {
        return false;
    }
    *value = result;
    return true;
}

bool readPattern(std::FILE* file, PatternSlot* slot) {
    for (int orientation = 0; orientation < 4; ++orientation) {
        int32_t* colour = slot->colour[orientation];
        int32_t* grey = slot->grey[orientation];
        int sum = 0;
        for (int plane = 0; plane < 3; ++plane) {
            for (int cell = 0; cell < kPatternSize * kPatternSize; ++cell) {
                int value;
                if (!readValue(file, &value)) {
                    return false;
                }
                const int e = 255 - value;
                colour[cell * 3 + plane] = e;
                sum += e;
                if (plane == 0) {
                    grey[cell] = e;
                } else if (plane == 1) {
                    grey[cell] += e;
                } else {
                    grey[cell] = (grey[cell] + e) / 3;
                }
            }
        }
        const int mean = sum / kPatternValues;
        double colourPower = 0.0;
        for (int i = 0; i < kPatternValues; ++i) {
            colour[i] -= mean;
            colourPower += static_cast<double>(colour[i]) * colour[i];
        }
        double greyPower = 0.0;
        for (int i = 0; i < kPatternSize * kPatternSize; ++i) {
            grey[i] -= mean;
            greyPower += static_cast<double>(grey[i]) * grey[i];
        }
        slot->colourNorm[orientation] = colourPower == 0.0 ? 0.0000001 : std::sqrt(colourPower);
        slot->greyNorm[orientation] = greyPower == 0.0 ? 0.0000001 : std::sqrt(greyPower);
    }
    return true;
}

// Solves a * x = b for 8 unknowns by elimination with partial pivoting. False when singular.
bool solve8(double a[8][9], double x[8]) {
    double scale = 0.0;
    for (int r = 0; r < 8; ++r) {
        for (int c = 0; c < 8; ++c) {
            scale = std::fmax(scale, std::fabs(a[r][c]));
        }
    }
    if (!(scale > 0.0)) {
        return false;
    }
    for (int col = 0; col < 8; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 8; ++r) {
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) {
                pivot = r;
            }
        }
        if (!(std::fabs(a[pivot][col]) > scale * 1e-12)) {
            return false;
        }
        if (pivot != col) {
            for (int c = 0; c < 9; ++c) {
                std::swap(a[col][c], a[pivot][c]);
            }
        }
        for (int r = col + 1; r < 8; ++r) {
            const double f = a[r][col] / a[col][col];
            for (int c = col; c < 9; ++c) {
                a[r][c] -= f * a[col][c];
            }
        }
    }
    for (int r = 7; r >= 0; --r) {
        double v = a[r][8];
        for (int c = r + 1; c < 8; ++c) {
            v -= a[r][c] * x[c];
        }
        x[r] = v / a[r][r];
    }
    return true;
}

// Truncated squared distance, kept in a range where the conversion is defined.
long long squaredLength(const double a[2], const double b[2]) {
    const double dx = b[0] - a[0];
    const double dy = b[1] - a[1];
    const double d = dx * dx + dy * dy;
    if (!(d >= 0.0)) {
        return 0;
    }
    return d > 1e15 ? 1000000000000000LL : static_cast<long long>(d);
}

int gridSize(long long b) {
    int n = 16;
    if (b > 256) {
        while (static_cast<long long>(n) * n < b && n < 64) {
            n *= 2;
        }
    }
    return n;
}

} // namespace

PatternTable::PatternTable() : slots_(std::make_unique<PatternSlot[]>(kPatternSlots)) {}

int PatternTable::load(const char* fileName) {
    int slot = 0;
    while (slot < kPatternSlots && used_[slot]) {
        ++slot;
    }
    if (slot == kPatternSlots) {
        return -1;
    }
    std::FILE* file = fileName != nullptr ? std::fopen(fileName, "r") : nullptr;
    if (file == nullptr) {
        std::printf(Texts::patternNotFound, fileName != nullptr ? fileName : "");
        return -1;
    }
    // Read into a scratch record so that a failed load leaves the slot as it was.
    auto scratch = std::make_unique<PatternSlot>();
    const bool read = readPattern(file, scratch.get());
    std::fclose(file);
    if (!read) {
        std::printf("%s", Texts::patternReadError);
        return -1;
    }
    slots_[slot] = *scratch;
    used_[slot] = true;
    ++count_;
    return slot;
}

int PatternTable::free(int slot) {
    if (slot < 0 || slot >= kPatternSlots || !used_[slot]) {
        return -1;
    }
    used_[slot] = false;
    --count_;
    return 1;
}

const PatternSlot* PatternTable::slot(int slot) const {
    if (slot < 0 || slot >= kPatternSlots || !used_[slot]) {
        return nullptr;
    }
    return &slots_[slot];
}

void samplingGrid(const double corners[4][2], int* columns, int* rows) {
    const long long l01 = squaredLength(corners[0], corners[1]);
    const long long l23 = squaredLength(corners[2], corners[3]);
    const long long l12 = squaredLength(corners[1], corners[2]);
    const long long l30 = squaredLength(corners[3], corners[0]);
    *columns = gridSize((l01 > l23 ? l01 : l23) / 4);
    *rows = gridSize((l12 > l30 ? l12 : l30) / 4);
}

bool samplePattern(const FrameView& frame, const double corners[4][2], SampledPattern* sample) {
    if (!frame.valid() || sample == nullptr) {
        return false;
    }
    // The local square (100,100)-(110,110) mapped onto the corners.
    static const double local[4][2] = {{100.0, 100.0}, {110.0, 100.0}, {110.0, 110.0}, {100.0, 110.0}};
    double a[8][9];
    for (int i = 0; i < 4; ++i) {
        const double X = local[i][0];
        const double Y = local[i][1];
        const double x = corners[i][0];
        const double y = corners[i][1];
        const double rowX[9] = {X, Y, 1.0, 0.0, 0.0, 0.0, -x * X, -x * Y, x};
        const double rowY[9] = {0.0, 0.0, 0.0, X, Y, 1.0, -y * X, -y * Y, y};
        std::memcpy(a[2 * i], rowX, sizeof rowX);
        std::memcpy(a[2 * i + 1], rowY, sizeof rowY);
    }
    double h[8];
    if (!solve8(a, h)) {
        return false;
    }

    int nx;
    int ny;
    samplingGrid(corners, &nx, &ny);
    // Four points per cell identify a marker as well as sixteen, in a quarter of the time.
    nx = std::min(nx, kSampledGrid);
    ny = std::min(ny, kSampledGrid);
    const int cellColumns = nx / kPatternSize;
    const int cellRows = ny / kPatternSize;
    // Grid sizes are 16, 32 or 64: cells are 1, 2 or 4 grid points wide.
    const int columnShift = cellColumns == 1 ? 0 : cellColumns == 2 ? 1 : 2;
    const int rowShift = cellRows == 1 ? 0 : cellRows == 2 ? 1 : 2;
    uint32_t sums[kPatternSize][kPatternSize][3] = {};
    const bool smooth = cellColumns == 1 && cellRows == 1;
    const double width = frame.width;
    const double height = frame.height;
    // The products with X depend on the column only: computed once, they are the same values
    // the full expression (h0 X + h1 Y) + h2 would form point by point.
    double h0X[64];
    double h3X[64];
    double h6X[64];
    for (int j = 0; j < nx; ++j) {
        const double X = 102.5 + 5.0 * (j + 0.5) / nx;
        h0X[j] = h[0] * X;
        h3X[j] = h[3] * X;
        h6X[j] = h[6] * X;
    }
    for (int i = 0; i < ny; ++i) {
        const double Y = 102.5 + 5.0 * (i + 0.5) / ny;
        const double h1Y = h[1] * Y;
        const double h4Y = h[4] * Y;
        const double h7Y = h[7] * Y;
        uint32_t(*sumRow)[3] = sums[i >> rowShift];
        for (int j = 0; j < nx; ++j) {
            const double d = h6X[j] + h7Y + 1.0;
            if (d == 0.0) {
                return false;
            }
            double xf;
            double yf;
#if defined(__SSE2__)
            // Both quotients in one instruction; each lane is the same IEEE division.
            const __m128d quotients =
                _mm_div_pd(_mm_set_pd(h3X[j] + h4Y + h[5], h0X[j] + h1Y + h[2]), _mm_set1_pd(d));
            xf = _mm_cvtsd_f64(quotients);
            yf = _mm_cvtsd_f64(_mm_unpackhi_pd(quotients, quotients));
#else
            xf = (h0X[j] + h1Y + h[2]) / d;
            yf = (h3X[j] + h4Y + h[5]) / d;
#endif
            if (smooth) {
                // One grid point per cell: the picture between the four pixels around the point
                // (pixel centres at whole coordinates), so that a marker of a few pixels is read
                // where its cells lie rather than at the nearest pixel.
                if (xf >= 0.0 && xf < width - 1 && yf >= 0.0 && yf < height - 1) {
                    const int ix = static_cast<int>(xf);
                    const int iy = static_cast<int>(yf);
                    const double fx = xf - ix;
                    const double fy = yf - iy;
                    const uint8_t* a = frame.at(ix, iy);
                    const uint8_t* b = a + frame.pixelSize;
                    const uint8_t* c = frame.at(ix, iy + 1);
                    const uint8_t* e = c + frame.pixelSize;
                    uint32_t* cell = sumRow[j];
                    for (int k = 0; k < 3; ++k) {
                        const double top = a[k] + (b[k] - a[k]) * fx;
                        const double bottom = c[k] + (e[k] - c[k]) * fx;
                        cell[k] += static_cast<uint32_t>(top + (bottom - top) * fy + 0.5);
                    }
                }
                continue;
            }
            // Truncation toward zero: anything above -1 lands on a column >= 0.
            if (xf > -1.0 && xf < width && yf > -1.0 && yf < height) {
                const uint8_t* pixel = frame.at(static_cast<int>(xf), static_cast<int>(yf));
                uint32_t* cell = sumRow[j >> columnShift];
                cell[0] += pixel[0];
                cell[1] += pixel[1];
                cell[2] += pixel[2];
            }
        }
    }
    const uint32_t perCell = static_cast<uint32_t>(cellColumns * cellRows);
    for (int r = 0; r < kPatternSize; ++r) {
        for (int c = 0; c < kPatternSize; ++c) {
            for (int k = 0; k < 3; ++k) {
                sample->cells[r][c][k] = static_cast<uint8_t>(sums[r][c][k] / perCell);
            }
        }
    }
    return true;
}

void PatternTable::match(const SampledPattern& sample, int* id, int* direction, double* confidence) const {
    const uint8_t* bytes = &sample.cells[0][0][0];
    int sum = 0;
    for (int i = 0; i < kPatternValues; ++i) {
        sum += 255 - bytes[i];
    }
    const int mean = sum / kPatternValues;
    int32_t input[kPatternValues];
    double power = 0.0;
    for (int i = 0; i < kPatternValues; ++i) {
        input[i] = 255 - bytes[i] - mean;
        power += static_cast<double>(input[i]) * input[i];
    }
    power = std::sqrt(power);
    if (power == 0.0) {
        *id = 0;
        *direction = 0;
        *confidence = -1.0;
        return;
    }
    int bestId = -1;
    int bestDirection = -1;
    double best = 0.0;
    for (int slot = 0; slot < kPatternSlots; ++slot) {
        if (!used_[slot]) {
            continue;
        }
        const PatternSlot& pattern = slots_[slot];
        for (int orientation = 0; orientation < 4; ++orientation) {
            // |input| and |colour| stay below 256, so 768 products fit in 32 bits.
            const int32_t* colour = pattern.colour[orientation];
            int32_t dot = 0;
            for (int i = 0; i < kPatternValues; ++i) {
                dot += input[i] * colour[i];
            }
            const double c = static_cast<double>(dot) / pattern.colourNorm[orientation] / power;
            if (c > best) {
                best = c;
                bestId = slot;
                bestDirection = orientation;
            }
        }
    }
    *id = bestId;
    *direction = bestDirection;
    *confidence = best;
}

bool patternOfPicture(const uint8_t* texels, int width, int height, SampledPattern* pattern) {
    if (texels == nullptr || width <= 0 || height <= 0) {
        return false;
    }
    constexpr int kGrid = 64;
    constexpr int kPerCell = kGrid / kPatternSize;
    uint32_t sums[kPatternSize][kPatternSize][3] = {};
    for (int i = 0; i < kGrid; ++i) {
        const int y = static_cast<int>((i + 0.5) / kGrid * height);
        for (int j = 0; j < kGrid; ++j) {
            const int x = static_cast<int>((j + 0.5) / kGrid * width);
            const uint8_t* texel = texels + (static_cast<size_t>(y) * width + x) * 3;
            for (int k = 0; k < 3; ++k) {
                sums[i / kPerCell][j / kPerCell][k] += texel[k];
            }
        }
    }
    for (int r = 0; r < kPatternSize; ++r) {
        for (int c = 0; c < kPatternSize; ++c) {
            for (int k = 0; k < 3; ++k) {
                pattern->cells[r][c][k] = static_cast<uint8_t>(sums[r][c][k] / (kPerCell * kPerCell));
            }
        }
    }
    return true;
}

SampledPattern rotatePattern(const SampledPattern& sample) {
    SampledPattern turned;
    for (int r = 0; r < kPatternSize; ++r) {
        for (int c = 0; c < kPatternSize; ++c) {
            std::memcpy(turned.cells[r][c], sample.cells[c][kPatternSize - 1 - r], 3);
        }
    }
    return turned;
}

std::string formatPatternFile(const SampledPattern orientations[4]) {
    std::string text;
    text.reserve(4 * kPatternValues * 4 + 64);
    char number[8];
    for (int o = 0; o < 4; ++o) {
        for (int plane = 0; plane < 3; ++plane) {
            for (int r = 0; r < kPatternSize; ++r) {
                for (int c = 0; c < kPatternSize; ++c) {
                    std::snprintf(number, sizeof number, c == 0 ? "%3d" : " %3d",
                                  orientations[o].cells[r][c][plane]);
                    text += number;
                }
                text += '\n';
            }
        }
        text += '\n';
    }
    return text;
}

std::string patternFileOf(const SampledPattern& upright) {
    SampledPattern orientations[4];
    orientations[0] = upright;
    for (int o = 1; o < 4; ++o) {
        orientations[o] = rotatePattern(orientations[o - 1]);
    }
    return formatPatternFile(orientations);
}

} // namespace Ostrevan
