#pragma once

#include "tracking/frame.h"

#include <cstdint>
#include <memory>
#include <string>

// The pattern table: marker patterns loaded from pattern files, the sampling of a marker's
// interior from a frame and its identification by correlation.
//
// Pattern file: four orientations one after the other; each orientation is three planes (plane
// k is compared with byte k of a frame pixel); each plane 16 rows of 16 whitespace-separated
// decimal values 0..255 as the camera sees the printed pattern (dark cells small). Orientation
// o is the upright pattern turned o quarter turns counter-clockwise.
namespace Ostrevan {

constexpr int kPatternSlots = 50; // slots of the pattern table
constexpr int kPatternSize = 16;  // cells per side of a pattern
constexpr int kPatternValues = kPatternSize * kPatternSize * 3;

// A marker interior as sampled from a frame: cells[row][column][frame byte 0..2].
struct SampledPattern {
    uint8_t cells[kPatternSize][kPatternSize][3] = {};
};

// One used slot of the table, as prepared for matching.
struct PatternSlot {
    // Per orientation: the 768 colour values (row, column, plane) with 255 - stored value,
    // minus the orientation's mean.
    int32_t colour[4][kPatternValues];
    // Per orientation: the mean of each cell's three colour values, minus the same mean.
    int32_t grey[4][kPatternSize * kPatternSize];
    double colourNorm[4]; // sqrt of the sum of squares of colour; 1e-7 when that is 0
    double greyNorm[4];   // the same for grey
};

// The pattern table: up to kPatternSlots patterns, each in its slot. Owned by a detector (see
// Library in detection.h); not locked.
class PatternTable {
public:
    PatternTable();
    PatternTable(const PatternTable&) = delete;
    PatternTable& operator=(const PatternTable&) = delete;

    // Loads a pattern file into the lowest free slot. Returns the slot 0..49, or -1: table full
    // (silently), file missing ("not found" message), or malformed file (read-error message:
    // fewer than 3072 values, a value that is not a decimal number, a value outside 0..255). Text
    // after the 3072nd value is ignored. The slot stays free on every failure.
    int load(const char* fileName);
    // Frees a slot. Returns 1, or -1 when the slot is out of range or free.
    int free(int slot);
    // Number of used slots.
    int count() const { return count_; }
    // The prepared content of a used slot, or nullptr when the slot is free or out of range.
    const PatternSlot* slot(int slot) const;
    // Identifies a sample against every used slot and orientation. id -1 (direction -1,
    // confidence 0) when no pattern correlates positively; id 0, direction 0, confidence -1 for a
    // sample of one uniform colour.
    void match(const SampledPattern& sample, int* id, int* direction, double* confidence) const;

private:
    std::unique_ptr<PatternSlot[]> slots_; // kPatternSlots
    bool used_[kPatternSlots] = {};
    int count_ = 0;
};

// Grid of frame points for a marker with these corners: columns and rows, each 16, 32 or 64,
// growing with the marker's size in the frame. samplePattern reads at most 32 of them per side.
void samplingGrid(const double corners[4][2], int* columns, int* rows);

// Samples the marker interior (the central half of the square between the corners, given
// clockwise on the screen, in frame coordinates) into 16 x 16 cells. Points outside the frame
// add nothing; a marker of up to 32 pixels is read between pixels. Returns false when the
// corners admit no projective map (three in a line, a zero denominator); the sample is then
// undefined.
bool samplePattern(const FrameView& frame, const double corners[4][2], SampledPattern* sample);

// The sample turned one quarter counter-clockwise (its top-left cell goes to the bottom-left).
SampledPattern rotatePattern(const SampledPattern& sample);

// The upright cells of a picture (3 bytes per texel in frame byte order, rows top down) as the
// detector sees the interior of a large marker face on: a 64 x 64 grid of texels averaged
// into the 16 x 16 cells. False for an empty picture.
bool patternOfPicture(const uint8_t* texels, int width, int height, SampledPattern* pattern);

// The text of a pattern file holding these four orientations.
std::string formatPatternFile(const SampledPattern orientations[4]);

// The text of a pattern file for an upright pattern: its four quarter turns.
std::string patternFileOf(const SampledPattern& upright);

} // namespace Ostrevan
