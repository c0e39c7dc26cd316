#include "app/MainThreadQueue.h"

#include <chrono>

MainThreadQueue::MainThreadQueue() : mainThread_(std::this_thread::get_id()) {}

bool MainThreadQueue::run(const std::function<void()>& task) {
    if (onMainThread()) {
        task();
        return true;
    }
    auto waiting = std::make_shared<Task>();
    waiting->work = &task;
    std::unique_lock<std::mutex> guard(mutex_);
    if (closed_) {
        return false;
    }
    tasks_.push_back(waiting);
    arrived_.notify_one();
    finished_.wait(guard, [&waiting] { return waiting->finished; });
    return waiting->ran;
}

std::shared_ptr<MainThreadQueue::Task> MainThreadQueue::nextTask() {
    if (tasks_.empty()) {
        return nullptr;
    }
    std::shared_ptr<Task> task = tasks_.front();
    tasks_.pop_front();
    return task;
}

void MainThreadQueue::execute(const std::shared_ptr<Task>& task) {
    bool ran = true;
    try {
        (*task->work)();
    } catch (...) {
        // The operation failed; its caller sees its default result.
    }
    std::lock_guard<std::mutex> guard(mutex_);
    task->finished = true;
    task->ran = ran;
    finished_.notify_all();
}

void MainThreadQueue::runPending() {
    for (;;) {
        std::shared_ptr<Task> task;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            task = nextTask();
        }
        if (!task) {
            return;
        }
        execute(task);
    }
}

void MainThreadQueue::runFor(int milliseconds) {
    runTasks(milliseconds, false);
}

void MainThreadQueue::runUntilWoken(int milliseconds) {
    runTasks(milliseconds, true);
}

void MainThreadQueue::wake() {
    std::lock_guard<std::mutex> guard(mutex_);
    woken_ = true;
    arrived_.notify_all();
}

void MainThreadQueue::runTasks(int milliseconds, bool untilWoken) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds > 0 ? milliseconds : 0);
    for (;;) {
        std::shared_ptr<Task> task;
        {
            std::unique_lock<std::mutex> guard(mutex_);
            arrived_.wait_until(guard, deadline, [this, untilWoken] {
                return !tasks_.empty() || closed_ || (untilWoken && woken_);
            });
            task = nextTask();
            if (!task && untilWoken && woken_) {
                woken_ = false;
                return;
            }
            if (!task && (closed_ || std::chrono::steady_clock::now() >= deadline)) {
                return;
            }
        }
        if (task) {
            execute(task);
        }
    }
}

void MainThreadQueue::close() {
    std::lock_guard<std::mutex> guard(mutex_);
    closed_ = true;
    for (const std::shared_ptr<Task>& task : tasks_) {
        task->finished = true;
        task->ran = false;
    }
    tasks_.clear();
    finished_.notify_all();
    arrived_.notify_all();
}
