#include "video/PictureSize.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>

namespace PictureSize {

namespace {

uint32_t bigEndian32(const std::string& b, std::size_t at) {
    return (uint32_t(uint8_t(b[at])) << 24) | (uint32_t(uint8_t(b[at + 1])) << 16) |
           (uint32_t(uint8_t(b[at + 2])) << 8) | uint32_t(uint8_t(b[at + 3]));
}

uint32_t bigEndian16(const std::string& b, std::size_t at) {
    return (uint32_t(uint8_t(b[at])) << 8) | uint32_t(uint8_t(b[at + 1]));
}

uint32_t littleEndian32(const std::string& b, std::size_t at) {
    return uint32_t(uint8_t(b[at])) | (uint32_t(uint8_t(b[at + 1])) << 8) |
           (uint32_t(uint8_t(b[at + 2])) << 16) | (uint32_t(uint8_t(b[at + 3])) << 24);
}

// Sizes beyond an int are reported as the largest int: refused by acceptable all the same.
int clampSide(uint64_t side) {
    return side > 0x7fffffffu ? 0x7fffffff : static_cast<int>(side);
}

bool readPng(const std::string& b, int& width, int& height) {
    // Signature, then the IHDR chunk: length, type, width, height.
    if (b.size() < 24 || b.compare(12, 4, "IHDR") != 0) {
        return false;
    }
    width = clampSide(bigEndian32(b, 16));
    height = clampSide(bigEndian32(b, 20));
    return true;
}

bool readJpeg(const std::string& b, int& width, int& height) {
    // Segments after SOI until a start-of-frame marker (C0..CF but C4, C8, CC).
    std::size_t at = 2;
    while (at + 4 <= b.size()) {
        if (uint8_t(b[at]) != 0xff) {
            return false;
        }
        const uint8_t marker = uint8_t(b[at + 1]);
        if (marker == 0xff) {
            ++at; // fill byte
            continue;
        }
        if (marker == 0xd8 || (marker >= 0xd0 && marker <= 0xd7) || marker == 0x01) {
            at += 2; // markers without a length
            continue;
        }
        const uint32_t length = bigEndian16(b, at + 2);
        if (length < 2) {
            return false;
        }
        const bool frame =
            marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc;
        if (frame) {
            if (at + 9 > b.size()) {
                return false;
            }
            height = static_cast<int>(bigEndian16(b, at + 5));
            width = static_cast<int>(bigEndian16(b, at + 7));
            return true;
        }
        if (marker == 0xd9 || marker == 0xda) {
            return false; // the end, or the scan, before any frame header
        }
        at += 2 + length;
    }
    return false;
}

bool readPpm(const std::string& b, int& width, int& height) {
    // "P6" or "P3", then width and height as decimal numbers among blanks and "#" comments.
    std::size_t at = 2;
    uint64_t values[2] = {0, 0};
    for (uint64_t& value : values) {
        for (;;) {
            while (at < b.size() && std::isspace(static_cast<unsigned char>(b[at]))) {
                ++at;
            }
            if (at < b.size() && b[at] == '#') {
                while (at < b.size() && b[at] != '\n') {
                    ++at;
                }
                continue;
            }
            break;
        }
        std::size_t digits = 0;
        while (at < b.size() && std::isdigit(static_cast<unsigned char>(b[at]))) {
            if (value < (1ull << 40)) {
                value = value * 10 + static_cast<uint64_t>(b[at] - '0');
            }
            ++at;
            ++digits;
        }
        if (digits == 0) {
            return false;
        }
    }
    width = clampSide(values[0]);
    height = clampSide(values[1]);
    return true;
}

bool readBmp(const std::string& b, int& width, int& height) {
    // File header (14 bytes), then an info header of at least 40 bytes: width, height (negative
    // for a picture stored top down).
    if (b.size() < 26) {
        return false;
    }
    const int32_t w = static_cast<int32_t>(littleEndian32(b, 18));
    const int32_t h = static_cast<int32_t>(littleEndian32(b, 22));
    width = w < 0 ? 0x7fffffff : w;
    height = h == INT32_MIN ? 0x7fffffff : std::abs(h);
    return true;
}

} // namespace

bool read(const std::string& bytes, int& width, int& height) {
    static const char PngSignature[] = "\x89PNG\r\n\x1a\n";
    if (bytes.compare(0, 8, PngSignature, 8) == 0) {
        return readPng(bytes, width, height);
    }
    if (bytes.size() >= 3 && uint8_t(bytes[0]) == 0xff && uint8_t(bytes[1]) == 0xd8) {
        return readJpeg(bytes, width, height);
    }
    if (bytes.size() >= 2 && bytes[0] == 'P' && (bytes[1] == '6' || bytes[1] == '3')) {
        return readPpm(bytes, width, height);
    }
    if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') {
        return readBmp(bytes, width, height);
    }
    return false;
}

bool acceptable(int width, int height, std::string& reason) {
    if (width < 1 || height < 1) {
        reason = "it has no pixels";
        return false;
    }
    if (width > MaximumSide || height > MaximumSide ||
        static_cast<long long>(width) * height > MaximumPixels) {
        reason = "it is " + std::to_string(width) + "x" + std::to_string(height) + ", larger than " +
                 std::to_string(MaximumSide) + " pixels a side or " + std::to_string(MaximumPixels) +
                 " pixels in all";
        return false;
    }
    return true;
}

} // namespace PictureSize
