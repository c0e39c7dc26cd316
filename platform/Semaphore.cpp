#include "platform/Semaphore.h"

namespace VelOS {

void Semaphore::wait() {
    std::unique_lock<std::mutex> guard(mutex_);
    freed_.wait(guard, [this] { return !taken_; });
    taken_ = true;
}

void Semaphore::release() {
    // Notify while holding the mutex: the woken thread may take the semaphore and destroy it
    // as soon as the mutex is free, and the notify must not touch it after that.
    std::lock_guard<std::mutex> guard(mutex_);
    taken_ = false;
    freed_.notify_one();
}

} // namespace VelOS
