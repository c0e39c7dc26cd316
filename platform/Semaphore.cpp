#include "platform/Semaphore.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#if defined(__SANITIZE_THREAD__)
#define VELQUIN_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VELQUIN_TSAN 1
#endif
#endif

#ifdef VELQUIN_TSAN
#include <sanitizer/tsan_interface.h>
#endif

namespace VelOS {

const char* lockName(LockRank rank) {
    switch (rank) {
    case LockRank::Unranked:
        return "an unranked lock";
    case LockRank::Connection:
        return "a connection's handler lock";
    case LockRank::Capture:
        return "the capture lock";
    case LockRank::Staging:
        return "the staging lock";
    case LockRank::ServerList:
        return "a server's list lock";
    case LockRank::Model:
        return "the model lock";
    }
    return "an unknown lock";
}

namespace {

#ifdef VELQUIN_LOCK_CHECKS
// The ranked locks this thread holds, in the order taken.
thread_local std::vector<const Semaphore*> held;

[[noreturn]] void stop(const char* what, LockRank taking, LockRank holding) {
    std::fprintf(
        stderr, "lock order broken: %s %s (rank %d) while holding %s (rank %d); see platform/LockRank.h\n",
        what, lockName(taking), static_cast<int>(taking), lockName(holding), static_cast<int>(holding));
    std::fflush(stderr);
    std::abort();
}

void checkBeforeTaking(const Semaphore& lock) {
    if (lock.rank() == LockRank::Unranked) {
        return;
    }
    for (const Semaphore* holding : held) {
        if (holding->rank() >= lock.rank()) {
            stop("taking", lock.rank(), holding->rank());
        }
    }
}

void noteTaken(const Semaphore& lock) {
    if (lock.rank() != LockRank::Unranked) {
        held.push_back(&lock);
    }
}

void noteReleased(const Semaphore& lock, bool byTaker) {
    if (lock.rank() == LockRank::Unranked) {
        return;
    }
    if (!byTaker) {
        // The taker's record of it would stay behind and break the order checks on that thread.
        std::fprintf(stderr, "lock checks: %s released by another thread than the one that took it\n",
                     lockName(lock.rank()));
        std::fflush(stderr);
        std::abort();
    }
    const auto found = std::find(held.rbegin(), held.rend(), &lock);
    if (found != held.rend()) {
        held.erase(std::next(found).base());
    }
}
#else
void checkBeforeTaking(const Semaphore&) {}
void noteTaken(const Semaphore&) {}
void noteReleased(const Semaphore&, bool) {}
#endif

} // namespace

bool lockChecksOn() {
#ifdef VELQUIN_LOCK_CHECKS
    return true;
#else
    return false;
#endif
}

int heldLockCount() {
#ifdef VELQUIN_LOCK_CHECKS
    return static_cast<int>(held.size());
#else
    return 0;
#endif
}

void Semaphore::wait() {
    checkBeforeTaking(*this);
#ifdef VELQUIN_TSAN
    const bool told = rank_ != LockRank::Unranked;
    if (told) {
        __tsan_mutex_pre_lock(this, 0);
    }
#endif
    {
        std::unique_lock<std::mutex> guard(mutex_);
        freed_.wait(guard, [this] { return !taken_; });
        taken_ = true;
        owner_ = std::this_thread::get_id();
    }
#ifdef VELQUIN_TSAN
    if (told) {
        __tsan_mutex_post_lock(this, 0, 0);
    }
#endif
    noteTaken(*this);
}

void Semaphore::release() {
    bool wasTaken = false;
    bool byTaker = false;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        wasTaken = taken_;
        byTaker = !taken_ || owner_ == std::this_thread::get_id();
    }
    if (wasTaken) {
        noteReleased(*this, byTaker);
    }
#ifdef VELQUIN_TSAN
    // ThreadSanitizer knows a mutex only as unlocked by its locker, so only the ranked locks,
    // which their taker always releases (the lock checks insist), are shown to it.
    const bool told = wasTaken && byTaker && rank_ != LockRank::Unranked;
    if (told) {
        __tsan_mutex_pre_unlock(this, 0);
    }
#endif
    {
        // Notify while holding the mutex: the woken thread may take the semaphore and destroy it
        // as soon as the mutex is free, and the notify must not touch it after that.
        std::lock_guard<std::mutex> guard(mutex_);
        taken_ = false;
        owner_ = std::thread::id();
        freed_.notify_one();
    }
#ifdef VELQUIN_TSAN
    if (told) {
        __tsan_mutex_post_unlock(this, 0);
    }
#endif
}

} // namespace VelOS
