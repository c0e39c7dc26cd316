#include "video/V4L2Kernel.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

class SystemKernel : public V4L2Kernel {
public:
    std::vector<std::string> nodes() override {
        std::vector<std::string> found;
        if (DIR* folder = opendir("/dev")) {
            while (const dirent* entry = readdir(folder)) {
                const std::string name = entry->d_name;
                if (name.compare(0, 5, "video") == 0) {
                    found.push_back("/dev/" + name);
                }
            }
            closedir(folder);
        }
        // video2 before video10.
        std::sort(found.begin(), found.end(), [](const std::string& a, const std::string& b) {
            return a.size() != b.size() ? a.size() < b.size() : a < b;
        });
        return found;
    }
    int open(const std::string& path, int flags) override { return ::open(path.c_str(), flags); }
    int close(int fd) override { return ::close(fd); }
    int ioctl(int fd, unsigned long request, void* argument) override {
        return ::ioctl(fd, request, argument);
    }
    void* mmap(std::size_t length, int fd, off_t offset) override {
        return ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, offset);
    }
    int munmap(void* address, std::size_t length) override { return ::munmap(address, length); }
    int poll(pollfd* fds, nfds_t count, int timeoutMilliseconds) override {
        return ::poll(fds, count, timeoutMilliseconds);
    }
};

} // namespace

V4L2Kernel& V4L2Kernel::system() {
    static SystemKernel kernel;
    return kernel;
}

int xioctl(V4L2Kernel& kernel, int fd, unsigned long request, void* argument) {
    int result = 0;
    do {
        result = kernel.ioctl(fd, request, argument);
    } while (result == -1 && errno == EINTR);
    return result;
}
