#pragma once

// A scripted Video4Linux2 kernel: cameras plugged in at nodes, each offering formats, sizes and
// rates; frames served on demand; formats refused, EAGAIN answers, and unplugging mid-stream
// (ENODEV on every open handle). Every call and every script step takes the fake's mutex, so a
// test may script it from its own thread while a capture thread streams.
#include "video/V4L2Kernel.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <linux/videodev2.h>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <sys/mman.h>
#include <vector>

struct FakeCamera {
    struct Size {
        int width, height;
        std::vector<int> rates;
    };
    struct Format {
        std::uint32_t fourcc;
        std::vector<Size> sizes;
    };
    std::string card = "Fake Camera";
    std::vector<Format> formats;
    std::set<std::uint32_t> refused; // S_FMT answers EINVAL
    bool captures = true;            // false: a metadata node
};

class FakeV4L2Kernel : public V4L2Kernel {
public:
    void plug(const std::string& node, const FakeCamera& camera) {
        std::lock_guard<std::mutex> hold(mutex_);
        Node& plugged = nodes_[node];
        plugged.camera = camera;
        plugged.generation = ++generation_;
        plugged.pending.clear();
    }
    // Every handle open on the node answers ENODEV from now on.
    void unplug(const std::string& node) {
        std::lock_guard<std::mutex> hold(mutex_);
        nodes_.erase(node);
    }
    // One frame of the camera's current format, delivered by the next DQBUF.
    void serve(const std::string& node, const std::string& bytes) {
        std::lock_guard<std::mutex> hold(mutex_);
        nodes_.at(node).pending.push_back(bytes);
    }
    // The next count DQBUF calls answer EAGAIN whatever is waiting.
    void answerEagain(int count) {
        std::lock_guard<std::mutex> hold(mutex_);
        eagain_ = count;
    }
    int openHandles() {
        std::lock_guard<std::mutex> hold(mutex_);
        return static_cast<int>(handles_.size());
    }
    // The format the last S_FMT settled on.
    std::uint32_t streamedFormat() {
        std::lock_guard<std::mutex> hold(mutex_);
        return lastFormat_;
    }

    std::vector<std::string> nodes() override {
        std::lock_guard<std::mutex> hold(mutex_);
        std::vector<std::string> names;
        for (const auto& node : nodes_) {
            names.push_back(node.first);
        }
        return names;
    }
    int open(const std::string& path, int) override {
        std::lock_guard<std::mutex> hold(mutex_);
        auto node = nodes_.find(path);
        if (node == nodes_.end()) {
            errno = ENOENT;
            return -1;
        }
        const int fd = nextFd_++;
        Handle& handle = handles_[fd];
        handle.path = path;
        handle.generation = node->second.generation;
        return fd;
    }
    int close(int fd) override {
        std::lock_guard<std::mutex> hold(mutex_);
        return handles_.erase(fd) == 1 ? 0 : (errno = EBADF, -1);
    }
    void* mmap(std::size_t length, int fd, off_t offset) override {
        std::lock_guard<std::mutex> hold(mutex_);
        Handle* handle = live(fd);
        const std::size_t index = static_cast<std::size_t>(offset) / Stride;
        if (handle == nullptr || index >= handle->buffers.size() || length > handle->buffers[index].size()) {
            errno = EINVAL;
            return MAP_FAILED;
        }
        return handle->buffers[index].data();
    }
    int munmap(void*, std::size_t) override { return 0; }
    int poll(pollfd* fds, nfds_t count, int timeout) override {
        std::vector<pollfd> real;
        {
            std::lock_guard<std::mutex> hold(mutex_);
            int ready = 0;
            for (nfds_t i = 0; i < count; ++i) {
                auto handle = handles_.find(fds[i].fd);
                if (handle == handles_.end()) {
                    if (fds[i].fd >= 0 && fds[i].fd < FirstFd) {
                        real.push_back(fds[i]);
                    }
                    continue;
                }
                Handle* alive = live(fds[i].fd);
                fds[i].revents = alive == nullptr                               ? POLLERR
                                 : !nodes_[handle->second.path].pending.empty() ? POLLIN
                                                                                : 0;
                ready += fds[i].revents != 0;
            }
            if (ready > 0) {
                return ready;
            }
        }
        // Nothing from the camera: wait a little on the real descriptors (the wake-up).
        return ::poll(real.data(), real.size(), std::min(timeout, 2));
    }
    int ioctl(int fd, unsigned long request, void* argument) override {
        std::lock_guard<std::mutex> hold(mutex_);
        Handle* handle = live(fd);
        if (handle == nullptr) {
            errno = handles_.count(fd) ? ENODEV : EBADF;
            return -1;
        }
        Node& node = nodes_[handle->path];
        const FakeCamera& camera = node.camera;
        switch (request) {
        case VIDIOC_QUERYCAP: {
            auto* capability = static_cast<v4l2_capability*>(argument);
            std::memset(capability, 0, sizeof *capability);
            std::strncpy(reinterpret_cast<char*>(capability->card), camera.card.c_str(),
                         sizeof capability->card - 1);
            capability->device_caps =
                camera.captures ? V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING : V4L2_CAP_META_CAPTURE;
            capability->capabilities = capability->device_caps | V4L2_CAP_DEVICE_CAPS;
            return 0;
        }
        case VIDIOC_ENUM_FMT: {
            auto* format = static_cast<v4l2_fmtdesc*>(argument);
            if (format->index >= camera.formats.size()) {
                return fail(EINVAL);
            }
            format->pixelformat = camera.formats[format->index].fourcc;
            return 0;
        }
        case VIDIOC_ENUM_FRAMESIZES: {
            auto* size = static_cast<v4l2_frmsizeenum*>(argument);
            const FakeCamera::Format* format = find(camera, size->pixel_format);
            if (format == nullptr || size->index >= format->sizes.size()) {
                return fail(EINVAL);
            }
            size->type = V4L2_FRMSIZE_TYPE_DISCRETE;
            size->discrete.width = static_cast<__u32>(format->sizes[size->index].width);
            size->discrete.height = static_cast<__u32>(format->sizes[size->index].height);
            return 0;
        }
        case VIDIOC_ENUM_FRAMEINTERVALS: {
            auto* interval = static_cast<v4l2_frmivalenum*>(argument);
            const FakeCamera::Size* size =
                findSize(camera, interval->pixel_format, static_cast<int>(interval->width),
                         static_cast<int>(interval->height));
            if (size == nullptr || interval->index >= size->rates.size()) {
                return fail(EINVAL);
            }
            interval->type = V4L2_FRMIVAL_TYPE_DISCRETE;
            interval->discrete = {1, static_cast<__u32>(size->rates[interval->index])};
            return 0;
        }
        case VIDIOC_S_FMT: {
            auto* format = static_cast<v4l2_format*>(argument);
            if (camera.refused.count(format->fmt.pix.pixelformat) != 0) {
                return fail(EINVAL);
            }
            // As drivers do: an unknown layout becomes the camera's first, a size the nearest.
            const FakeCamera::Format* chosen = find(camera, format->fmt.pix.pixelformat);
            if (chosen == nullptr) {
                chosen = &camera.formats.front();
            }
            const FakeCamera::Size* best = &chosen->sizes.front();
            for (const FakeCamera::Size& size : chosen->sizes) {
                if (std::abs(size.width - static_cast<int>(format->fmt.pix.width)) <
                    std::abs(best->width - static_cast<int>(format->fmt.pix.width))) {
                    best = &size;
                }
            }
            format->fmt.pix.pixelformat = chosen->fourcc;
            format->fmt.pix.width = static_cast<__u32>(best->width);
            format->fmt.pix.height = static_cast<__u32>(best->height);
            format->fmt.pix.sizeimage = static_cast<__u32>(best->width * best->height * 2);
            handle->imageSize = format->fmt.pix.sizeimage;
            lastFormat_ = chosen->fourcc;
            return 0;
        }
        case VIDIOC_S_PARM:
            return 0;
        case VIDIOC_REQBUFS: {
            auto* request = static_cast<v4l2_requestbuffers*>(argument);
            request->count = std::min<__u32>(request->count, 4);
            handle->buffers.assign(request->count, std::vector<unsigned char>(handle->imageSize));
            handle->queued.clear();
            return 0;
        }
        case VIDIOC_QUERYBUF: {
            auto* buffer = static_cast<v4l2_buffer*>(argument);
            if (buffer->index >= handle->buffers.size()) {
                return fail(EINVAL);
            }
            buffer->length = static_cast<__u32>(handle->buffers[buffer->index].size());
            buffer->m.offset = buffer->index * Stride;
            return 0;
        }
        case VIDIOC_QBUF: {
            auto* buffer = static_cast<v4l2_buffer*>(argument);
            if (buffer->index >= handle->buffers.size() || !handle->queued.insert(buffer->index).second) {
                return fail(EINVAL);
            }
            return 0;
        }
        case VIDIOC_DQBUF: {
            auto* buffer = static_cast<v4l2_buffer*>(argument);
            if (eagain_ > 0) {
                --eagain_;
                return fail(EAGAIN);
            }
            if (!handle->streaming || node.pending.empty() || handle->queued.empty()) {
                return fail(EAGAIN);
            }
            const unsigned index = *handle->queued.begin();
            handle->queued.erase(index);
            std::vector<unsigned char>& memory = handle->buffers[index];
            const std::string& bytes = node.pending.front();
            const std::size_t size = std::min(bytes.size(), memory.size());
            std::memcpy(memory.data(), bytes.data(), size);
            node.pending.pop_front();
            buffer->index = index;
            buffer->bytesused = static_cast<__u32>(size);
            buffer->flags = 0;
            return 0;
        }
        case VIDIOC_STREAMON:
            handle->streaming = true;
            return 0;
        case VIDIOC_STREAMOFF:
            handle->streaming = false;
            return 0;
        default:
            return fail(ENOTTY);
        }
    }

private:
    static constexpr off_t Stride = 0x1000000; // buffer offsets: index x stride
    static constexpr int FirstFd = 1000;       // fake handles; real descriptors stay below
    struct Node {
        FakeCamera camera;
        int generation = 0;
        std::deque<std::string> pending;
    };
    struct Handle {
        std::string path;
        int generation = 0;
        std::size_t imageSize = 0;
        std::vector<std::vector<unsigned char>> buffers;
        std::set<unsigned> queued;
        bool streaming = false;
    };
    static int fail(int error) {
        errno = error;
        return -1;
    }
    // The handle, if its camera is still the one it opened.
    Handle* live(int fd) {
        auto handle = handles_.find(fd);
        if (handle == handles_.end()) {
            return nullptr;
        }
        auto node = nodes_.find(handle->second.path);
        return node != nodes_.end() && node->second.generation == handle->second.generation ? &handle->second
                                                                                            : nullptr;
    }
    static const FakeCamera::Format* find(const FakeCamera& camera, std::uint32_t fourcc) {
        for (const FakeCamera::Format& format : camera.formats) {
            if (format.fourcc == fourcc) {
                return &format;
            }
        }
        return nullptr;
    }
    static const FakeCamera::Size* findSize(const FakeCamera& camera, std::uint32_t fourcc, int width,
                                            int height) {
        const FakeCamera::Format* format = find(camera, fourcc);
        if (format != nullptr) {
            for (const FakeCamera::Size& size : format->sizes) {
                if (size.width == width && size.height == height) {
                    return &size;
                }
            }
        }
        return nullptr;
    }

    std::mutex mutex_;
    std::map<std::string, Node> nodes_;
    std::map<int, Handle> handles_;
    int nextFd_ = FirstFd;
    int generation_ = 0;
    int eagain_ = 0;
    std::uint32_t lastFormat_ = 0;
};

// A usual USB camera: YUYV up to 640x480 at full rate, Motion JPEG for 720p.
inline FakeCamera webcam(const std::string& card = "Fake Camera") {
    FakeCamera camera;
    camera.card = card;
    camera.formats = {{V4L2_PIX_FMT_YUYV, {{640, 480, {30, 15}}, {1280, 720, {10}}}},
                      {V4L2_PIX_FMT_MJPEG, {{640, 480, {30}}, {1280, 720, {30, 15}}}}};
    return camera;
}

// A YUYV frame: the first two pixels black, every other one white.
inline std::string yuyvFrame(int width, int height) {
    std::string bytes;
    for (int i = 0; i < width * height / 2; ++i) {
        const char luma = i == 0 ? 16 : static_cast<char>(235);
        bytes += luma;
        bytes += static_cast<char>(128);
        bytes += luma;
        bytes += static_cast<char>(128);
    }
    return bytes;
}
