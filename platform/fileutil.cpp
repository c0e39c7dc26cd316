#include "platform/fileutil.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace VelOS {

namespace {

// Closes a descriptor when it leaves scope.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

private:
    int fd_;
};

bool writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

// Empties the directory open at dirFd. Works on descriptors so that no link inside the tree
// can send the removal elsewhere.
bool removeContents(int dirFd) {
    int listFd = ::dup(dirFd);
    if (listFd < 0) {
        return false;
    }
    DIR* dir = ::fdopendir(listFd);
    if (dir == nullptr) {
        ::close(listFd);
        return false;
    }
    bool ok = true;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (entry == nullptr) {
            ok = (errno == 0);
            break;
        }
        const std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        struct stat info {};
        if (::fstatat(dirFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            ok = false;
            break;
        }
        if (S_ISDIR(info.st_mode)) {
            FileDescriptor child(
                ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!child.valid()) {
                ok = false;
                break;
            }
            if ((info.st_mode & S_IRWXU) != S_IRWXU) {
                ::fchmod(child.get(), info.st_mode | S_IRWXU);
            }
            if (!removeContents(child.get())) {
                ok = false;
                break;
            }
            ::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR);
        } else {
            if (S_ISREG(info.st_mode) && (info.st_mode & S_IWUSR) == 0) {
                // Whether it worked shows in the unlink below.
                const int writable = ::fchmodat(dirFd, name.c_str(), info.st_mode | S_IWUSR, 0);
                static_cast<void>(writable);
            }
            if (::unlinkat(dirFd, name.c_str(), 0) != 0) {
                ok = false;
                break;
            }
        }
    }
    ::closedir(dir);
    return ok;
}

} // namespace

bool createDirectory(const std::string& path) {
    ::mkdir(path.c_str(), 0700);
    return true;
}

bool deleteFile(const std::string& path) {
    ::unlink(path.c_str());
    return true;
}

bool isFile(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

bool copyFile(const std::string& source, const std::string& target) {
    FileDescriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in.valid()) {
        return true;
    }
    struct stat sourceInfo {};
    struct stat targetInfo {};
    if (::fstat(in.get(), &sourceInfo) != 0 || !S_ISREG(sourceInfo.st_mode)) {
        return true;
    }
    if (::stat(target.c_str(), &targetInfo) == 0 && targetInfo.st_dev == sourceInfo.st_dev &&
        targetInfo.st_ino == sourceInfo.st_ino) {
        return true; // truncating the target would destroy the source
    }
    FileDescriptor out(::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!out.valid()) {
        return true;
    }
    std::vector<char> buffer(1 << 16);
    for (;;) {
        ssize_t got = ::read(in.get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0 || !writeAll(out.get(), buffer.data(), static_cast<size_t>(got))) {
            break;
        }
    }
    return true;
}

bool removeDirectoryTree(const std::string& directory) {
    std::string path = directory;
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    FileDescriptor top(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!top.valid()) {
        return false;
    }
    struct stat info {};
    if (::fstat(top.get(), &info) == 0 && (info.st_mode & S_IRWXU) != S_IRWXU) {
        ::fchmod(top.get(), info.st_mode | S_IRWXU);
    }
    if (!removeContents(top.get())) {
        return false;
    }
    return ::rmdir(path.c_str()) == 0;
}

std::string fileNameOf(const std::string& path) {
    std::string::size_type separator = path.rfind('/');
    if (separator == std::string::npos) {
        separator = path.rfind('\\');
    }
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

namespace {

std::mutex groupsLock;        // guards viewerGroups
std::set<pid_t> viewerGroups; // process groups of the openers started, and of their viewers

// Starts xdg-open on the file; 0 when it could not be started.
pid_t startOpener(const std::string& file) {
    // A name starting with "-" would be read as an option.
    const std::string target = (!file.empty() && file[0] == '-') ? "./" + file : file;
    char program[] = "xdg-open";
    std::vector<char> argument(target.begin(), target.end());
    argument.push_back('\0');
    char* argv[] = {program, argument.data(), nullptr};
    // In a process group of its own, which the viewer it starts joins: the player ends them
    // together when it ends (endOpenedViewers).
    posix_spawnattr_t attributes;
    ::posix_spawnattr_init(&attributes);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    ::posix_spawnattr_setpgroup(&attributes, 0);
    pid_t pid = 0;
    const bool started = ::posix_spawnp(&pid, program, nullptr, &attributes, argv, environ) == 0;
    ::posix_spawnattr_destroy(&attributes);
    if (!started) {
        return 0;
    }
    std::lock_guard<std::mutex> hold(groupsLock);
    viewerGroups.insert(pid);
    return pid;
}

// Waits for the child on a thread of its own so that it does not linger as a zombie while the
// player runs; then runs whatever must follow its end.
template <typename Then> void reapLater(pid_t pid, Then then) {
    std::thread([pid, then] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        then();
    }).detach();
}

// The owners of the openers started by shellOpenBounded that still run: one entry per running
// opener. Made once and never destroyed, as the threads that reap the openers may end after the
// player's static objects are gone.
std::mutex& openersLock() { // guards ownersWithOpeners
    static std::mutex* lock = new std::mutex;
    return *lock;
}
std::set<std::string>& ownersWithOpeners() {
    static std::set<std::string>* owners = new std::set<std::string>;
    return *owners;
}

} // namespace

bool shellOpen(const std::string& /*verb*/, const std::string& file) {
    if (const pid_t pid = startOpener(file)) {
        reapLater(pid, [] {});
    }
    return true;
}

bool shellOpenBounded(const std::string& owner, const std::string& /*verb*/, const std::string& file) {
    std::lock_guard<std::mutex> hold(openersLock());
    if (ownersWithOpeners().count(owner) != 0 ||
        static_cast<int>(ownersWithOpeners().size()) >= MaximumOpeners) {
        return false;
    }
    const pid_t pid = startOpener(file);
    if (pid == 0) {
        return false;
    }
    ownersWithOpeners().insert(owner);
    reapLater(pid, [owner] {
        std::lock_guard<std::mutex> hold(openersLock());
        ownersWithOpeners().erase(owner);
    });
    return true;
}

void endOpenedViewers() {
    std::lock_guard<std::mutex> hold(groupsLock);
    for (const pid_t group : viewerGroups) {
        ::kill(-group, SIGTERM);
    }
    viewerGroups.clear();
}

int runningOpeners() {
    std::lock_guard<std::mutex> hold(openersLock());
    return static_cast<int>(ownersWithOpeners().size());
}

void sleep(int milliseconds) {
    if (milliseconds > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
}

} // namespace VelOS
