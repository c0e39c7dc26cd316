#pragma once

#include <string>

// The size a picture file declares in its header, read before any decoding, so that a picture
// too large to decode safely (a few hundred bytes of PNG can declare 12000 x 12000 pixels) is
// refused before it costs memory or time. Knows PNG, JPEG, PPM (P3 and P6) and BMP by their
// first bytes, whatever the file's name says.
namespace PictureSize {

// Bounds of a recorded camera frame: each side, and the pixels in all (4096 x 4096).
constexpr int MaximumSide = 8192;
constexpr long long MaximumPixels = 4096LL * 4096LL;

// Reads the width and height the header of the picture in bytes declares. False when the bytes
// are no picture of a known kind or its header is cut short or inconsistent.
bool read(const std::string& bytes, int& width, int& height);

// Whether a picture of that size may be decoded as a camera frame; reason says why not.
bool acceptable(int width, int height, std::string& reason);

} // namespace PictureSize
