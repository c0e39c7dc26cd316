#pragma once

#include "platform/LockRank.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace VelOS {

// The one lock primitive of the player: a semaphore of count 1 used as a lock.
//
// Non-recursive: a thread that waits twice without releasing blocks itself. Any thread may
// release it, whichever thread took it; the player itself always releases a lock on the thread
// that took it, and the lock checks (see LockRank.h) insist on that for ranked locks.
//
// ThreadSanitizer is told about every wait and release of a ranked lock (LockRank.h), so it
// sees the order in which threads take the player's locks as it does for std::mutex and reports
// inversions. Unranked semaphores may be handed over between threads, which is beyond its model:
// it sees only their internal mutex.
//
// Used from every thread; its own state is guarded by an internal mutex that is only held for
// the few instructions of wait and release.
class Semaphore {
public:
    explicit Semaphore(LockRank rank = LockRank::Unranked) : rank_(rank) {}
    Semaphore(const Semaphore&) = delete;
    Semaphore& operator=(const Semaphore&) = delete;

    // Blocks without time limit until the semaphore can be taken.
    void wait();
    // Returns the semaphore. Releasing a free semaphore leaves it free (maximum count 1).
    void release();

    LockRank rank() const { return rank_; }

private:
    const LockRank rank_;
    std::mutex mutex_;
    std::condition_variable freed_;
    bool taken_ = false;    // mutex_
    std::thread::id owner_; // the thread that took it; mutex_
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

// True in builds with lock checks (debug and sanitizer builds).
bool lockChecksOn();
// How many ranked locks the calling thread holds; 0 in builds without lock checks.
int heldLockCount();

} // namespace VelOS
