#include "platform/DiskBudget.h"

#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <vector>

namespace VelOS {

DiskBudget& DiskBudget::instance() {
    static DiskBudget budget;
    return budget;
}

std::uint64_t DiskBudget::bytesBelow(const std::string& directory) {
    std::uint64_t total = 0;
    std::vector<std::string> folders{directory};
    while (!folders.empty()) {
        const std::string folder = folders.back();
        folders.pop_back();
        DIR* listing = ::opendir(folder.c_str());
        if (listing == nullptr) {
            continue;
        }
        while (const dirent* entry = ::readdir(listing)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..") {
                continue;
            }
            const std::string path = folder + (folder.back() == '/' ? "" : "/") + name;
            struct stat info {};
            if (::lstat(path.c_str(), &info) != 0) {
                continue;
            }
            if (S_ISDIR(info.st_mode)) {
                folders.push_back(path);
            } else if (S_ISREG(info.st_mode)) {
                total += static_cast<std::uint64_t>(info.st_size);
            }
        }
        ::closedir(listing);
    }
    return total;
}

std::uint64_t DiskBudget::freeBytes(const std::string& directory) {
    struct statvfs disk {};
    if (::statvfs(directory.c_str(), &disk) != 0) {
        return UINT64_MAX;
    }
    return static_cast<std::uint64_t>(disk.f_bavail) * disk.f_frsize;
}

void DiskBudget::setUp(const std::string& workDirectory, std::uint64_t bound) {
    if (bound == 0) {
        const char* text = std::getenv(BoundVariable);
        char* end = nullptr;
        const unsigned long long megabytes = text != nullptr ? std::strtoull(text, &end, 10) : 0;
        if (text != nullptr && *text != '\0' && *end == '\0' && megabytes > 0 && megabytes < (1ull << 30)) {
            bound = megabytes * MiB;
        } else {
            const std::uint64_t free = freeBytes(workDirectory);
            bound = free == UINT64_MAX ? UINT64_MAX : free / 2 + bytesBelow(workDirectory);
        }
    }
    std::lock_guard<std::mutex> hold(mutex_);
    directory_ = workDirectory;
    bound_ = bound;
}

bool DiskBudget::reserve(std::uint64_t bytes, std::string& reason) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (directory_.empty()) {
        reserved_ += bytes;
        return true;
    }
    // Measured while holding the lock, so that two writers asking at once see each other.
    const std::uint64_t held = bytesBelow(directory_);
    const std::uint64_t free = freeBytes(directory_);
    if (bound_ != UINT64_MAX && (bytes > bound_ || held + reserved_ + bytes > bound_)) {
        reason = "the work directory would hold more than " + std::to_string(bound_ / MiB) + " MiB (" +
                 BoundVariable + "): " + std::to_string(held / MiB) + " MiB there, " +
                 std::to_string(reserved_ / MiB) + " MiB being written, " + std::to_string(bytes / MiB) +
                 " MiB asked";
        return false;
    }
    if (free != UINT64_MAX && (free < DiskReserve || free - DiskReserve < reserved_ + bytes)) {
        reason = "not enough free disk space for " + std::to_string(bytes) + " bytes (" +
                 std::to_string(reserved_) + " more being written)";
        return false;
    }
    reserved_ += bytes;
    return true;
}

void DiskBudget::release(std::uint64_t bytes) {
    std::lock_guard<std::mutex> hold(mutex_);
    reserved_ = bytes > reserved_ ? 0 : reserved_ - bytes;
}

std::uint64_t DiskBudget::bound() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return bound_;
}

std::uint64_t DiskBudget::reserved() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return reserved_;
}

bool DiskBudget::Reservation::take(std::uint64_t bytes, std::string& reason) {
    reset();
    if (!DiskBudget::instance().reserve(bytes, reason)) {
        return false;
    }
    bytes_ = bytes;
    return true;
}

void DiskBudget::Reservation::reset() {
    if (bytes_ > 0) {
        DiskBudget::instance().release(bytes_);
        bytes_ = 0;
    }
}

} // namespace VelOS
