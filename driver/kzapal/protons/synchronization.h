// Locks, events and semaphores: the only synchronisation the driver uses. Every shared object owns
// the primitive that guards it.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"
#include "kzkal/sync.h"

namespace kzvorn_driver {
namespace nKZAPAL000 {

// Recursive mutex for thread context, over the kernel's non-recursive one.
class tMutex {
public:
    explicit tMutex(nKZAPALS100::tStatus& status);
    ~tMutex();
    tMutex(const tMutex&) = delete;
    tMutex& operator=(const tMutex&) = delete;

    void acquire();
    // Does not check that the caller owns the mutex.
    void release();

private:
    void* handle_ = nullptr;
    // Written only by the owner while it holds the kernel mutex; other threads only compare it
    // with their own handle, which it can never equal.
    void* owner_ = nullptr;
    uint32_t depth_ = 0;
};

class tAutoLock {
public:
    explicit tAutoLock(tMutex& mutex) : mutex_(&mutex) { mutex_->acquire(); }
    ~tAutoLock() { mutex_->release(); }
    tAutoLock(const tAutoLock&) = delete;
    tAutoLock& operator=(const tAutoLock&) = delete;

private:
    tMutex* mutex_;
};

// Owns a kernel spin lock; the two lock levels differ only in how they take it.
class tSpinLockHandle {
public:
    tSpinLockHandle(const tSpinLockHandle&) = delete;
    tSpinLockHandle& operator=(const tSpinLockHandle&) = delete;

protected:
    explicit tSpinLockHandle(nKZAPALS100::tStatus& status);
    ~tSpinLockHandle();

    void* handle_ = nullptr;
};

// Interrupt-level spin lock: excludes the interrupt handler, so it is held only for short updates.
class tSpinLock : tSpinLockHandle {
public:
    explicit tSpinLock(nKZAPALS100::tStatus& status) : tSpinLockHandle(status) {}

    void acquire() { savedState_ = nKZKAL110_acquireSpinLockInterrupt(handle_); }
    void release() { nKZKAL110_releaseSpinLockInterrupt(handle_, savedState_); }

private:
    uint64_t savedState_ = 0;
};

// Deferred-call-level spin lock: serialises thread context with deferred calls.
class tSecondaryISRLock : tSpinLockHandle {
public:
    explicit tSecondaryISRLock(nKZAPALS100::tStatus& status) : tSpinLockHandle(status) {}

    void acquire() { nKZKAL100_acquireSpinLockDPC(handle_); }
    void release() { nKZKAL100_releaseSpinLockDPC(handle_); }
};

constexpr uint32_t kWaitNoLimit = 0xFFFFFFFF;

// What events and semaphores share: a count, a FIFO of waiters and one wait. A waiter that is woken
// is handed its unit directly, so the count only holds units nobody waits for.
class tWaitable {
public:
    tWaitable(const tWaitable&) = delete;
    tWaitable& operator=(const tWaitable&) = delete;

protected:
    struct tLinks {
        tLinks* next;
        tLinks* previous;
    };
    // Lives on the waiting thread's stack; whoever unlinks it (under the spin lock) owns the right
    // to release its single-use event.
    struct tWaiter : tLinks {
        nKZKAL100_tSingleUseEvent event;
        nKZAPALS100::tStatus status;
    };

    tWaitable(bool consume, uint32_t count, nKZAPALS100::tStatus& status);

    // Time-out in microseconds; 0 only takes what is available, kWaitNoLimit waits forever.
    bool wait(uint32_t timeout, bool interruptible, nKZAPALS100::tStatus& status);
    void waitWithoutLimit();
    // Both need the spin lock held.
    bool hasWaiters() const { return waiters_.next != &waiters_; }
    void wakeOldest();

    bool consume_;
    // Changed under the spin lock, atomically: tEvent::set reads it without the lock.
    uint32_t count_;
    tSpinLock lock_;

private:
    struct tTimeoutContext {
        tWaitable* object;
        tWaiter* waiter;
    };
    static void onTimeout(void* context);
    void append(tWaiter& waiter);
    // An unlinked waiter points to itself.
    static bool isLinked(const tWaiter& waiter) { return waiter.next != &waiter; }
    static void unlink(tWaiter& waiter);

    // Sentinel of the circular list.
    tLinks waiters_;
};

class tEvent : public tWaitable {
public:
    // A consuming (auto-reset) event hands each set to one waiter.
    tEvent(bool consume, bool initialState, nKZAPALS100::tStatus& status);

    void set() {
        // Already set: setting it now changes nothing, and needs no lock. The count changes in one
        // total order with the waiter's own checks (a waiter takes the unit, then looks again at
        // what it waits for), so a setter that finds the unit still there has its change seen by
        // that waiter.
        if (__atomic_load_n(&count_, __ATOMIC_SEQ_CST) != 0) return;
        setUnderLock();
    }
    bool wait(uint32_t timeout, bool interruptible, nKZAPALS100::tStatus& status) {
        return tWaitable::wait(timeout, interruptible, status);
    }
    // Without limit, without interruption.
    void wait() { waitWithoutLimit(); }

private:
    void setUnderLock();
};

class tSemaphore : public tWaitable {
public:
    tSemaphore(uint32_t initialCount, nKZAPALS100::tStatus& status);
    // Not supported: records -52002 and creates nothing.
    tSemaphore(uint32_t initialCount, uint32_t maximumCount, const char* name, nKZAPALS100::tStatus& status);

    // The time-out is a 32-bit value carried in a 64-bit argument.
    bool acquire(uint64_t timeout, bool interruptible, nKZAPALS100::tStatus& status);
    // Without limit, without interruption.
    void acquire() { waitWithoutLimit(); }
    void release();
};

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
