#pragma once

#include "tracking/DetectorParameters.h"
#include "tracking/frame.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Binarisation and connected-component labelling of one frame: the first stage of detection.
//
// A pixel is dark when byte 0 + byte 1 + byte 2 <= 3 * threshold, or, binarised locally, when it
// is clearly darker than the mean of the 48 x 48 pixels around its block of 16 x 16 (which holds
// under light falling across a marker and for grey ink) and, where those pixels hold both ink and
// paper, within a third of the way from their darkest to their lightest (which keeps paper in a
// shadow beside the ink light), and at most three quarters as light as their lightest (which keeps
// a light grey surface beside white paper light); each pixel's limit lies between those of the
// blocks around it, down and across. DetectorParameters sets the window and the margins. Dark
// pixels that touch, also diagonally, form one region. The outermost rows and columns of the frame
// never count as dark. Regions are numbered 1..N in the order of their first pixel (top row first,
// then leftmost).
//
// Provisional labels: a scan from the top left opens one whenever a dark pixel has no dark pixel
// above-left, above, above-right or to its left; a frame that needs more than kMaxProvisionalLabels
// of them is refused. The label image itself is kept as one bit per pixel plus the runs of dark
// pixels of each row with their provisional labels: deciding darkness a word at a time and
// labelling only dark runs gives the same regions at a fraction of the cost.
namespace Ostrevan {

constexpr int kMaxProvisionalLabels = 32768;

// One region (final label 1..N).
struct Region {
    int32_t area = 0;      // pixel count
    double centre[2] = {}; // mean x, mean y of its pixels
    int32_t box[4] = {};   // x min, x max, y min, y max
    int32_t start[2] = {}; // its first pixel (top row, leftmost): where contour tracing starts
};

// The label image and tables of one frame. Reused from frame to frame: buffers only grow.
class Labelling {
public:
    static constexpr int kBlock = 16; // side of the blocks of the local threshold, in pixels

    int width() const { return width_; }
    int height() const { return height_; }
    // Whether the pixel has a label > 0. x and y must lie inside the frame.
    bool dark(int x, int y) const {
        return (bits_[static_cast<size_t>(y) * words_ + (x >> 6)] >> (x & 63)) & 1u;
    }
    int regionCount() const { return static_cast<int>(regions_.size()) - 1; }
    // Region 1..regionCount().
    const Region& region(int label) const { return regions_[label]; }
    // Final label of a pixel, 0 for background. A search over the row's runs: meant for checks,
    // not for inner loops.
    int regionAt(int x, int y) const;
    int provisionalCount() const { return provisionalCount_; }
    // Calls visit(y, x0, x1) for every run of dark pixels of a region (1..regionCount()), row by
    // row from its top, each row from the left.
    template <typename Visit> void visitRuns(int region, Visit visit) const {
        const Region& r = regions_[region];
        for (int y = r.box[2]; y <= r.box[3]; ++y) {
            for (int32_t k = rowRuns_[y]; k < rowRuns_[y + 1]; ++k) {
                if (final_[runs_[k].label] == region) {
                    visit(y, runs_[k].x0, runs_[k].x1);
                }
            }
        }
    }

private:
    friend bool labelImage(const FrameView& frame, int threshold, bool local,
                           const DetectorParameters& parameters, Labelling* labels);
    friend bool labelRegionPart(const FrameView& frame, const Labelling& whole, int region, int level,
                                Labelling* part);

    // Labels a frame of width x height whose dark pixels darkBits(y, row) sets in the cleared
    // bit row of each row y from 1 to height - 2; the outermost columns are cleared after it.
    template <typename DarkBits> bool labelRows(int width, int height, DarkBits darkBits);

    // The limits of the blocks from the frame's block means, darkest and lightest pixels.
    void localLimits(const FrameView& frame, const DetectorParameters& parameters);
    // The limit of every pixel of row y of a frame `width` wide, between the blocks around it.
    void rowLimits(int y, int width, int16_t* limits);

    struct Run {
        int32_t x0;    // first dark column
        int32_t x1;    // last dark column
        int32_t label; // provisional label
    };
    struct LabelStats {
        int64_t count;
        int64_t sumX;
        int64_t sumY;
        int32_t minX, maxX, minY, maxY;
        int32_t startX; // where the label was opened
    };
    struct RegionSums {
        int64_t count, sumX, sumY;
    };

    int find(int label);
    void resize(int width, int height);

    int width_ = 0;
    int height_ = 0;
    size_t words_ = 0;              // 64-bit words per row of bits_
    std::vector<uint64_t> bits_;    // dark pixels, one bit each, rows of words_ words
    std::vector<Run> runs_;         // dark runs, row by row, left to right
    std::vector<int32_t> rowRuns_;  // runs of row y: [rowRuns_[y], rowRuns_[y + 1])
    std::vector<int32_t> parent_;   // equivalences of provisional labels (smallest label is root)
    std::vector<int32_t> final_;    // provisional label -> final label
    std::vector<LabelStats> stats_; // per provisional label
    std::vector<Region> regions_;   // [0] unused
    std::vector<RegionSums> sums_;  // per region, while the regions are summed up
    int provisionalCount_ = 0;
    std::vector<int64_t> blockSums_;     // local threshold: sums of bytes 0..2 per block
    std::vector<int16_t> blockDarkest_;  // local threshold: smallest sum of bytes 0..2 per block
    std::vector<int16_t> blockLightest_; // largest
    std::vector<int> blockLimits_;       // largest dark sum per block
    std::vector<int16_t> limits_;        // largest dark sum per pixel of the current row
    std::vector<int> columnLimits_;      // rowLimits: per block column, between the block rows
    std::vector<uint64_t> scratch_;      // labelRegionPart: the bits of one row of the box
};

// Labels a frame. threshold is the grey level at or below which a pixel is dark. Returns false
// when the frame is invalid or more than kMaxProvisionalLabels provisional labels are needed.
bool labelImage(const FrameView& frame, int threshold, Labelling* labels);
// With `local`, each pixel is compared with its surroundings instead of the threshold.
bool labelImage(const FrameView& frame, int threshold, bool local, Labelling* labels);
// With the detector's tunables of the local binarisation (the defaults above).
bool labelImage(const FrameView& frame, int threshold, bool local, const DetectorParameters& parameters,
                Labelling* labels);

// Labels anew the pixels of one region of `whole` (the labels of `frame`) whose sum of bytes
// 0..2 is at most `level`, in a frame of the region's bounding box widened by two pixels on every
// side: pixel (x, y) of `part` is pixel (x + box x min - 2, y + box y min - 2) of the frame.
// False when the region or the frame does not belong to `whole`, or labelling fails.
bool labelRegionPart(const FrameView& frame, const Labelling& whole, int region, int level, Labelling* part);

} // namespace Ostrevan
