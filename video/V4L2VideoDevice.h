#pragma once

#include "video/VideoDevice.h"

#include <string>
#include <vector>

// A Video4Linux2 camera through libv4l2, which converts whatever the camera delivers into
// B, G, R bytes; frames are handed on as B, G, R, A.
//
// Configuration: [DEVICE] [WIDTHxHEIGHT][@RATE], for example "/dev/video0 640x480@30" or
// "1280x720". DEVICE must be a /dev/video* or /dev/v4l/ node; empty means /dev/video0 at
// 640 x 480. The camera may choose the nearest size it supports.
class V4L2VideoDevice : public VideoDevice {
public:
    explicit V4L2VideoDevice(const std::string& configuration);
    ~V4L2VideoDevice() override;
    V4L2VideoDevice(const V4L2VideoDevice&) = delete;
    V4L2VideoDevice& operator=(const V4L2VideoDevice&) = delete;

    // True when the camera opened and accepted a format.
    bool isValid() const { return fd_ >= 0; }

    int width() const override { return width_; }
    int height() const override { return height_; }
    unsigned pixelFormat() const override { return PixelFormat::ARGB; }
    bool grab() override;
    const unsigned char* currentBuffer() const override { return frame_.data(); }
    // Waits on the camera itself (poll), so a frame is taken as soon as it arrives.
    void waitForFrame(int milliseconds) override;

    // Parses a configuration; false when it is malformed or names a device that is not a camera
    // node. Exposed for tests.
    static bool parseConfiguration(const std::string& configuration, std::string& device, int& width,
                                   int& height, int& rate);

private:
    // Opens the camera and sets the format; -1 on failure (closes what it opened).
    int open(const std::string& device, int width, int height, int rate);

    int fd_ = -1;
    int width_ = 0;
    int height_ = 0;
    std::vector<unsigned char> raw_;   // one frame as read: B, G, R
    std::vector<unsigned char> frame_; // the frame last grabbed: B, G, R, A
};
