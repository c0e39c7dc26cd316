// Thread priorities: lowering is per thread, and short slices leave the nice value as it was.
#include "platform/threadpriority.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {

int niceOfThisThread() {
    return ::getpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)));
}

// The slice the scheduler keeps for this thread, in nanoseconds; -1 where it does not say.
long sliceOfThisThread() {
    std::ifstream sched("/proc/thread-self/sched");
    std::string line;
    while (std::getline(sched, line)) {
        if (line.compare(0, 8, "se.slice") == 0) {
            return std::stol(line.substr(line.find(':') + 1));
        }
    }
    return -1;
}

} // namespace

TEST(ThreadPriority, LoweringAndShortSlicesTouchOnlyTheCallingThreadAndKeepItsNiceValue) {
    const int before = niceOfThisThread();
    int lowered = 0, afterSlices = 0;
    bool granted = false;
    long slice = -1;
    std::thread([&] {
        VelOS::lowerThisThreadPriority(3);
        lowered = niceOfThisThread();
        granted = VelOS::askForShortSlices();
        afterSlices = niceOfThisThread();
        slice = sliceOfThisThread();
    }).join();
    EXPECT_EQ(lowered, before + 3);
    EXPECT_EQ(afterSlices, lowered); // setting the slice writes the nice value too
    EXPECT_EQ(niceOfThisThread(), before);
    if (granted && slice >= 0) {
        EXPECT_EQ(slice, 100000);
    }
}
