#include "net/Thread.h"

#include <system_error>
#include <thread>

namespace VelOS {

bool Thread::start(Runnable& runnable) {
    return launch(runnable, nullptr);
}

bool Thread::start(std::shared_ptr<Runnable> runnable) {
    Runnable& work = *runnable;
    return launch(work, std::move(runnable));
}

bool Thread::launch(Runnable& runnable, std::shared_ptr<Runnable> keep) {
    // Set before the thread exists: a thread that owns its runnable may end and destroy this
    // Thread (a member of the runnable) before the constructor of std::thread has returned.
    // The runnable (and with it this Thread) also stays alive until this call is over.
    const std::shared_ptr<Runnable> holdWhileStarting = keep;
    auto end = std::make_shared<End>();
    end_ = end;
    started_ = true;
    try {
        std::thread([work = &runnable, keep = std::move(keep), end]() mutable {
            work->run();
            // Let go of the runnable before telling waiters, so that what they wait for is over.
            keep.reset();
            {
                std::lock_guard<std::mutex> hold(end->guard);
                end->ended = true;
            }
            end->ended_changed.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        end_.reset();
        started_ = false;
        return false;
    }
    return true;
}

void Thread::wait() {
    if (!end_) {
        return;
    }
    std::shared_ptr<End> end = end_;
    std::unique_lock<std::mutex> hold(end->guard);
    end->ended_changed.wait(hold, [&end] { return end->ended; });
}

} // namespace VelOS
