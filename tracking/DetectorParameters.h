#pragma once

#include <cstdint>

// Every tunable of the marker detector in one record, each with its unit and default. A Library
// holds one (Library::setParameters); detection reads it for every frame. The defaults are what
// the player runs with; the tests and the benchmarks change them to look at one stage alone.
namespace Ostrevan {

constexpr int kMaxSquares = 30; // room of the candidate and marker lists of one frame

struct DetectorParameters {
    // --- regions that may be squares ---
    // Smallest dark region, in pixels, that can be a marker. Not scaled with the frame: whether a
    // marker can still be read depends on its pixels, not on the frame around it.
    int32_t areaMinimum = 70;
    // Largest dark region, as a fraction of the frame's area: 184,320 pixels at 640 x 480 (a
    // 400-pixel close-up fits), 1,244,160 at 1920 x 1080. It bounds the work per region; a
    // region larger than this is wall or shadow, not a marker held up to the camera.
    double areaMaximumFraction = 0.6;
    // Square candidates kept per frame (1..kMaxSquares). When more regions are four-cornered,
    // the likeliest markers are kept (see findSquares), so that dark squares in the picture
    // (windows, tiles, a chessboard) do not crowd a marker out.
    int32_t maxCandidates = kMaxSquares;
    // Corner sensitivity of the square check: a contour point counts as a corner when its
    // squared distance from the chord exceeds area / 75 x this.
    double cornerFactor = 1.0;
    // Least correlation of a solid square's pattern, sampled between its contour's corners, for
    // its sides to be refined to the picture's edges and its pattern sampled again there (hollow
    // squares always are). A marker scores well above it even so; a tile, a window or a
    // chessboard's field rarely reaches it, and is listed unidentified at the contour's lines.
    double refineConfidence = 0.3;
    // Squares of fewer pixels than this are refined whatever their first identification: the
    // contour's corners of a marker of 20 pixels' side lie a cell of its pattern off.
    int32_t refineArea = 400;

    // --- local binarisation (automatic threshold mode) ---
    // Blocks on each side of a 16 x 16 block whose pixels set its threshold: 1 is a window of
    // 48 x 48 pixels.
    int32_t localReach = 1;
    // A pixel is dark when it lies below the mean of its window by this many grey levels at
    // least, and by localDropPercent of that mean when that is more (so that the noise of an
    // even surface stays light).
    int32_t localMinimumDrop = 10;
    int32_t localDropPercent = 10;
    // Where the window holds both ink and paper (its darkest and lightest grey levels at least
    // localMinimumContrast apart), a pixel must also lie within localInkPercent of the way from
    // the darkest to the lightest to be dark. Paper in a shadow next to a black border stays
    // much lighter than the ink beside it, although it is darker than the window's mean: without
    // this it would merge with the border. Shadows are a fall of light, ink a fall of
    // reflectance to a twentieth: a third of the way keeps paper that lost up to two thirds of
    // its light apart from ink.
    int32_t localMinimumContrast = 24;
    int32_t localInkPercent = 33;
    // And a pixel is dark only when it reflects at most this share of the lightest pixel of its
    // window: ink, even grey ink, reflects far less than the paper it is printed on, whereas a
    // light grey surface beside a marker's white margin would otherwise make a dark band round it.
    int32_t localInkRatioPercent = 75;
    // A region of the local binarisation that is no square is split at Otsu's level of its own
    // grey values and its darker part looked at again: ink joined to shaded paper or to the
    // speckles of a shadow's edge comes apart from them (see Library::lookAgain).
    bool lookAgain = true;
    // Smallest region looked at again, in pixels: the border of a marker of 20 pixels' side.
    // Smaller ones are far more often specks of texture than markers, and many.
    int32_t lookAgainMinimumArea = 300;
    // Largest share of its outline a region looked at again may fill: a marker's border holds
    // the lighter cells of its pattern, a solid dark thing (a shadow, a dark object) nothing.
    double lookAgainFill = 0.97;
    // Grey levels at least between the means of the two parts for the split to count: a region
    // of ink and noise alone stays as it is.
    int32_t lookAgainContrast = 10;

    // Largest region for a frame of this size, in pixels.
    int32_t areaMaximum(int width, int height) const {
        return static_cast<int32_t>(areaMaximumFraction * static_cast<double>(width) * height);
    }
};

} // namespace Ostrevan
