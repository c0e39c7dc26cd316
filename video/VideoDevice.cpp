#include "video/VideoDevice.h"

#include <cstring>

bool VideoDevice::copyFrame(unsigned char* destination) {
    if (!grab()) {
        return false;
    }
    std::memcpy(destination, currentBuffer(), frameSize());
    return true;
}

void VideoDevice::waitForFrame(int milliseconds) {
    pauseUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds));
}

void VideoDevice::interrupt() {
    std::lock_guard<std::mutex> guard(wakeMutex_);
    interrupted_ = true;
    wake_.notify_all();
}

bool VideoDevice::interrupted() {
    std::lock_guard<std::mutex> guard(wakeMutex_);
    return interrupted_;
}

std::string VideoDevice::describe() const {
    return std::to_string(width()) + "x" + std::to_string(height());
}

void VideoDevice::pauseUntil(std::chrono::steady_clock::time_point until) {
    std::unique_lock<std::mutex> guard(wakeMutex_);
    wake_.wait_until(guard, until, [this] { return interrupted_; });
}
