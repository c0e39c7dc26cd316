#pragma once

#include "video/VideoDevice.h"

#include <chrono>
#include <string>
#include <vector>

// Recorded frames played as a camera: one image file, or every image of a folder in name order,
// looping, at a set rate. Configuration: PATH[@RATE], for example "frames@30" or "still.png";
// the rate defaults to 30 frames per second. PATH is relative to the player's folder or to the
// work directory, or to a folder the operator named in the environment variable
// VELQUIN_RECORDINGS (absolute folders separated by ":"; an absolute PATH inside one of them is
// accepted too); other absolute paths and paths leading out of those folders are refused. Images
// (PNG, JPEG, PPM) are decoded when first played and kept, all at the size of the first one.
class FileVideoDevice : public VideoDevice {
public:
    // workDirectory: where uploaded files live, the second place a path may name.
    FileVideoDevice(const std::string& configuration, const std::string& workDirectory);

    // True when at least one frame could be read.
    bool isValid() const { return width_ > 0; }

    int width() const override { return width_; }
    int height() const override { return height_; }
    unsigned pixelFormat() const override { return PixelFormat::ARGB; }
    bool grab() override;
    const unsigned char* currentBuffer() const override;
    void waitForFrame(int milliseconds) override;

    // The most frames one device keeps decoded (about 1.2 MB each at 640 x 480).
    static constexpr std::size_t MaximumFrames = 900;
    // Folders of recordings named by the operator, beside the player's folder and work directory.
    static constexpr const char* RecordingsVariable = "VELQUIN_RECORDINGS";

private:
    // Reads one picture into frame (B, G, R, A, turned by 180 degrees); false when it cannot.
    bool load(const std::string& path, std::vector<unsigned char>& frame);
    // Makes sure picture index is decoded; false when it cannot be.
    bool decode(std::size_t index);

    int width_ = 0;
    int height_ = 0;
    double rate_ = 30.0;
    std::vector<std::string> paths_;                 // the pictures, in playing order
    std::vector<std::vector<unsigned char>> frames_; // decoded pictures; empty until first played
    std::vector<bool> unreadable_;                   // pictures that could not be read
    std::size_t current_ = 0;                        // frame last grabbed
    std::size_t next_ = 0;                           // frame the next grab hands out
    std::chrono::steady_clock::time_point due_;      // when the next frame is due
};
