#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Pictures of the marker maker: read from PNG, JPEG (through the render engine's codecs, when
// built with it) or plain Netpbm text (P1, P2, P3), written as PNG.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> texels; // 3 bytes per texel in camera frame order: blue, green, red

    Picture() = default;
    Picture(int w, int h, uint8_t grey) : width(w), height(h), texels(static_cast<size_t>(w) * h * 3, grey) {}
    uint8_t* at(int x, int y) { return &texels[(static_cast<size_t>(y) * width + x) * 3]; }
    const uint8_t* at(int x, int y) const { return &texels[(static_cast<size_t>(y) * width + x) * 3]; }
};

// Reads a picture. False with a one-line reason in `error`.
bool readPicture(const std::string& path, Picture* picture, std::string* error);

// Writes an 8-bit RGB PNG, with its pixel density when dotsPerMetre > 0. False with a reason in
// `error`.
bool writePng(const std::string& path, const Picture& picture, std::string* error, int dotsPerMetre = 0);
