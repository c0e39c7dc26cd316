#pragma once

#include "video/V4L2Kernel.h"
#include "video/VideoDevice.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// A Video4Linux2 camera, streaming through memory-mapped buffers. It takes what the camera
// really offers, YUYV or Motion JPEG, at the size and rate asked for or the nearest, and hands
// frames on as B, G, R, A (see FrameConversion).
//
// Configuration: [DEVICE] [WIDTHxHEIGHT][@RATE], for example "/dev/video0 640x480@30" or
// "1280x720". DEVICE must be a /dev/video* or /dev/v4l/ node; empty means /dev/video0 at
// 640 x 480, at the best rate the camera has for that size.
//
// A camera that goes away while streaming (unplugged: the kernel answers ENODEV) leaves the
// device lost: no frames, and once a second a look through the video nodes for a camera of the
// same card name, which then streams again at the same format and size.
//
// Threads: see VideoDevice. Every kernel call comes from the thread that uses the device under
// the capture lock, except the poll of waitForFrame; interrupt() wakes that poll through an
// eventfd of its own.
class V4L2VideoDevice : public VideoDevice {
public:
    // Opens and starts the camera; on failure the device is invalid and failure() says why.
    explicit V4L2VideoDevice(const std::string& configuration, V4L2Kernel& kernel = V4L2Kernel::system());
    ~V4L2VideoDevice() override;
    V4L2VideoDevice(const V4L2VideoDevice&) = delete;
    V4L2VideoDevice& operator=(const V4L2VideoDevice&) = delete;

    // True when the camera opened and streams (or streamed and is now lost).
    bool isValid() const { return started_; }

    int width() const override { return width_; }
    int height() const override { return height_; }
    unsigned pixelFormat() const override { return PixelFormat::ARGB; }
    bool grab() override;
    const unsigned char* currentBuffer() const override { return frame_.data(); }
    // Waits on the camera itself (poll), so a frame is taken as soon as it arrives.
    void waitForFrame(int milliseconds) override;
    void interrupt() override;
    bool isLost() const override { return lost_; }
    std::string describe() const override;

    // The card name the camera gave (what brings it back after an unplug).
    const std::string& cardName() const { return card_; }
    // The camera's own layout (V4L2 four-character code) chosen for streaming.
    std::uint32_t cameraFormat() const { return fourcc_; }
    // How long a lost camera waits between two looks for it (one second).
    void setRetryPeriod(std::chrono::milliseconds period) { retryPeriod_ = period; }

    // Parses a configuration; false when it is malformed or names a device that is not a camera
    // node. rate is 0 when none is asked for.
    static bool parseConfiguration(const std::string& configuration, std::string& device, int& width,
                                   int& height, int& rate);
    // Every video node with its card name and what it offers, each size with the configuration
    // text that selects it ("velquin --list-cameras").
    static std::string listCameras(V4L2Kernel& kernel = V4L2Kernel::system());

    // One size of one layout a camera offers, with its frame rates (frames per second).
    struct Mode {
        std::uint32_t fourcc = 0;
        int width = 0;
        int height = 0;
        std::vector<int> rates; // highest first; empty when the camera does not say
    };
    // What an open camera offers, in the camera's order; empty when it does not enumerate.
    static std::vector<Mode> modes(V4L2Kernel& kernel, int fd);
    // The modes worth trying for a request, best first: the size asked for, then the rate, then
    // YUYV (no decoding) before Motion JPEG. Only layouts the device can convert.
    static std::vector<Mode> rank(const std::vector<Mode>& offered, int width, int height, int rate);

private:
    struct Buffer {
        void* start = nullptr;
        std::size_t length = 0;
    };
    // Opens path, checks it is a capture camera (of card name card, when not empty), sets the
    // format and starts streaming. False with the reason noted; nothing left open.
    bool start(const std::string& path, const std::string& card);
    // Sets the first mode of the ranking the camera accepts; false with the reason noted.
    bool setFormat(const std::string& path, const std::vector<Mode>& candidates);
    bool startStreaming(const std::string& path);
    void closeCamera();
    // Puts a buffer back in the camera's queue; false when the camera is gone.
    bool requeue(unsigned index);
    // The camera went away: close it and start looking for it.
    void lose(int error);
    // Looks for the lost camera once its retry time has come.
    void lookForCamera();

    V4L2Kernel& kernel_;
    int fd_ = -1;          // the camera; -1 while lost or never opened
    int wakeFd_ = -1;      // eventfd written by interrupt()
    bool started_ = false; // the camera streamed once
    bool lost_ = false;    // it went away and has not come back
    std::string path_;     // node it streams from
    std::string card_;     // its card name
    int askedWidth_ = 0;   // the request, kept for a camera that comes back
    int askedHeight_ = 0;
    int askedRate_ = 0;
    std::uint32_t fourcc_ = 0; // camera layout streamed
    int width_ = 0;            // frame size, pixels; kept while lost
    int height_ = 0;
    int rate_ = 0;                     // frames per second set, 0 when unknown
    std::vector<Buffer> buffers_;      // mapped camera buffers
    std::vector<unsigned char> frame_; // the frame last grabbed: B, G, R, A
    std::chrono::milliseconds retryPeriod_{1000};
    std::chrono::steady_clock::time_point nextLook_; // when a lost camera is looked for again
};
