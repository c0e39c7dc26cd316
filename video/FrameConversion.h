#pragma once

#include <cstddef>
#include <cstdint>

// Camera pixel layouts into the frames the capture hands on: B, G, R, A bytes (code 4), turned
// by 180 degrees (see VideoDevice). Camera formats are the V4L2 four-character codes.
namespace FrameConversion {

// Whether a camera layout can be converted.
bool isSupported(std::uint32_t fourcc);
// Converts one camera frame of bytes bytes into width x height B, G, R, A pixels at
// destination. False when the frame is short or cannot be decoded (a damaged JPEG, another
// size); destination may then hold part of a picture.
bool convert(std::uint32_t fourcc, const unsigned char* frame, std::size_t bytes, int width, int height,
             unsigned char* destination);

} // namespace FrameConversion
