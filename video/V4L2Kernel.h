#pragma once

#include <cstddef>
#include <poll.h>
#include <string>
#include <sys/types.h>
#include <vector>

// The few kernel calls a Video4Linux2 camera needs, behind one interface so that the device
// code can be driven by a scripted camera in the tests. Each call keeps the system's
// convention: -1 (or MAP_FAILED) with errno set on failure.
//
// Threads: a device uses its kernel from the thread that owns the device at the time; the
// system kernel has no state, and a fake says in its own header how it is shared.
class V4L2Kernel {
public:
    virtual ~V4L2Kernel() = default;
    // The video nodes present now (/dev/video0, /dev/video1, ...), in name order.
    virtual std::vector<std::string> nodes() = 0;
    virtual int open(const std::string& path, int flags) = 0;
    virtual int close(int fd) = 0;
    virtual int ioctl(int fd, unsigned long request, void* argument) = 0;
    virtual void* mmap(std::size_t length, int fd, off_t offset) = 0;
    virtual int munmap(void* address, std::size_t length) = 0;
    virtual int poll(pollfd* fds, nfds_t count, int timeoutMilliseconds) = 0;

    // The real kernel.
    static V4L2Kernel& system();
};

// ioctl again while it is interrupted by a signal; the result of the last call.
int xioctl(V4L2Kernel& kernel, int fd, unsigned long request, void* argument);
