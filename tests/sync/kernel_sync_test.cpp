// The stand-in's threads, locks and single-use events: the contract the driver's waits rely on.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "kal/sim/interrupt.h"
#include "kal/sim/sync.h"
#include "kzkal/interrupt.h"
#include "kzkal/time.h"
#include "kzkal/sync.h"
#include "sync/waiting_thread.h"

namespace {

void countCall(void* context) { ++*static_cast<std::atomic<int>*>(context); }

TEST(KernelThread, HandleAndIdAreStablePerThreadAndDistinct) {
    void* handle = nKZKAL100_getThreadHandle();
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(nKZKAL100_getThreadHandle(), handle);
    void* otherHandle = nullptr;
    uint64_t otherId = 0;
    std::thread([&] {
        otherHandle = nKZKAL100_getThreadHandle();
        otherId = nKZKAL100_getThreadID();
    }).join();
    EXPECT_NE(otherHandle, handle);
    EXPECT_NE(otherId, nKZKAL100_getThreadID());
}

TEST(SingleUseEvent, ReleasedBeforeTheWaitReturnsAtOnce) {
    nKZKAL100_tSingleUseEvent event;
    nKZKAL100_initializeSingleUseEvent(&event);
    nKZKAL100_releaseSingleUseEvent(&event);
    EXPECT_EQ(nKZKAL100_waitForSingleUseEventInterruptible(&event), 0);
}

// The callback runs once when the time runs out, and the wait goes on until the release.
TEST(SingleUseEvent, TimedWaitCallsBackOnceThenWaitsForTheRelease) {
    nKZKAL100_tSingleUseEvent event;
    nKZKAL100_initializeSingleUseEvent(&event);
    std::atomic<int> calls{0};
    const nKZKAL100_tTimeoutCallback callback{countCall, &calls};
    std::thread releaser([&] {
        while (calls.load() == 0) std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        nKZKAL100_releaseSingleUseEvent(&event);
    });
    EXPECT_EQ(nKZKAL100_waitForSingleUseEventTimeout(&event, 1000, &callback), 0);
    EXPECT_EQ(calls.load(), 1);
    releaser.join();
}

TEST(SingleUseEvent, ReleaseInTimeNeverCallsBack) {
    nKZKAL100_tSingleUseEvent event;
    nKZKAL100_initializeSingleUseEvent(&event);
    std::atomic<int> calls{0};
    const nKZKAL100_tTimeoutCallback callback{countCall, &calls};
    WaitingThread waiter([&](nKZAPALS100::tStatus&) {
        return nKZKAL100_waitForSingleUseEventTimeoutInterruptible(&event, 60000000, &callback) == 0;
    });
    ASSERT_TRUE(waiter.blocked());
    nKZKAL100_releaseSingleUseEvent(&event);
    EXPECT_TRUE(waiter.result());
    EXPECT_EQ(calls.load(), 0);
}

TEST(SingleUseEvent, InterruptionEndsOnlyInterruptibleWaits) {
    for (bool timed : {false, true}) {
        SCOPED_TRACE(timed ? "timed" : "no limit");
        nKZKAL100_tSingleUseEvent event;
        nKZKAL100_initializeSingleUseEvent(&event);
        std::atomic<int> calls{0};
        const nKZKAL100_tTimeoutCallback callback{countCall, &calls};
        WaitingThread waiter([&](nKZAPALS100::tStatus&) {
            return (timed ? nKZKAL100_waitForSingleUseEventTimeoutInterruptible(&event, 60000000, &callback)
                          : nKZKAL100_waitForSingleUseEventInterruptible(&event)) < 0;
        });
        ASSERT_TRUE(waiter.blocked());
        kal::sim::interruptThread(waiter.handle());
        EXPECT_TRUE(waiter.result());
        EXPECT_EQ(calls.load(), 0);
    }
}

using KernelSyncDeathTest = ::testing::Test;

TEST_F(KernelSyncDeathTest, MisuseAborts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            void* mutex = nKZKAL150_createMutex();
            nKZKAL150_acquireMutex(mutex);
            nKZKAL150_acquireMutex(mutex);
        },
        "kernel mutex taken twice");
    EXPECT_DEATH(
        {
            void* lock = nKZKAL100_createSpinLock();
            void* mutex = nKZKAL150_createMutex();
            nKZKAL100_acquireSpinLockDPC(lock);
            nKZKAL150_acquireMutex(mutex);
        },
        "take a kernel mutex while holding a spin lock");
    EXPECT_DEATH(
        {
            void* lock = nKZKAL100_createSpinLock();
            nKZKAL100_tSingleUseEvent event;
            nKZKAL100_initializeSingleUseEvent(&event);
            nKZKAL100_releaseSingleUseEvent(&event);
            nKZKAL110_acquireSpinLockInterrupt(lock);
            nKZKAL100_waitForSingleUseEvent(&event);
        },
        "wait for a single-use event while holding a spin lock");
    EXPECT_DEATH(
        {
            nKZKAL100_tSingleUseEvent event;
            nKZKAL100_initializeSingleUseEvent(&event);
            nKZKAL100_releaseSingleUseEvent(&event);
            nKZKAL100_releaseSingleUseEvent(&event);
        },
        "released twice");
    EXPECT_DEATH(
        {
            void* lock = nKZKAL100_createSpinLock();
            nKZKAL110_releaseSpinLockInterrupt(lock, nKZKAL110_acquireSpinLockInterrupt(lock) + 0x100);
        },
        "foreign interrupt state");
}

// Reserves an interrupt whose handler makes the call, and raises it.
void raiseCalling(void (*call)(void*)) {
    static void (*gCall)(void*) = nullptr;
    static void* gMutex = nullptr;
    gCall = call;
    gMutex = nKZKAL150_createMutex();
    static nKZKAL1400_tInterruptCallback callback{[](uint32_t, void*) -> int32_t {
                                                      gCall(gMutex);
                                                      return 1;
                                                  },
                                                  nullptr};
    nKZKAL1400_reserveInterrupt(99, &callback, "test", 0);
    kal::sim::raiseInterrupt(99);
}

// Interrupt handlers and deferred calls never block: sleeping, waiting on an event or taking a
// kernel mutex there aborts.
TEST_F(KernelSyncDeathTest, BlockingInInterruptOrDeferredCallContextAborts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    struct Blocking {
        const char* name;
        void (*call)(void*);
        const char* message;
    };
    const Blocking calls[] = {
        {"sleep", [](void*) { nKZKAL250_sleepTimeout(10); }, "sleep in"},
        {"event", [](void*) {
             nKZKAL100_tSingleUseEvent event;
             nKZKAL100_initializeSingleUseEvent(&event);
             nKZKAL100_releaseSingleUseEvent(&event);
             nKZKAL100_waitForSingleUseEvent(&event);
         },
         "wait for a single-use event in"},
        {"mutex", [](void* mutex) { nKZKAL150_acquireMutex(mutex); }, "take a kernel mutex in"},
    };
    for (const Blocking& b : calls) {
        SCOPED_TRACE(b.name);
        EXPECT_DEATH(
            {
                void* dpc = nKZKAL100_createDPC(b.call, nKZKAL150_createMutex());
                nKZKAL100_scheduleDPC(dpc);
                kal::sim::waitForDeferredCalls();
            },
            std::string(b.message) + " deferred-call context");
        EXPECT_DEATH(raiseCalling(b.call),             std::string(b.message) + " interrupt context");
    }
}

}  // namespace
