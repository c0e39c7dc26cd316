#include "platform/threadpriority.h"

#include <dirent.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sched.h>

namespace VelOS {
namespace {

void lower(pid_t thread, int by) {
    errno = 0;
    const int now = ::getpriority(PRIO_PROCESS, static_cast<id_t>(thread));
    if (errno == 0) {
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(thread), now + by);
    }
}

// The kernel's sched_attr, which glibc does not declare.
struct SchedulingAttributes {
    std::uint32_t size;
    std::uint32_t policy;
    std::uint64_t flags;
    std::int32_t nice;
    std::uint32_t priority;
    std::uint64_t runtime; // for SCHED_OTHER: the slice wanted, nanoseconds
    std::uint64_t deadline;
    std::uint64_t period;
    std::uint32_t utilisationMinimum;
    std::uint32_t utilisationMaximum;
};

} // namespace

bool askForShortSlices() {
    SchedulingAttributes attributes{};
    // Read first: setting writes the nice value too, which must stay what it is.
    if (::syscall(SYS_sched_getattr, 0, &attributes, sizeof attributes, 0) != 0 ||
        attributes.policy != SCHED_OTHER) {
        return false;
    }
    attributes.size = sizeof attributes;
    attributes.runtime = 100000; // the shortest the kernel grants
    return ::syscall(SYS_sched_setattr, 0, &attributes, 0) == 0;
}

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
