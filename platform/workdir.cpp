#include "platform/workdir.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace VelOS {

namespace {

std::string temporaryPath() {
    const char* tmp = std::getenv("TMPDIR");
    std::string path = (tmp != nullptr && *tmp != '\0') ? tmp : "/tmp";
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

bool isOwnPrivateDirectory(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) {
        return false;
    }
    return S_ISDIR(info.st_mode) && info.st_uid == geteuid();
}

} // namespace

std::string getWorkDirectory(bool create) {
    const std::string directory = temporaryPath() + "/Velquin-" + std::to_string(getpid());
    if (create) {
        if (mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
            return std::string();
        }
        if (!isOwnPrivateDirectory(directory)) {
            return std::string();
        }
    }
    return directory + "/";
}

} // namespace VelOS
