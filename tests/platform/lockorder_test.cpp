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
    Semaphore frame(LockRank::Frame), image(LockRank::Image), scene(LockRank::Scene);
    Semaphore listener(LockRank::TrackerListener), unranked;
    {
        SemaphoreLock a(frame);
        SemaphoreLock b(image);
        SemaphoreLock c(scene);
        SemaphoreLock d(unranked); // outside the order: never checked
        SemaphoreLock e(listener);
        EXPECT_EQ(VelOS::heldLockCount(), 4);
    }
    EXPECT_EQ(VelOS::heldLockCount(), 0);
    // Released out of order, then taken again: nothing stale is left behind.
    frame.wait();
    scene.wait();
    frame.release();
    listener.wait();
    scene.release();
    listener.release();
    EXPECT_EQ(VelOS::heldLockCount(), 0);
    SemaphoreLock again(frame);
    EXPECT_EQ(VelOS::heldLockCount(), 1);
}

TEST(LockOrderDeathTest, TakingALowerRankWhileHoldingAHigherOneStopsNamingBoth) {
    SKIP_WITHOUT_LOCK_CHECKS();
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Semaphore image(LockRank::Image), scene(LockRank::Scene);
    // One thread alone would never deadlock here: the inversion is caught before anyone waits.
    EXPECT_DEATH(
        {
            SemaphoreLock a(scene);
            SemaphoreLock b(image);
        },
        "lock order broken: taking the image lock \\(rank 3\\) while holding the scene lock \\(rank 4\\)");
}

TEST(LockOrderDeathTest, TakingTwoLocksOfTheSameRankStops) {
    SKIP_WITHOUT_LOCK_CHECKS();
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Semaphore one(LockRank::TrackerListener), other(LockRank::TrackerListener);
    EXPECT_DEATH(
        {
            SemaphoreLock a(one);
            SemaphoreLock b(other);
        },
        "taking a tracker's listener lock .* while holding a tracker's listener lock");
}

TEST(LockOrderDeathTest, ARankedLockReleasedByAnotherThreadStops) {
    SKIP_WITHOUT_LOCK_CHECKS();
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            Semaphore scene(LockRank::Scene);
            scene.wait();
            std::thread other([&] { scene.release(); });
            other.join();
        },
        "the scene lock released by another thread");
}
