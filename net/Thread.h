#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>

#include "net/Runnable.h"

namespace VelOS {

// A thread that runs one Runnable. The OS thread is detached as soon as it exists, so a Thread
// may be destroyed at any time, by any thread, even by the thread it runs: destroying it neither
// waits for the thread nor stops it. Whoever needs the end of the thread says so with wait.
//
// start and started belong to the thread that owns the Thread; wait may be called from any
// other thread.
class Thread {
public:
    Thread() = default;
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Runs runnable.run() on a new thread; the caller keeps the runnable alive until the thread
    // has ended. False when the OS makes no thread.
    bool start(Runnable& runnable);
    // The same, but the thread shares the ownership of the runnable until run returns, so its
    // other owners may let it go meanwhile.
    bool start(std::shared_ptr<Runnable> runnable);
    // Blocks until the thread started last has ended; returns at once when none was started.
    void wait();
    bool started() const { return started_; }

private:
    // Outlives both the Thread and the OS thread, whichever ends first.
    struct End {
        std::mutex guard; // guards ended
        std::condition_variable ended_changed;
        bool ended = false;
    };

    bool launch(Runnable& runnable, std::shared_ptr<Runnable> keep);

    bool started_ = false;
    std::shared_ptr<End> end_;
};

} // namespace VelOS
