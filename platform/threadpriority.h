#pragma once

#include <string>

// Scheduling room for the remote control. On a machine without a graphics card the picture is
// drawn by the CPU (llvmpipe's threads) and camera frames are decoded and searched on the CPU too;
// with every core busy, a command's thread would wait for a time slice. The heavy threads give way
// to the light ones by running at a lower priority (a higher nice value); lowering is always allowed.
namespace VelOS {

// The nice value lowered by this much for the calling thread.
void lowerThisThreadPriority(int by);
// Every thread of this process whose name starts with the prefix, lowered by this much; the
// number of threads lowered.
int lowerThreadsPriority(const std::string& namePrefix, int by);

// Asks the scheduler to cut the calling thread's turns short (0.1 ms) so that it may preempt a
// busy thread as soon as it wakes, where the kernel supports slices per thread (Linux 6.12 and
// later); elsewhere nothing changes. Its nice value stays. Whether it was granted.
bool askForShortSlices();

} // namespace VelOS
