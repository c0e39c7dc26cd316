#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>

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

// One camera: the newest frame, taken without blocking.
//
// Threads: created and destroyed under the capture lock; grab, copyFrame and currentBuffer run
// on the capture thread under the capture lock; waitForFrame runs on the capture thread
// without it (VelVideoCapture keeps the device alive meanwhile); interrupt may come from any
// thread.
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
    // thread calls it when there was none. Returns at once once interrupted.
    virtual void waitForFrame(int milliseconds);
    // Ends a wait in progress and makes every later wait return at once: the device is about
    // to go. Any thread.
    virtual void interrupt();
    // True while the camera has gone away (unplugged); the device looks for it by itself.
    virtual bool isLost() const { return false; }
    // What the status line says about the camera, for example "/dev/video0 640x480 YUYV".
    virtual std::string describe() const;
    // Why the device did not open (an invalid device), or why it did less than asked; empty when
    // nothing went wrong.
    const std::string& failure() const { return failure_; }

protected:
    // Keeps why the device failed; the first reason stays (the nearest to the fault).
    void fail(const std::string& reason) {
        if (failure_.empty()) {
            failure_ = reason;
        }
    }
    // Forgets the reason: what failed before is over.
    void forgetFailure() { failure_.clear(); }
    // Sleeps until the time or until interrupted.
    void pauseUntil(std::chrono::steady_clock::time_point until);
    bool interrupted();

private:
    std::mutex wakeMutex_;         // guards interrupted_
    std::condition_variable wake_; // interrupt() happened
    bool interrupted_ = false;     // set once, by interrupt()
    std::string failure_;          // see failure(); the thread that opens or grabs
};
