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
// accepted too); other absolute paths and paths leading out of those folders are refused, and so
// is anything that is not a regular file (a device, a pipe) and, but in the player's own folder
// (which the installed player keeps as a folder of links), a symbolic link. Images (PNG, JPEG,
// PPM, BMP) are decoded when first played, all at the size of the first one, and kept while
// the decoded frames fit the cache (VELQUIN_CAMERA_CACHE_MB, default 256 MB); the others are
// decoded again each time they play. A picture whose header declares more than
// PictureSize::MaximumSide pixels a side or PictureSize::MaximumPixels in all is refused before
// it is decoded.
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

    // The most pictures one recording plays.
    static constexpr std::size_t MaximumFrames = 900;
    // The largest picture file read, in bytes (a 4096 x 4096 BMP of 32-bit pixels, and a header).
    static constexpr long long MaximumFileBytes = 64LL * 1024 * 1024 + 4096;
    // Folders of recordings named by the operator, beside the player's folder and work directory.
    static constexpr const char* RecordingsVariable = "VELQUIN_RECORDINGS";
    // Megabytes of decoded frames kept between plays; default DefaultCacheMegabytes.
    static constexpr const char* CacheVariable = "VELQUIN_CAMERA_CACHE_MB";
    static constexpr long long DefaultCacheMegabytes = 256;

    // Bytes of decoded frames kept now (for tests and the soak's accounting).
    std::size_t cachedBytes() const { return cachedBytes_; }
    // Pictures played before the recording starts again from its first.
    std::size_t pictureCount() const { return paths_.size(); }

private:
    // Reads one picture into frame (B, G, R, A, turned by 180 degrees); false when it cannot,
    // with the reason in the engine log.
    bool load(const std::string& path, std::vector<unsigned char>& frame);
    // Makes sure picture index is decoded, in the cache or in loose_; false when it cannot be.
    bool decode(std::size_t index);
    // The decoded pixels of picture index: cached, or the loose frame decoded last.
    const std::vector<unsigned char>& pixelsOf(std::size_t index) const;

    int width_ = 0;
    int height_ = 0;
    double rate_ = 30.0;
    std::vector<std::string> paths_;                        // the pictures, in playing order
    std::vector<std::vector<unsigned char>> frames_;        // decoded pictures kept; empty until played
    std::vector<bool> unreadable_;                          // pictures that could not be read
    std::size_t cacheBudget_ = 0;                           // bytes of frames_ allowed
    std::size_t cachedBytes_ = 0;                           // bytes held in frames_
    std::vector<unsigned char> loose_;                      // a picture decoded beyond the budget
    std::size_t looseIndex_ = static_cast<std::size_t>(-1); // which picture loose_ holds
    std::size_t current_ = 0;                               // frame last grabbed
    std::string lastFailure_;                               // why the last picture could not be read
    bool followLinks_ = false;                              // the recording lies in the player's own folder
    std::size_t next_ = 0;                                  // frame the next grab hands out
    std::chrono::steady_clock::time_point due_;             // when the next frame is due
};
