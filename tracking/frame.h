#pragma once

#include <cstdint>

namespace Ostrevan {

// One camera frame as the marker library reads it: rows from top to bottom, rows packed without
// padding, pixels of 3 or 4 bytes of which only bytes 0, 1 and 2 are read (B, G, R for the
// player's cameras). Not owned: the caller keeps the pixels alive for the length of the call.
struct FrameView {
    const uint8_t* pixels = nullptr; // width * height * pixelSize bytes
    int width = 0;                   // pixels per row
    int height = 0;                  // rows
    int pixelSize = 4;               // bytes per pixel: 3 or 4

    bool valid() const {
        return pixels != nullptr && width > 0 && height > 0 && (pixelSize == 3 || pixelSize == 4);
    }
    const uint8_t* at(int x, int y) const { return pixels + (static_cast<long>(y) * width + x) * pixelSize; }
};

} // namespace Ostrevan
