#pragma once

#include <condition_variable>
#include <mutex>

namespace VelOS {

// The one lock primitive of the player: a semaphore of count 1 used as a lock.
//
// Non-recursive: a thread that waits twice without releasing blocks itself.
// Owner-less: any thread may release it, whichever thread took it. The frame lock
// relies on that (taken in frame started, released in frame ended, and the video
// thread may find it held across a whole redraw).
//
// Used from every thread; its own state is guarded by an internal mutex that is
// only held for the few instructions of wait and release.
class Semaphore {
public:
    Semaphore() = default;
    Semaphore(const Semaphore&) = delete;
    Semaphore& operator=(const Semaphore&) = delete;

    // Blocks without time limit until the semaphore can be taken.
    void wait();
    // Returns the semaphore. Releasing a free semaphore leaves it free (maximum count 1).
    void release();

private:
    std::mutex mutex_;
    std::condition_variable freed_;
    bool taken_ = false;
};

// Scoped holder: waits on the semaphore when made, releases it when it ends,
// normally or by an exception.
class SemaphoreLock {
public:
    explicit SemaphoreLock(Semaphore& semaphore) : semaphore_(semaphore) { semaphore_.wait(); }
    ~SemaphoreLock() { semaphore_.release(); }
    SemaphoreLock(const SemaphoreLock&) = delete;
    SemaphoreLock& operator=(const SemaphoreLock&) = delete;

private:
    Semaphore& semaphore_;
};

} // namespace VelOS
