#include "platform/Semaphore.h"

namespace VelOS {

void Semaphore::wait() {
    std::unique_lock<std::mutex> guard(mutex_);
    freed_.wait(guard, [this] { return !taken_; });
    taken_ = true;
}

void Semaphore::release() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        taken_ = false;
    }
    freed_.notify_one();
}

} // namespace VelOS
