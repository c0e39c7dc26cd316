#include "platform/Semaphore.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

using VelOS::Semaphore;
using VelOS::SemaphoreLock;

namespace {

using namespace std::chrono_literals;

// A semaphore that never wakes its waiters must fail these tests, not hang them: each test runs
// on a thread of its own and is given up after a deadline. Everything a test's threads touch,
// their findings included, lives in a shared block that each of them holds, so a thread left
// blocked on a broken semaphore (detached, until the process ends) never touches a finished
// test's stack.
struct Shared {
    Semaphore semaphore;
    std::atomic<bool> secondTaken{false};
    std::atomic<int> holders{0}; // how many threads are between wait and release now
    int guarded = 0;             // semaphore
    // Findings, read by the test once the body has finished.
    std::atomic<bool> heldOff{false}, tookAfterRelease{false};
    std::atomic<int> overlaps{0};
};
using SharedPtr = std::shared_ptr<Shared>;

bool finishesWithin(std::chrono::milliseconds deadline, const SharedPtr& shared,
                    std::function<void(const SharedPtr&)> body) {
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    std::thread([shared, done, body] {
        body(shared);
        done->set_value();
    }).detach();
    return finished.wait_for(deadline) == std::future_status::ready;
}

// Waits for a condition that a working semaphore makes true; false when it stays false.
bool becomes(const std::function<bool()>& condition, std::chrono::milliseconds deadline = 5s) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

} // namespace

TEST(Semaphore, CanBeReleasedByAnotherThread) {
    EXPECT_TRUE(finishesWithin(10s, std::make_shared<Shared>(), [](const SharedPtr& s) {
        s->semaphore.wait();
        std::thread releaser([s] { s->semaphore.release(); });
        releaser.join();
        s->semaphore.wait(); // blocks for ever if only the taker could release
        s->semaphore.release();
    })) << "a semaphore released by another thread could not be taken again";
}

TEST(Semaphore, IsNotRecursiveAndBlocksUntilReleased) {
    const auto shared = std::make_shared<Shared>();
    EXPECT_TRUE(finishesWithin(10s, shared, [](const SharedPtr& s) {
        s->semaphore.wait();
        auto started = std::make_shared<std::promise<void>>();
        std::thread second([s, started] {
            started->set_value();
            s->semaphore.wait();
            s->secondTaken = true;
            s->semaphore.release();
        });
        started->get_future().wait();
        // The second thread is at the semaphore (or about to be); it must stay out while held.
        s->heldOff = !becomes([&] { return s->secondTaken.load(); }, 100ms);
        s->semaphore.release();
        s->tookAfterRelease = becomes([&] { return s->secondTaken.load(); });
        if (s->tookAfterRelease) {
            second.join();
        } else {
            second.detach(); // blocked for ever on a broken semaphore
        }
    })) << "the test hung on the semaphore";
    EXPECT_TRUE(shared->heldOff) << "a second thread took a semaphore that was held";
    EXPECT_TRUE(shared->tookAfterRelease) << "a released semaphore was not handed to its waiter";
}

TEST(SemaphoreLock, ReleasesOnException) {
    EXPECT_TRUE(finishesWithin(10s, std::make_shared<Shared>(), [](const SharedPtr& s) {
        try {
            SemaphoreLock hold(s->semaphore);
            throw 1;
        } catch (int) {
        }
        SemaphoreLock again(s->semaphore);
    })) << "the semaphore stayed taken after an exception left its scope";
}

TEST(SemaphoreLock, SerialisesManyThreads) {
    const auto shared = std::make_shared<Shared>();
    const bool finished = finishesWithin(60s, shared, [](const SharedPtr& s) {
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([s] {
                for (int i = 0; i < 10000; ++i) {
                    SemaphoreLock hold(s->semaphore);
                    // Two holders at once show as a count above one, whatever the scheduling.
                    if (s->holders.fetch_add(1) != 0) {
                        ++s->overlaps;
                    }
                    ++s->guarded;
                    s->holders.fetch_sub(1);
                }
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
    });
    ASSERT_TRUE(finished) << "the test hung on the semaphore";
    EXPECT_EQ(shared->overlaps, 0) << "two threads held the semaphore at once";
    EXPECT_EQ(shared->guarded, 40000);
}
