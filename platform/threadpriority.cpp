#include "platform/threadpriority.h"

#include <dirent.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

namespace VelOS {
namespace {

void lower(pid_t thread, int by) {
    errno = 0;
    const int now = ::getpriority(PRIO_PROCESS, static_cast<id_t>(thread));
    if (errno == 0) {
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(thread), now + by);
    }
}

} // namespace

void lowerThisThreadPriority(int by) {
    lower(static_cast<pid_t>(::syscall(SYS_gettid)), by);
}

int lowerThreadsPriority(const std::string& namePrefix, int by) {
    DIR* tasks = ::opendir("/proc/self/task");
    if (tasks == nullptr) {
        return 0;
    }
    int lowered = 0;
    while (const dirent* entry = ::readdir(tasks)) {
        const pid_t thread = static_cast<pid_t>(std::atoi(entry->d_name));
        if (thread <= 0) {
            continue;
        }
        std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
        std::string name;
        if (std::getline(comm, name) && name.compare(0, namePrefix.size(), namePrefix) == 0) {
            lower(thread, by);
            ++lowered;
        }
    }
    ::closedir(tasks);
    return lowered;
}

} // namespace VelOS
