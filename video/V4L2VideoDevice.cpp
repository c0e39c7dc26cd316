#include "video/V4L2VideoDevice.h"

#include "platform/enginelog.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <libv4l2.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sstream>

namespace {

bool isCameraNode(const std::string& device) {
    if (device.find("..") != std::string::npos) {
        return false;
    }
    return device.compare(0, 10, "/dev/video") == 0 || device.compare(0, 9, "/dev/v4l/") == 0;
}

} // namespace

bool V4L2VideoDevice::parseConfiguration(const std::string& configuration, std::string& device, int& width,
                                         int& height, int& rate) {
    device = "/dev/video0";
    width = 640;
    height = 480;
    rate = 0;
    std::istringstream words(configuration);
    std::string word;
    while (words >> word) {
        if (word[0] == '/') {
            if (!isCameraNode(word)) {
                return false;
            }
            device = word;
            continue;
        }
        std::string size = word;
        const std::string::size_type at = word.find('@');
        if (at != std::string::npos) {
            char* end = nullptr;
            const long value = std::strtol(word.c_str() + at + 1, &end, 10);
            if (end == word.c_str() + at + 1 || *end != '\0' || value <= 0 || value > 1000) {
                return false;
            }
            rate = static_cast<int>(value);
            size = word.substr(0, at);
        }
        if (size.empty()) {
            continue;
        }
        int w = 0, h = 0;
        char x = 0, rest = 0;
        if (std::sscanf(size.c_str(), "%d%c%d%c", &w, &x, &h, &rest) != 3 || x != 'x' || w <= 0 || h <= 0 ||
            w > 8192 || h > 8192) {
            return false;
        }
        width = w;
        height = h;
    }
    return true;
}

V4L2VideoDevice::V4L2VideoDevice(const std::string& configuration) {
    std::string device;
    int width = 0, height = 0, rate = 0;
    if (!parseConfiguration(configuration, device, width, height, rate)) {
        VelOS::engineLog("V4L2VideoDevice: bad configuration '" + configuration + "'");
        return;
    }
    fd_ = open(device, width, height, rate);
}

V4L2VideoDevice::~V4L2VideoDevice() {
    if (fd_ >= 0) {
        v4l2_close(fd_);
    }
}

int V4L2VideoDevice::open(const std::string& device, int width, int height, int rate) {
    const int fd = v4l2_open(device.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        VelOS::engineLog("V4L2VideoDevice: cannot open " + device + ": " + std::strerror(errno));
        return -1;
    }
    v4l2_capability capability{};
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    format.fmt.pix.width = static_cast<__u32>(width);
    format.fmt.pix.height = static_cast<__u32>(height);
    format.fmt.pix.pixelformat = V4L2_PIX_FMT_BGR24;
    format.fmt.pix.field = V4L2_FIELD_ANY;
    if (v4l2_ioctl(fd, VIDIOC_QUERYCAP, &capability) < 0 ||
        (capability.capabilities & V4L2_CAP_VIDEO_CAPTURE) == 0 ||
        v4l2_ioctl(fd, VIDIOC_S_FMT, &format) < 0 || format.fmt.pix.pixelformat != V4L2_PIX_FMT_BGR24 ||
        format.fmt.pix.width == 0 || format.fmt.pix.height == 0) {
        VelOS::engineLog("V4L2VideoDevice: " + device + " is not a camera that gives B, G, R frames");
        v4l2_close(fd);
        return -1;
    }
    if (rate > 0) {
        v4l2_streamparm parameters{};
        parameters.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        parameters.parm.capture.timeperframe.numerator = 1;
        parameters.parm.capture.timeperframe.denominator = static_cast<__u32>(rate);
        v4l2_ioctl(fd, VIDIOC_S_PARM, &parameters); // a camera that cannot keeps its own rate
    }
    width_ = static_cast<int>(format.fmt.pix.width);
    height_ = static_cast<int>(format.fmt.pix.height);
    raw_.resize(static_cast<std::size_t>(width_) * height_ * 3);
    frame_.assign(static_cast<std::size_t>(width_) * height_ * 4, 0xFF);
    return fd;
}

bool V4L2VideoDevice::grab() {
    if (fd_ < 0) {
        return false;
    }
    const ssize_t got = v4l2_read(fd_, raw_.data(), raw_.size());
    if (got != static_cast<ssize_t>(raw_.size())) {
        return false;
    }
    // Pixels in reverse order (turned by 180 degrees, see VideoDevice), three bytes widened to
    // four.
    const std::size_t pixels = static_cast<std::size_t>(width_) * height_;
    const unsigned char* from = raw_.data() + (pixels - 1) * 3;
    unsigned char* to = frame_.data();
    for (std::size_t i = 0; i < pixels; ++i, from -= 3, to += 4) {
        to[0] = from[0];
        to[1] = from[1];
        to[2] = from[2];
    }
    return true;
}

void V4L2VideoDevice::waitForFrame(int milliseconds) {
    if (fd_ < 0) {
        VideoDevice::waitForFrame(milliseconds);
        return;
    }
    pollfd waiting{fd_, POLLIN, 0};
    poll(&waiting, 1, milliseconds);
}
