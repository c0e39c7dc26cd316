#include "platform/Semaphore.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

using VelOS::Semaphore;
using VelOS::SemaphoreLock;

TEST(Semaphore, CanBeReleasedByAnotherThread) {
    Semaphore semaphore;
    semaphore.wait();
    std::thread releaser([&] { semaphore.release(); });
    releaser.join();
    semaphore.wait(); // would block for ever if only the taker could release
    semaphore.release();
}

TEST(Semaphore, IsNotRecursiveAndBlocksUntilReleased) {
    Semaphore semaphore;
    std::atomic<bool> secondTaken{false};
    semaphore.wait();
    std::thread second([&] {
        semaphore.wait();
        secondTaken = true;
        semaphore.release();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(secondTaken);
    semaphore.release();
    second.join();
    EXPECT_TRUE(secondTaken);
}

TEST(SemaphoreLock, ReleasesOnException) {
    Semaphore semaphore;
    try {
        SemaphoreLock hold(semaphore);
        throw 1;
    } catch (int) {
    }
    SemaphoreLock again(semaphore);
}

TEST(SemaphoreLock, SerialisesManyThreads) {
    Semaphore semaphore;
    int counter = 0; // guarded by semaphore
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i) {
                SemaphoreLock hold(semaphore);
                ++counter;
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(counter, 40000);
}
