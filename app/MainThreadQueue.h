#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// Runs work on the main thread for other threads. The render engine's GL context belongs to the
// main thread, and the engine's scene graph has no locks of its own, so a project operation
// that arrives on a connection thread is handed over here and its caller waits until the main
// loop has run it between two frames.
//
// Made and drained on the main thread; run() and wake() may be called from any thread. Guarded by its own
// mutex, which is never held while a task runs.
class MainThreadQueue {
public:
    // The thread that makes the queue is its main thread.
    MainThreadQueue();

    // Runs the task on the main thread: directly when called there, otherwise by waiting until
    // the main thread has run it. False when it did not run because the queue was closed. The
    // wait orders the two threads: what the task writes for its caller (a reply, a command's
    // context) the caller reads safely after the return.
    bool run(const std::function<void()>& task);

    // Main thread: runs every task waiting now.
    void runPending();
    // Main thread: runs tasks as they arrive until the time is up (used in place of a sleep).
    void runFor(int milliseconds);
    // Main thread: like runFor, but returns as soon as wake() was called (now or before, since
    // the last return of this call).
    void runUntilWoken(int milliseconds);
    // Any thread: ends the current or next runUntilWoken early.
    void wake();
    // Main thread: from now on tasks are refused; callers still waiting are released with false.
    void close();

    bool onMainThread() const { return std::this_thread::get_id() == mainThread_; }

private:
    struct Task {
        const std::function<void()>* work;
        bool finished = false;
        bool ran = false;
    };
    // Takes the next task, or nothing; mutex_ held.
    std::shared_ptr<Task> nextTask();
    void execute(const std::shared_ptr<Task>& task);
    // runFor and runUntilWoken.
    void runTasks(int milliseconds, bool untilWoken);

    const std::thread::id mainThread_;
    std::mutex mutex_;                        // guards tasks_, closed_ and every Task's flags
    std::condition_variable arrived_;         // a task was posted, or the queue closed
    std::condition_variable finished_;        // a task finished
    std::deque<std::shared_ptr<Task>> tasks_; // waiting tasks, oldest first
    bool closed_ = false;
    bool woken_ = false; // wake() called since runUntilWoken last returned
};
