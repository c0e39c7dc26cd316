#include "video/VideoDevice.h"

#include <chrono>
#include <cstring>
#include <thread>

bool VideoDevice::copyFrame(unsigned char* destination) {
    if (!grab()) {
        return false;
    }
    std::memcpy(destination, currentBuffer(), frameSize());
    return true;
}

void VideoDevice::waitForFrame(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
