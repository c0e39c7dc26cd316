#pragma once

#include <cstddef>

// Pixel-format codes of camera frames, as handed to every FrameSink.
namespace PixelFormat {
constexpr unsigned BGR = 1;  // B, G, R: 3 bytes
constexpr unsigned ABGR = 2; // 4 bytes
constexpr unsigned RGB = 3;  // 3 bytes
constexpr unsigned ARGB = 4; // 4 bytes; on this platform B, G, R, A in memory
// Bytes per pixel of a code; 0 for an unknown code.
inline int bytesPerPixel(unsigned code) {
    return code == BGR || code == RGB ? 3 : code == ABGR || code == ARGB ? 4 : 0;
}
} // namespace PixelFormat

// One camera: the newest frame, taken without blocking. Used by the capture thread only (and
// created and destroyed under the capture lock).
//
// Frames are handed on turned by 180 degrees (the last pixel of the picture first). The main
// camera looks along +Z with marker poses given in image coordinates (x right, y down), so 3D
// content comes out turned by 180 degrees against the frame the tracker saw, and the background
// rectangle turns the frame likewise to match. Delivering the frame already turned makes the
// presenter see the camera the right way up, and markers are recognised in any rotation.
class VideoDevice {
public:
    virtual ~VideoDevice() = default;
    virtual int width() const = 0;
    virtual int height() const = 0;
    virtual unsigned pixelFormat() const = 0;
    // Bytes of one frame: bytes per pixel of the format x width x height.
    std::size_t frameSize() const {
        return static_cast<std::size_t>(PixelFormat::bytesPerPixel(pixelFormat())) * width() * height();
    }
    // Grabs a new frame and copies frameSize() bytes of it; false when there is none.
    bool copyFrame(unsigned char* destination);
    // Takes the newest frame if one is waiting, without blocking.
    virtual bool grab() = 0;
    // The pixels of the frame last grabbed.
    virtual const unsigned char* currentBuffer() const = 0;
    // Waits up to the time for a frame to be ready (a camera may wake early); the capture
    // thread calls it when there was none.
    virtual void waitForFrame(int milliseconds);
};
