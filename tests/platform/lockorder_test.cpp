#include "platform/Semaphore.h"

#include <gtest/gtest.h>
#include <thread>

using VelOS::LockRank;
using VelOS::Semaphore;
using VelOS::SemaphoreLock;

// The checks are on in debug and sanitizer builds only.
#define SKIP_WITHOUT_LOCK_CHECKS()                                                                           \
    if (!VelOS::lockChecksOn()) {                                                                            \
        GTEST_SKIP() << "lock checks are on in debug and sanitizer builds only";                             \
    }

TEST(LockOrder, LocksTakenInRankOrderPassAndAreForgottenWhenReleased) {
    SKIP_WITHOUT_LOCK_CHECKS();
    Semaphore capture(LockRank::Capture), staging(LockRank::Staging), list(LockRank::ServerList);
    Semaphore model(LockRank::Model), unranked;
    {
        SemaphoreLock a(capture);
        SemaphoreLock b(staging);
        SemaphoreLock c(list);
        SemaphoreLock d(unranked); // outside the order: never checked
        SemaphoreLock e(model);
        EXPECT_EQ(VelOS::heldLockCount(), 4);
    }
    EXPECT_EQ(VelOS::heldLockCount(), 0);
    // Released out of order, then taken again: nothing stale is left behind.
    capture.wait();
    list.wait();
    capture.release();
    model.wait();
    list.release();
    model.release();
    EXPECT_EQ(VelOS::heldLockCount(), 0);
    SemaphoreLock again(capture);
    EXPECT_EQ(VelOS::heldLockCount(), 1);
}

TEST(LockOrderDeathTest, TakingALowerRankWhileHoldingAHigherOneStopsNamingBoth) {
    SKIP_WITHOUT_LOCK_CHECKS();
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Semaphore staging(LockRank::Staging), list(LockRank::ServerList);
    // One thread alone would never deadlock here: the inversion is caught before anyone waits.
    EXPECT_DEATH(
        {
            SemaphoreLock a(list);
            SemaphoreLock b(staging);
        },
        "lock order broken: taking the staging lock \\(rank 3\\) while holding a server's list lock \\(rank "
        "4\\)");
}

TEST(LockOrderDeathTest, TakingTwoLocksOfTheSameRankStops) {
    SKIP_WITHOUT_LOCK_CHECKS();
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Semaphore one(LockRank::ServerList), other(LockRank::ServerList);
    EXPECT_DEATH(
        {
            SemaphoreLock a(one);
            SemaphoreLock b(other);
        },
        "taking a server's list lock .* while holding a server's list lock");
}

TEST(LockOrderDeathTest, ARankedLockReleasedByAnotherThreadStops) {
    SKIP_WITHOUT_LOCK_CHECKS();
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            Semaphore staging(LockRank::Staging);
            staging.wait();
            std::thread other([&] { staging.release(); });
            other.join();
        },
        "the staging lock released by another thread");
}
