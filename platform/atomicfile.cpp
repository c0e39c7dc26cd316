#include "platform/atomicfile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace VelOS {

namespace {

std::string folderOf(const std::string& path) {
    const std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

bool flushToDisk(const std::string& path, int flags) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool flushed = ::fsync(fd) == 0 || errno == EINVAL; // some file systems cannot sync a folder
    ::close(fd);
    return flushed;
}

} // namespace

bool createTemporaryBeside(const std::string& path, std::string& temporary) {
    const std::string::size_type slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string pattern = folder + "." + name + ".part-XXXXXX";
    const int fd = ::mkstemp(&pattern[0]);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    temporary = pattern;
    return true;
}

bool replaceWith(const std::string& temporary, const std::string& path) {
    if (!flushToDisk(temporary, O_RDONLY) || ::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    flushToDisk(folderOf(path), O_RDONLY | O_DIRECTORY);
    return true;
}

} // namespace VelOS
