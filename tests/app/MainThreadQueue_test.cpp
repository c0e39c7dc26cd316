#include "app/MainThreadQueue.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

TEST(MainThreadQueue, RunsOtherThreadsWorkOnTheMainThreadAndWaitsForIt) {
    MainThreadQueue queue;
    const std::thread::id main = std::this_thread::get_id();
    std::atomic<int> done{0};
    std::vector<std::thread> callers;
    for (int i = 0; i < 4; ++i) {
        callers.emplace_back([&] {
            std::thread::id ranOn;
            const bool ran = queue.run([&] { ranOn = std::this_thread::get_id(); });
            EXPECT_TRUE(ran);
            EXPECT_EQ(ranOn, main);
            ++done;
        });
    }
    while (done < 4) {
        queue.runFor(5);
    }
    for (auto& caller : callers) {
        caller.join();
    }
    // On the main thread itself the work runs at once.
    bool direct = false;
    EXPECT_TRUE(queue.run([&] { direct = true; }));
    EXPECT_TRUE(direct);
}

TEST(MainThreadQueue, ClosingReleasesWaitersAndRefusesNewWork) {
    MainThreadQueue queue;
    std::atomic<bool> waiting{false};
    bool result = true;
    bool ran = false;
    std::thread caller([&] {
        waiting = true;
        result = queue.run([&] { ran = true; });
    });
    while (!waiting) {
        std::this_thread::yield();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    queue.close();
    caller.join();
    EXPECT_FALSE(result);
    EXPECT_FALSE(ran);
    std::thread late([&] { EXPECT_FALSE(queue.run([] {})); });
    late.join();
    queue.runFor(1); // returns at once when closed
}

TEST(MainThreadQueue, AnExceptionInTheWorkDoesNotStopTheQueue) {
    MainThreadQueue queue;
    std::atomic<bool> finished{false};
    std::thread caller([&] {
        queue.run([] { throw std::runtime_error("failed"); });
        finished = true;
    });
    while (!finished) {
        queue.runFor(5);
    }
    caller.join();
}

TEST(MainThreadQueue, AnIdleWaitServesWorkAndEndsWhenWokenNotBefore) {
    MainThreadQueue queue;
    // A wake that came before the wait ends the wait at once, and only that one wait.
    queue.wake();
    const auto start = std::chrono::steady_clock::now();
    queue.runUntilWoken(10000);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    // Work that arrives is served without ending the wait; the wake from another thread ends it.
    std::atomic<int> served{0};
    std::thread other([&] {
        for (int i = 0; i < 3; ++i) {
            EXPECT_TRUE(queue.run([&] { ++served; }));
        }
        queue.wake();
    });
    queue.runUntilWoken(10000);
    other.join();
    EXPECT_EQ(served, 3);

    // Without a wake the wait lasts its time, and the pacing wait ignores wakes.
    queue.runUntilWoken(1);
    queue.wake();
    queue.runFor(1);
    const auto paced = std::chrono::steady_clock::now();
    queue.runUntilWoken(10000); // the wake before runFor is still pending
    EXPECT_LT(std::chrono::steady_clock::now() - paced, std::chrono::seconds(5));
}
