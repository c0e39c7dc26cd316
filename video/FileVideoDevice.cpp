#include "video/FileVideoDevice.h"

#include "platform/enginelog.h"
#include "platform/pathguard.h"

#include <OGRE/OgreDataStream.h>
#include <OGRE/OgreImage.h>
#include <OGRE/OgrePixelFormat.h>

#include "video/PictureSize.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

std::string lowerExtension(const std::string& name) {
    const std::string::size_type dot = name.rfind('.');
    std::string extension = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

bool isImageName(const std::string& name) {
    const std::string extension = lowerExtension(name);
    return extension == "png" || extension == "jpg" || extension == "jpeg" || extension == "ppm" ||
           extension == "bmp";
}

// The folders the operator named in VELQUIN_RECORDINGS (separated by ":"), each ending in "/".
std::vector<std::string> operatorFolders() {
    std::vector<std::string> folders;
    const char* value = std::getenv(FileVideoDevice::RecordingsVariable);
    std::string list = value != nullptr ? value : "";
    std::string::size_type start = 0;
    while (start <= list.size()) {
        std::string::size_type end = list.find(':', start);
        if (end == std::string::npos) {
            end = list.size();
        }
        std::string folder = list.substr(start, end - start);
        // Only absolute folders: a relative one would depend on where the player was started.
        if (!folder.empty() && folder[0] == '/') {
            if (folder.back() != '/') {
                folder += '/';
            }
            folders.push_back(folder);
        }
        start = end + 1;
    }
    return folders;
}

// The path inside the player's folder, the work directory or a folder the operator named, if
// it names something there; otherwise empty, with the reason in why. inPlayerFolder tells whether
// it lies in the player's own folder, whose entries may be links (the installed player runs from
// a folder of links to its files).
std::string locate(const std::string& path, const std::string& workDirectory, bool& inPlayerFolder,
                   std::string& why) {
    char* here = getcwd(nullptr, 0);
    const std::string current = here != nullptr ? here : ".";
    std::free(here);
    const std::vector<std::string> folders = operatorFolders();
    std::vector<std::pair<std::string, std::string>> places; // base, name inside it
    for (const std::string& base : {current, workDirectory}) {
        places.emplace_back(base, path);
    }
    for (const std::string& folder : folders) {
        // An absolute path is accepted when it lies in an operator's folder.
        if (path.compare(0, folder.size(), folder) == 0) {
            places.emplace_back(folder, path.substr(folder.size()));
        } else {
            places.emplace_back(folder, path);
        }
    }
    bool inside = false;
    for (const auto& place : places) {
        std::string resolved;
        struct stat info {};
        if (place.first.empty() || !VelOS::resolveInside(place.first, place.second, resolved)) {
            continue;
        }
        inside = true;
        if (stat(resolved.c_str(), &info) == 0) {
            inPlayerFolder = &place == &places.front();
            return resolved;
        }
    }
    const bool plainName = !path.empty() && path[0] != '/' && path.find("..") == std::string::npos;
    if (!inside && plainName) {
        why = "path '" + path + "' passes through a symbolic link, which recordings may not";
        return std::string();
    }
    why = (inside ? "no recording at '" + path + "'"
                  : "path '" + path + "' is outside the player's folder and work directory" +
                        (folders.empty()
                             ? std::string()
                             : " and the folders of " + std::string(FileVideoDevice::RecordingsVariable)));
    return std::string();
}

// Bytes of decoded frames a device keeps, from VELQUIN_CAMERA_CACHE_MB (whole megabytes, 0
// keeps none) or the default.
std::size_t cacheBudget() {
    long long megabytes = FileVideoDevice::DefaultCacheMegabytes;
    if (const char* value = std::getenv(FileVideoDevice::CacheVariable)) {
        char* end = nullptr;
        const long long asked = std::strtoll(value, &end, 10);
        if (end != value && *end == '\0' && asked >= 0 && asked <= 1024 * 1024) {
            megabytes = asked;
        } else {
            VelOS::engineLog(std::string("FileVideoDevice: ") + FileVideoDevice::CacheVariable + "='" +
                             value + "' is no number of megabytes; keeping " + std::to_string(megabytes));
        }
    }
    return static_cast<std::size_t>(megabytes) * 1024 * 1024;
}

// Reads a whole regular file of at most MaximumFileBytes, following a link only when asked; a
// pipe or device is refused before it is read from (opened without waiting, so that a pipe
// cannot block).
bool readRegularFile(const std::string& path, bool followLink, std::string& bytes, std::string& reason) {
    const int fd = ::open(path.c_str(), O_RDONLY | (followLink ? 0 : O_NOFOLLOW) | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        reason = errno == ELOOP ? "it is a symbolic link" : std::strerror(errno);
        return false;
    }
    struct stat info {};
    bool read = false;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        reason = "it is not a regular file";
    } else if (info.st_size > FileVideoDevice::MaximumFileBytes) {
        reason = "it is larger than " + std::to_string(FileVideoDevice::MaximumFileBytes) + " bytes";
    } else {
        bytes.resize(static_cast<std::size_t>(info.st_size));
        std::size_t got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::read(fd, &bytes[got], bytes.size() - got);
            if (n <= 0) {
                break;
            }
            got += static_cast<std::size_t>(n);
        }
        bytes.resize(got);
        read = true;
    }
    ::close(fd);
    return read;
}

} // namespace

FileVideoDevice::FileVideoDevice(const std::string& configuration, const std::string& workDirectory) {
    std::string path = configuration;
    const std::string::size_type at = path.rfind('@');
    if (at != std::string::npos) {
        char* end = nullptr;
        const double rate = std::strtod(path.c_str() + at + 1, &end);
        if (end != path.c_str() + at + 1 && *end == '\0' && rate > 0.0 && rate <= 1000.0) {
            rate_ = rate;
            path.erase(at);
        }
    }
    while (!path.empty() && std::isspace(static_cast<unsigned char>(path.back()))) {
        path.pop_back();
    }
    std::string why;
    const std::string located = locate(path, workDirectory, followLinks_, why);
    if (located.empty()) {
        fail(why);
        return;
    }
    cacheBudget_ = cacheBudget();
    struct stat info {};
    lstat(located.c_str(), &info);
    if (S_ISDIR(info.st_mode)) {
        std::vector<std::string> names;
        if (DIR* folder = opendir(located.c_str())) {
            while (const dirent* entry = readdir(folder)) {
                // Only the folder's own regular files: a link could lead anywhere, a device or
                // a pipe could block the capture for good.
                struct stat entryInfo {};
                const std::string entryPath = located + "/" + entry->d_name;
                const int found =
                    followLinks_ ? stat(entryPath.c_str(), &entryInfo) : lstat(entryPath.c_str(), &entryInfo);
                if (isImageName(entry->d_name) && found == 0 && S_ISREG(entryInfo.st_mode)) {
                    names.push_back(entry->d_name);
                }
            }
            closedir(folder);
        }
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            if (paths_.size() >= MaximumFrames) {
                break;
            }
            paths_.push_back(located + "/" + name);
        }
    } else {
        paths_.push_back(located);
    }
    // The first picture that reads gives the size; the others are read when first played, on
    // the capture thread, so that opening a long recording costs nothing.
    frames_.resize(paths_.size());
    unreadable_.assign(paths_.size(), false);
    for (std::size_t i = 0; i < paths_.size() && width_ == 0; ++i) {
        decode(i);
    }
    if (width_ == 0) {
        fail(paths_.empty() ? "no pictures (PNG, JPEG, PPM, BMP) in '" + path + "'"
                            : "no picture of '" + path + "' could be read (" + lastFailure_ + ")");
    }
    due_ = std::chrono::steady_clock::now();
}

bool FileVideoDevice::decode(std::size_t index) {
    if (!frames_[index].empty() || looseIndex_ == index) {
        return true;
    }
    if (unreadable_[index]) {
        return false;
    }
    std::vector<unsigned char> frame;
    if (!load(paths_[index], frame)) {
        unreadable_[index] = true;
        return false;
    }
    if (cachedBytes_ + frame.size() <= cacheBudget_) {
        cachedBytes_ += frame.size();
        frames_[index] = std::move(frame);
    } else {
        loose_ = std::move(frame);
        looseIndex_ = index;
    }
    return true;
}

const std::vector<unsigned char>& FileVideoDevice::pixelsOf(std::size_t index) const {
    return index == looseIndex_ && frames_[index].empty() ? loose_ : frames_[index];
}

bool FileVideoDevice::load(const std::string& path, std::vector<unsigned char>& frame) {
    std::string bytes;
    std::string reason;
    if (!readRegularFile(path, followLinks_, bytes, reason)) {
        VelOS::engineLog("FileVideoDevice: cannot read " + path + ": " + reason);
        lastFailure_ = "cannot read " + path + ": " + reason;
        return false;
    }
    int declaredWidth = 0;
    int declaredHeight = 0;
    if (!PictureSize::read(bytes, declaredWidth, declaredHeight)) {
        reason = "not a PNG, JPEG, PPM or BMP picture";
    } else {
        PictureSize::acceptable(declaredWidth, declaredHeight, reason);
    }
    if (!reason.empty()) {
        VelOS::engineLog("FileVideoDevice: refused " + path + ": " + reason);
        lastFailure_ = "refused " + path + ": " + reason;
        return false;
    }
    try {
        Ogre::DataStreamPtr stream(new Ogre::MemoryDataStream(&bytes[0], bytes.size(), false, true));
        Ogre::Image image;
        image.load(stream, lowerExtension(path));
        std::string refusal;
        if (!PictureSize::acceptable(static_cast<int>(image.getWidth()), static_cast<int>(image.getHeight()),
                                     refusal)) {
            VelOS::engineLog("FileVideoDevice: refused " + path + ": " + refusal);
            return false; // the header said otherwise than the picture
        }
        if (width_ == 0) {
            width_ = static_cast<int>(image.getWidth());
            height_ = static_cast<int>(image.getHeight());
        } else if (static_cast<int>(image.getWidth()) != width_ ||
                   static_cast<int>(image.getHeight()) != height_) {
            image.resize(static_cast<Ogre::ushort>(width_), static_cast<Ogre::ushort>(height_));
        }
        std::vector<unsigned char> pixels(static_cast<std::size_t>(width_) * height_ * 4);
        Ogre::PixelBox target(width_, height_, 1, Ogre::PF_A8R8G8B8, pixels.data());
        Ogre::PixelUtil::bulkPixelConversion(image.getPixelBox(), target);
        // Turned by 180 degrees, as cameras deliver frames here (see VideoDevice): the pixels in
        // reverse order.
        auto* words = reinterpret_cast<uint32_t*>(pixels.data());
        std::reverse(words, words + static_cast<std::size_t>(width_) * height_);
        frame = std::move(pixels);
        return true;
    } catch (const std::exception& error) {
        VelOS::engineLog("FileVideoDevice: cannot read " + path + ": " + error.what());
        lastFailure_ = "cannot read " + path + ": " + error.what();
        return false;
    }
}

bool FileVideoDevice::grab() {
    if (!isValid()) {
        return false;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now < due_) {
        return false;
    }
    // The next picture that reads; one that does not is skipped for good.
    std::size_t tries = 0;
    while (!decode(next_) && ++tries < paths_.size()) {
        next_ = (next_ + 1) % paths_.size();
    }
    if (!decode(next_)) {
        return false;
    }
    const auto period = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(1.0 / rate_));
    current_ = next_;
    next_ = (next_ + 1) % paths_.size();
    due_ += period;
    if (due_ < now) {
        due_ = now + period; // fell behind: keep the rate, drop the backlog
    }
    return true;
}

const unsigned char* FileVideoDevice::currentBuffer() const {
    if (frames_.empty()) {
        return nullptr;
    }
    const std::vector<unsigned char>& pixels = pixelsOf(current_);
    return pixels.empty() ? nullptr : pixels.data();
}

void FileVideoDevice::waitForFrame(int milliseconds) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    pauseUntil(std::min(limit, due_));
}
