#include "kzapal/protons/synchronization.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "kal/sim/faults.h"
#include "kal/sim/sync.h"
#include "kzapal/protons/statusCodes.h"
#include "sync/waiting_thread.h"

using namespace kzvorn_driver::nKZAPAL000;
using nKZAPALS100::tStatus;

namespace {

constexpr uint32_t kOneMinuteUs = 60u * 1000u * 1000u;

void settle() { std::this_thread::sleep_for(std::chrono::milliseconds(30)); }

// True when one unit is available right now; takes it.
bool takeNow(tSemaphore& semaphore) {
    tStatus status;
    return semaphore.acquire(0, false, status);
}

// A semaphore or an auto-reset event behind one face: both hand each signal to exactly one waiter.
class Signal {
public:
    explicit Signal(bool event) : event_(event), semaphore_(0, status_), autoReset_(true, false, status_) {}
    const char* name() const { return event_ ? "auto-reset event" : "semaphore"; }
    bool wait(uint32_t timeout, bool interruptible, tStatus& status) {
        return event_ ? autoReset_.wait(timeout, interruptible, status)
                      : semaphore_.acquire(timeout, interruptible, status);
    }
    void give() { event_ ? autoReset_.set() : semaphore_.release(); }
    bool takeNow() {
        tStatus status;
        return wait(0, false, status);
    }

private:
    bool event_;
    tStatus status_;
    tSemaphore semaphore_;
    tEvent autoReset_;
};

TEST(Semaphore, TimeoutZeroTakesAvailableUnitOrFailsAtOnce) {
    tStatus status;
    tSemaphore semaphore(1, status);
    ASSERT_EQ(status.code, 0);

    EXPECT_TRUE(semaphore.acquire(0, false, status));
    EXPECT_EQ(status.code, 0);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(semaphore.acquire(0, true, status));
    EXPECT_EQ(status.code, nKZAPALS100::kStatusTimeout);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
}

// A release with units available only adds one; every unit is taken exactly once.
TEST(Semaphore, ReleasesWithoutWaitersAccumulateUnits) {
    tStatus status;
    tSemaphore semaphore(1, status);
    semaphore.release();
    semaphore.release();
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(takeNow(semaphore)) << i;
    EXPECT_FALSE(takeNow(semaphore));
}

// Waits that time out or are interrupted race with releases; no unit may be lost or duplicated.
TEST(Semaphore, UnitsAreConservedUnderContention) {
    constexpr uint32_t kUnits = 3;
    constexpr int kThreads = 6;
    tStatus status;
    tSemaphore semaphore(kUnits, status);
    std::atomic<int> inUse{0};
    std::atomic<int> maxInUse{0};
    std::atomic<bool> stop{false};
    std::atomic<void*> handles[kThreads] = {};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            handles[t].store(nKZKAL100_getThreadHandle());
            for (uint32_t i = 0; !stop.load(); ++i) {
                tStatus s;
                const uint32_t timeout = (i % 3 == 0) ? kWaitNoLimit : 50 + (i % 7) * 100;
                if (!semaphore.acquire(timeout, true, s)) {
                    EXPECT_TRUE(s.code == nKZAPALS100::kStatusTimeout || s.code == nKZAPALS100::kStatusWaitInterrupted)
                        << s.code;
                    continue;
                }
                const int now = ++inUse;
                int seen = maxInUse.load();
                while (now > seen && !maxInUse.compare_exchange_weak(seen, now)) {
                }
                std::this_thread::sleep_for(std::chrono::microseconds(100));
                --inUse;
                semaphore.release();
            }
        });
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    for (int i = 0; std::chrono::steady_clock::now() < end; ++i) {
        void* handle = handles[i % kThreads].load();
        if (handle != nullptr) kal::sim::interruptThread(handle);
        std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    stop.store(true);
    // Waiters without limit may still be blocked; threads that already ended need nothing.
    for (int t = 0; t < kThreads; ++t) kal::sim::interruptThread(handles[t].load());
    for (auto& thread : threads) thread.join();

    EXPECT_LE(maxInUse.load(), static_cast<int>(kUnits));
    for (uint32_t i = 0; i < kUnits; ++i) EXPECT_TRUE(takeNow(semaphore)) << i;
    EXPECT_FALSE(takeNow(semaphore));
}

TEST(Semaphore, UnsupportedConstructorReportsNotSupportedAndCreatesNothing) {
    const int64_t spinLocks = kal::sim::liveSpinLocks();
    tStatus status;
    {
        tSemaphore semaphore(1, 4, "units", status);
        EXPECT_EQ(status.code, nKZAPALS100::kStatusFeatureNotSupported);
        EXPECT_EQ(kal::sim::liveSpinLocks(), spinLocks);
    }
    EXPECT_EQ(kal::sim::liveSpinLocks(), spinLocks);
}

TEST(Event, AutoResetSetTwiceBeforeOneWaitGivesOneSuccess) {
    tStatus status;
    tEvent event(true, false, status);
    event.set();
    event.set();
    EXPECT_TRUE(event.wait(0, false, status));
    EXPECT_FALSE(event.wait(0, false, status));
    EXPECT_EQ(status.code, nKZAPALS100::kStatusTimeout);
}

TEST(Event, ManualResetSetWakesAllWaitersAndStaysSignalled) {
    tStatus status;
    tEvent event(false, false, status);
    std::vector<std::unique_ptr<WaitingThread>> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.push_back(std::make_unique<WaitingThread>([&](tStatus& s) { return event.wait(kWaitNoLimit, true, s); }));
        ASSERT_TRUE(waiters.back()->blocked());
    }
    event.set();
    for (auto& waiter : waiters) {
        EXPECT_TRUE(waiter->result());
        EXPECT_EQ(waiter->code(), 0);
    }
    EXPECT_TRUE(event.wait(0, false, status));
    EXPECT_TRUE(event.wait(0, false, status));
    EXPECT_EQ(status.code, 0);
}

TEST(Wait, OneSignalWakesOnlyTheOldestWaiter) {
    for (bool event : {false, true}) {
        Signal signal(event);
        SCOPED_TRACE(signal.name());
        WaitingThread oldest([&](tStatus& s) { return signal.wait(kWaitNoLimit, false, s); });
        ASSERT_TRUE(oldest.blocked());
        WaitingThread younger([&](tStatus& s) { return signal.wait(kOneMinuteUs, true, s); });
        ASSERT_TRUE(younger.blocked());

        signal.give();
        EXPECT_TRUE(oldest.result());
        EXPECT_EQ(oldest.code(), 0);
        settle();
        EXPECT_FALSE(younger.done());
        EXPECT_FALSE(signal.takeNow()) << "the signal went to the waiter, nothing is left";

        signal.give();
        EXPECT_TRUE(younger.result());
        EXPECT_EQ(younger.code(), 0);
        EXPECT_FALSE(signal.takeNow());
    }
}

// Interruption through the kernel layer fails the wait, and the failed waiter leaves the list: the
// next signal becomes available instead of vanishing into it.
TEST(Wait, InterruptedWaitFailsWithWaitInterrupted) {
    for (bool event : {false, true}) {
        for (uint32_t timeout : {kWaitNoLimit, kOneMinuteUs}) {
            Signal signal(event);
            SCOPED_TRACE(std::string(signal.name()) + (timeout == kWaitNoLimit ? ", no limit" : ", finite"));
            WaitingThread waiter([&](tStatus& s) { return signal.wait(timeout, true, s); });
            ASSERT_TRUE(waiter.blocked());
            ASSERT_TRUE(kal::sim::interruptThread(waiter.handle()));
            EXPECT_FALSE(waiter.result());
            EXPECT_EQ(waiter.code(), nKZAPALS100::kStatusWaitInterrupted);

            signal.give();
            EXPECT_TRUE(signal.takeNow());
            EXPECT_FALSE(signal.takeNow());
        }
    }
}

// A plain wait ignores an interruption; it stays pending for the thread's next interruptible wait.
TEST(Wait, PlainWaitIgnoresInterruption) {
    tStatus status;
    tSemaphore semaphore(0, status);
    std::atomic<bool> interrupted{false};
    WaitingThread waiter([&](tStatus& s) {
        const bool plain = semaphore.acquire(kWaitNoLimit, false, s);
        tStatus second;
        interrupted.store(!semaphore.acquire(kWaitNoLimit, true, second) &&
                          second.code == nKZAPALS100::kStatusWaitInterrupted);
        return plain;
    });
    ASSERT_TRUE(waiter.blocked());
    kal::sim::interruptThread(waiter.handle());
    settle();
    EXPECT_FALSE(waiter.done());
    semaphore.release();
    EXPECT_TRUE(waiter.result());
    EXPECT_TRUE(interrupted.load());
}

TEST(Wait, TimedOutWaitFailsAndTheNextSignalGoesToTheNextWaiter) {
    for (bool event : {false, true}) {
        Signal signal(event);
        SCOPED_TRACE(signal.name());
        tStatus status;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(signal.wait(20000, false, status));
        EXPECT_EQ(status.code, nKZAPALS100::kStatusTimeout);
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(20));

        WaitingThread next([&](tStatus& s) { return signal.wait(kOneMinuteUs, false, s); });
        ASSERT_TRUE(next.blocked());
        signal.give();
        EXPECT_TRUE(next.result());
        EXPECT_EQ(next.code(), 0);
        EXPECT_FALSE(signal.takeNow());
    }
}

TEST(Wait, StatusHoldingAnErrorTouchesNothing) {
    tStatus ok;
    tSemaphore semaphore(1, ok);
    tEvent event(true, true, ok);
    tStatus failed;
    failed.code = -50;
    EXPECT_FALSE(semaphore.acquire(0, false, failed));
    EXPECT_FALSE(event.wait(kWaitNoLimit, true, failed));
    EXPECT_EQ(failed.code, -50);
    EXPECT_TRUE(takeNow(semaphore));
    EXPECT_TRUE(event.wait(0, false, ok));

    const int64_t mutexes = kal::sim::liveMutexes();
    const int64_t spinLocks = kal::sim::liveSpinLocks();
    {
        tMutex mutex(failed);
        tSpinLock spinLock(failed);
        tSecondaryISRLock secondary(failed);
        tEvent unbuilt(false, true, failed);
        tSemaphore unbuiltSemaphore(2, failed);
        tSemaphore unsupported(1, 2, "x", failed);
        EXPECT_EQ(kal::sim::liveMutexes(), mutexes);
        EXPECT_EQ(kal::sim::liveSpinLocks(), spinLocks);
    }
    EXPECT_EQ(failed.code, -50);
}

TEST(Creation, KernelObjectFailureReportsMemoryFull) {
    struct Case {
        const char* call;
        std::function<void(tStatus&)> build;
    };
    const Case cases[] = {
        {"createMutex", [](tStatus& s) { tMutex m(s); }},
        {"createSpinLock", [](tStatus& s) { tSpinLock l(s); }},
        {"createSpinLock", [](tStatus& s) { tSecondaryISRLock l(s); }},
        {"createSpinLock", [](tStatus& s) { tEvent e(true, false, s); }},
        {"createSpinLock", [](tStatus& s) { tSemaphore e(0, s); }},
    };
    const int64_t mutexes = kal::sim::liveMutexes();
    const int64_t spinLocks = kal::sim::liveSpinLocks();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        kal::sim::FailKernelCall fail(c.call);
        tStatus status;
        c.build(status);
        EXPECT_EQ(status.code, nKZAPALS100::kStatusMemoryFull);
        EXPECT_EQ(fail.failures(), 1u);
        EXPECT_EQ(kal::sim::liveMutexes(), mutexes);
        EXPECT_EQ(kal::sim::liveSpinLocks(), spinLocks);
    }
}

TEST(Mutex, TakenThreeTimesBlocksOthersUntilReleasedThreeTimes) {
    tStatus status;
    tMutex mutex(status);
    ASSERT_EQ(status.code, 0);
    for (int i = 0; i < 3; ++i) mutex.acquire();
    std::atomic<bool> taken{false};
    WaitingThread other([&](tStatus&) {
        tAutoLock lock(mutex);
        taken.store(true);
        return true;
    });
    ASSERT_TRUE(other.blocked());
    mutex.release();
    mutex.release();
    settle();
    EXPECT_FALSE(taken.load());
    EXPECT_TRUE(kal::sim::isBlocked(other.handle()));

    mutex.release();
    EXPECT_TRUE(other.result());
    EXPECT_TRUE(taken.load());
    tAutoLock again(mutex);
}

TEST(SpinLock, HeldOnlyBetweenAcquireAndRelease) {
    tStatus status;
    tSpinLock spinLock(status);
    tSecondaryISRLock secondary(status);
    ASSERT_EQ(status.code, 0);
    EXPECT_EQ(kal::sim::heldSpinLocks(), 0u);
    spinLock.acquire();
    secondary.acquire();
    EXPECT_EQ(kal::sim::heldSpinLocks(), 2u);
    secondary.release();
    spinLock.release();
    EXPECT_EQ(kal::sim::heldSpinLocks(), 0u);
}

}  // namespace
