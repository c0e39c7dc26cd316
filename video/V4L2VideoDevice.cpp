#include "video/V4L2VideoDevice.h"

#include "platform/enginelog.h"
#include "video/FrameConversion.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sstream>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <tuple>
#include <unistd.h>

namespace {

// Buffers asked of the camera: one being filled, one being read, two spare.
constexpr unsigned BufferCount = 4;

bool isCameraNode(const std::string& device) {
    if (device.find("..") != std::string::npos) {
        return false;
    }
    return device.compare(0, 10, "/dev/video") == 0 || device.compare(0, 9, "/dev/v4l/") == 0;
}

std::string fourccName(std::uint32_t fourcc) {
    if (fourcc == V4L2_PIX_FMT_MJPEG) {
        return "MJPEG";
    }
    std::string name;
    for (int shift = 0; shift < 32; shift += 8) {
        const char c = static_cast<char>((fourcc >> shift) & 0xFF);
        if (c != ' ' && c != '\0') {
            name += c;
        }
    }
    return name;
}

std::string errorText(int error) {
    return std::strerror(error);
}

// The card name of an open node, and whether it captures video; false when it answers nothing.
bool query(V4L2Kernel& kernel, int fd, std::string& card, bool& captures) {
    v4l2_capability capability{};
    if (xioctl(kernel, fd, VIDIOC_QUERYCAP, &capability) < 0) {
        return false;
    }
    const __u32 caps = (capability.capabilities & V4L2_CAP_DEVICE_CAPS) != 0 ? capability.device_caps
                                                                             : capability.capabilities;
    card.assign(reinterpret_cast<const char*>(capability.card),
                strnlen(reinterpret_cast<const char*>(capability.card), sizeof capability.card));
    captures = (caps & V4L2_CAP_VIDEO_CAPTURE) != 0 && (caps & V4L2_CAP_STREAMING) != 0;
    return true;
}

// One side of a size: decimal digits only, 1 to 8192. Read digit by digit, so that no number
// too large for an int wraps round to a small one ("4294967936" is not 640).
bool parseSide(const std::string& text, int& side) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const int value = std::stoi(text);
    if (value < 1 || value > 8192) {
        return false;
    }
    side = value;
    return true;
}

int highest(const V4L2VideoDevice::Mode& mode) {
    return mode.rates.empty() ? 0 : mode.rates.front();
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
        const std::string::size_type x = size.find('x');
        int w = 0, h = 0;
        if (x == std::string::npos || !parseSide(size.substr(0, x), w) || !parseSide(size.substr(x + 1), h)) {
            return false;
        }
        width = w;
        height = h;
    }
    return true;
}

std::vector<V4L2VideoDevice::Mode> V4L2VideoDevice::modes(V4L2Kernel& kernel, int fd) {
    std::vector<Mode> found;
    // The loops are bounded: a camera that never says "no more" must not keep us here.
    for (__u32 f = 0; f < 64; ++f) {
        v4l2_fmtdesc format{};
        format.index = f;
        format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (xioctl(kernel, fd, VIDIOC_ENUM_FMT, &format) < 0) {
            break;
        }
        for (__u32 s = 0; s < 256; ++s) {
            v4l2_frmsizeenum size{};
            size.index = s;
            size.pixel_format = format.pixelformat;
            if (xioctl(kernel, fd, VIDIOC_ENUM_FRAMESIZES, &size) < 0) {
                break;
            }
            std::vector<std::pair<int, int>> sizes;
            if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
                sizes.emplace_back(size.discrete.width, size.discrete.height);
            } else {
                // Stepwise or continuous: its largest and smallest sizes stand for it.
                sizes.emplace_back(size.stepwise.max_width, size.stepwise.max_height);
                sizes.emplace_back(size.stepwise.min_width, size.stepwise.min_height);
            }
            for (const auto& dimensions : sizes) {
                Mode mode;
                mode.fourcc = format.pixelformat;
                mode.width = dimensions.first;
                mode.height = dimensions.second;
                for (__u32 r = 0; r < 64; ++r) {
                    v4l2_frmivalenum interval{};
                    interval.index = r;
                    interval.pixel_format = format.pixelformat;
                    interval.width = static_cast<__u32>(mode.width);
                    interval.height = static_cast<__u32>(mode.height);
                    if (xioctl(kernel, fd, VIDIOC_ENUM_FRAMEINTERVALS, &interval) < 0) {
                        break;
                    }
                    const v4l2_fract& period = interval.type == V4L2_FRMIVAL_TYPE_DISCRETE
                                                   ? interval.discrete
                                                   : interval.stepwise.min;
                    if (period.numerator != 0) {
                        mode.rates.push_back(
                            static_cast<int>((period.denominator + period.numerator / 2) / period.numerator));
                    }
                    if (interval.type != V4L2_FRMIVAL_TYPE_DISCRETE) {
                        break;
                    }
                }
                std::sort(mode.rates.rbegin(), mode.rates.rend());
                mode.rates.erase(std::unique(mode.rates.begin(), mode.rates.end()), mode.rates.end());
                found.push_back(mode);
            }
            if (size.type != V4L2_FRMSIZE_TYPE_DISCRETE) {
                break;
            }
        }
    }
    return found;
}

std::vector<V4L2VideoDevice::Mode> V4L2VideoDevice::rank(const std::vector<Mode>& offered, int width,
                                                         int height, int rate) {
    std::vector<Mode> usable;
    for (const Mode& mode : offered) {
        if (FrameConversion::isSupported(mode.fourcc)) {
            usable.push_back(mode);
        }
    }
    // Smaller is better in every part of the key.
    auto key = [&](const Mode& mode) {
        const long sizeMiss =
            std::labs(static_cast<long>(mode.width) * mode.height - static_cast<long>(width) * height) +
            std::labs(mode.width - width);
        const bool rateOffered =
            rate > 0 ? std::find(mode.rates.begin(), mode.rates.end(), rate) != mode.rates.end() ||
                           (mode.rates.empty() || highest(mode) >= rate)
                     : highest(mode) >= 25 || mode.rates.empty();
        return std::make_tuple(sizeMiss, !rateOffered, mode.fourcc != V4L2_PIX_FMT_YUYV, -highest(mode));
    };
    std::stable_sort(usable.begin(), usable.end(),
                     [&](const Mode& a, const Mode& b) { return key(a) < key(b); });
    return usable;
}

V4L2VideoDevice::V4L2VideoDevice(const std::string& configuration, V4L2Kernel& kernel) : kernel_(kernel) {
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    std::string device;
    if (!parseConfiguration(configuration, device, askedWidth_, askedHeight_, askedRate_)) {
        fail("bad camera configuration '" + configuration +
             "' (expected [/dev/videoN] [WIDTHxHEIGHT][@RATE])");
        return;
    }
    started_ = start(device, std::string());
}

V4L2VideoDevice::~V4L2VideoDevice() {
    closeCamera();
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
    }
}

bool V4L2VideoDevice::start(const std::string& path, const std::string& card) {
    const int fd = kernel_.open(path, O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        fail("cannot open " + path + ": " + errorText(errno));
        return false;
    }
    fd_ = fd;
    std::string name;
    bool captures = false;
    if (!query(kernel_, fd_, name, captures) || !captures) {
        fail(path + " is not a camera that streams video");
        closeCamera();
        return false;
    }
    if (!card.empty() && name != card) {
        closeCamera();
        return false;
    }
    std::vector<Mode> candidates;
    if (card.empty()) {
        candidates = rank(modes(kernel_, fd_), askedWidth_, askedHeight_, askedRate_);
        if (candidates.empty()) {
            // A camera that does not list its sizes: ask for the size in each layout we read.
            for (std::uint32_t fourcc : {V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_MJPEG}) {
                candidates.push_back(Mode{fourcc, askedWidth_, askedHeight_, {}});
            }
        }
    } else {
        // A camera coming back streams as before, or not at all: the capture's buffers have
        // that size.
        candidates.push_back(Mode{fourcc_, width_, height_, {}});
    }
    if (!setFormat(path, candidates) || !startStreaming(path)) {
        closeCamera();
        return false;
    }
    path_ = path;
    card_ = name;
    return true;
}

bool V4L2VideoDevice::setFormat(const std::string& path, const std::vector<Mode>& candidates) {
    std::string refusals;
    for (const Mode& mode : candidates) {
        v4l2_format format{};
        format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        format.fmt.pix.width = static_cast<__u32>(mode.width);
        format.fmt.pix.height = static_cast<__u32>(mode.height);
        format.fmt.pix.pixelformat = mode.fourcc;
        format.fmt.pix.field = V4L2_FIELD_NONE;
        const std::string asked =
            fourccName(mode.fourcc) + " " + std::to_string(mode.width) + "x" + std::to_string(mode.height);
        if (xioctl(kernel_, fd_, VIDIOC_S_FMT, &format) < 0) {
            refusals += (refusals.empty() ? "" : "; ") + asked + ": " + errorText(errno);
            continue;
        }
        const int width = static_cast<int>(format.fmt.pix.width);
        const int height = static_cast<int>(format.fmt.pix.height);
        const bool sameSize = width == mode.width && height == mode.height;
        if (format.fmt.pix.pixelformat != mode.fourcc || width <= 0 || height <= 0 || width > 8192 ||
            height > 8192 || (fourcc_ != 0 && !sameSize) ||
            (mode.fourcc == V4L2_PIX_FMT_YUYV && width % 2 != 0)) {
            refusals += (refusals.empty() ? "" : "; ") + asked + ": the camera answered " +
                        fourccName(format.fmt.pix.pixelformat) + " " + std::to_string(width) + "x" +
                        std::to_string(height);
            continue;
        }
        fourcc_ = mode.fourcc;
        width_ = width;
        height_ = height;
        // The rate asked for, or the best the camera has at this size; a camera that cannot
        // keeps its own.
        const int rate = askedRate_ > 0 ? askedRate_ : mode.rates.empty() ? rate_ : highest(mode);
        rate_ = rate;
        if (rate > 0) {
            v4l2_streamparm parameters{};
            parameters.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            parameters.parm.capture.timeperframe.numerator = 1;
            parameters.parm.capture.timeperframe.denominator = static_cast<__u32>(rate);
            if (xioctl(kernel_, fd_, VIDIOC_S_PARM, &parameters) == 0 &&
                parameters.parm.capture.timeperframe.numerator != 0) {
                rate_ = static_cast<int>(parameters.parm.capture.timeperframe.denominator /
                                         parameters.parm.capture.timeperframe.numerator);
            }
        }
        return true;
    }
    fail(path + " offers no YUYV or Motion JPEG format we can use" +
         (refusals.empty() ? std::string() : " (" + refusals + ")"));
    return false;
}

bool V4L2VideoDevice::startStreaming(const std::string& path) {
    v4l2_requestbuffers request{};
    request.count = BufferCount;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    if (xioctl(kernel_, fd_, VIDIOC_REQBUFS, &request) < 0 || request.count < 2) {
        fail(path + " gives no streaming buffers: " +
             (request.count < 2 ? std::string("too few") : errorText(errno)));
        return false;
    }
    for (__u32 i = 0; i < request.count && i < 32; ++i) {
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        buffer.index = i;
        if (xioctl(kernel_, fd_, VIDIOC_QUERYBUF, &buffer) < 0) {
            fail(path + ": cannot query buffer " + std::to_string(i) + ": " + errorText(errno));
            return false;
        }
        void* start = kernel_.mmap(buffer.length, fd_, static_cast<off_t>(buffer.m.offset));
        if (start == MAP_FAILED) {
            fail(path + ": cannot map buffer " + std::to_string(i) + ": " + errorText(errno));
            return false;
        }
        buffers_.push_back(Buffer{start, buffer.length});
        if (xioctl(kernel_, fd_, VIDIOC_QBUF, &buffer) < 0) {
            fail(path + ": cannot queue buffer " + std::to_string(i) + ": " + errorText(errno));
            return false;
        }
    }
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (xioctl(kernel_, fd_, VIDIOC_STREAMON, &type) < 0) {
        fail(path + ": cannot start streaming: " + errorText(errno));
        return false;
    }
    frame_.assign(static_cast<std::size_t>(width_) * height_ * 4, 0);
    return true;
}

void V4L2VideoDevice::closeCamera() {
    if (fd_ < 0) {
        return;
    }
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    xioctl(kernel_, fd_, VIDIOC_STREAMOFF, &type); // fails harmlessly on a camera that is gone
    for (const Buffer& buffer : buffers_) {
        kernel_.munmap(buffer.start, buffer.length);
    }
    buffers_.clear();
    kernel_.close(fd_);
    fd_ = -1;
}

bool V4L2VideoDevice::requeue(unsigned index) {
    v4l2_buffer buffer{};
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
    buffer.index = index;
    if (xioctl(kernel_, fd_, VIDIOC_QBUF, &buffer) < 0 && (errno == ENODEV || errno == EIO)) {
        lose(errno);
        return false;
    }
    return true;
}

void V4L2VideoDevice::lose(int error) {
    closeCamera();
    lost_ = true;
    nextLook_ = std::chrono::steady_clock::now() + retryPeriod_;
    VelOS::logFailure("V4L2VideoDevice: camera \"" + card_ + "\" at " + path_ + " lost: " + errorText(error) +
                      "; looking for it every second");
}

void V4L2VideoDevice::lookForCamera() {
    const auto now = std::chrono::steady_clock::now();
    if (now < nextLook_) {
        return;
    }
    nextLook_ = now + retryPeriod_;
    // Where it was first: it usually comes back at the same node.
    std::vector<std::string> places{path_};
    for (const std::string& node : kernel_.nodes()) {
        if (node != path_) {
            places.push_back(node);
        }
    }
    for (const std::string& place : places) {
        if (start(place, card_)) {
            lost_ = false;
            VelOS::engineLog("V4L2VideoDevice: camera \"" + card_ + "\" is back at " + place);
            return;
        }
        forgetFailure(); // a node that is not it is no failure
    }
}

bool V4L2VideoDevice::grab() {
    if (lost_) {
        lookForCamera();
        return false;
    }
    if (fd_ < 0) {
        return false;
    }
    // The newest frame waiting; older ones go straight back to the camera.
    v4l2_buffer newest{};
    bool have = false;
    for (unsigned taken = 0; taken <= buffers_.size(); ++taken) {
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        if (xioctl(kernel_, fd_, VIDIOC_DQBUF, &buffer) < 0) {
            if (errno == ENODEV || errno == EIO) {
                lose(errno);
                return false;
            }
            break; // EAGAIN: nothing more waiting
        }
        if (buffer.index >= buffers_.size()) {
            continue;
        }
        if (have && !requeue(newest.index)) {
            return false;
        }
        newest = buffer;
        have = true;
    }
    if (!have) {
        return false;
    }
    const Buffer& mapped = buffers_[newest.index];
    const bool converted = (newest.flags & V4L2_BUF_FLAG_ERROR) == 0 &&
                           FrameConversion::convert(fourcc_, static_cast<const unsigned char*>(mapped.start),
                                                    std::min<std::size_t>(newest.bytesused, mapped.length),
                                                    width_, height_, frame_.data());
    return requeue(newest.index) && converted;
}

void V4L2VideoDevice::waitForFrame(int milliseconds) {
    // While lost the camera's place is -1, which poll passes over: only the wake-up counts.
    pollfd waiting[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    if (!interrupted()) {
        kernel_.poll(waiting, 2, milliseconds);
    }
}

void V4L2VideoDevice::interrupt() {
    VideoDevice::interrupt();
    if (wakeFd_ >= 0) {
        const std::uint64_t one = 1;
        if (::write(wakeFd_, &one, sizeof one) < 0) {
            // The counter is full: a wake-up is pending anyway.
        }
    }
}

std::string V4L2VideoDevice::describe() const {
    return path_ + " " + std::to_string(width_) + "x" + std::to_string(height_) + " " + fourccName(fourcc_) +
           (rate_ > 0 ? " @" + std::to_string(rate_) : std::string());
}

std::string V4L2VideoDevice::listCameras(V4L2Kernel& kernel) {
    std::ostringstream out;
    int cameras = 0;
    for (const std::string& node : kernel.nodes()) {
        const int fd = kernel.open(node, O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            out << node << ": cannot open: " << errorText(errno) << "\n";
            continue;
        }
        std::string card;
        bool captures = false;
        const bool answered = query(kernel, fd, card, captures);
        if (!answered || !captures) {
            kernel.close(fd); // metadata and output nodes of a camera
            continue;
        }
        ++cameras;
        out << node << ": \"" << card << "\"\n";
        const std::vector<Mode> offered = modes(kernel, fd);
        kernel.close(fd);
        if (offered.empty()) {
            out << "  lists no sizes; try \"" << node << " 640x480\"\n";
        }
        for (const Mode& mode : offered) {
            out << "  " << fourccName(mode.fourcc) << " " << mode.width << "x" << mode.height;
            if (!mode.rates.empty()) {
                out << " at";
                for (std::size_t i = 0; i < mode.rates.size(); ++i) {
                    out << (i == 0 ? " " : ", ") << mode.rates[i];
                }
                out << " fps";
            }
            if (!FrameConversion::isSupported(mode.fourcc)) {
                out << ": not a format the player reads\n";
                continue;
            }
            const std::string size = std::to_string(mode.width) + "x" + std::to_string(mode.height);
            const std::string text =
                node + " " + size + (mode.rates.empty() ? "" : "@" + std::to_string(highest(mode)));
            const std::vector<Mode> chosen = rank(offered, mode.width, mode.height, highest(mode));
            if (!chosen.empty() && chosen.front().fourcc == mode.fourcc) {
                out << ": \"" << text << "\"\n";
            } else {
                out << ": (\"" << text << "\" takes " << fourccName(chosen.front().fourcc) << ")\n";
            }
        }
    }
    if (cameras == 0) {
        out << "No camera found (looked at /dev/video*).\n";
    }
    return out.str();
}
