#include "kzapal/protons/synchronization.h"

#include "kzapal/protons/statusCodes.h"

namespace kzvorn_driver {
namespace nKZAPAL000 {

namespace {

// Creates a kernel object unless the status already holds an error; null means out of memory.
// The creator is a template argument so that it is called directly: taking the address of a
// kernel-layer function would make the driver object reference the GOT.
template <void* (*creator)()>
void* create(nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return nullptr;
    void* handle = creator();
    if (handle == nullptr) KZ_SET_CODE(status, nKZAPALS100::kStatusMemoryFull);
    return handle;
}

}  // namespace

tMutex::tMutex(nKZAPALS100::tStatus& status) : handle_(create<nKZKAL150_createMutex>(status)) {}

tMutex::~tMutex() {
    if (handle_ != nullptr) nKZKAL150_destroyMutex(handle_);
}

void tMutex::acquire() {
    void* self = nKZKAL100_getThreadHandle();
    if (__atomic_load_n(&owner_, __ATOMIC_RELAXED) != self) {
        nKZKAL150_acquireMutex(handle_);
        __atomic_store_n(&owner_, self, __ATOMIC_RELAXED);
    }
    ++depth_;
}

void tMutex::release() {
    if (--depth_ != 0) return;
    __atomic_store_n(&owner_, static_cast<void*>(nullptr), __ATOMIC_RELAXED);
    nKZKAL150_releaseMutex(handle_);
}

tSpinLockHandle::tSpinLockHandle(nKZAPALS100::tStatus& status)
    : handle_(create<nKZKAL100_createSpinLock>(status)) {}

tSpinLockHandle::~tSpinLockHandle() {
    if (handle_ != nullptr) nKZKAL100_destroySpinLock(handle_);
}

tWaitable::tWaitable(bool consume, uint32_t count, nKZAPALS100::tStatus& status)
    : consume_(consume), count_(count), lock_(status), waiters_{&waiters_, &waiters_} {}

void tWaitable::append(tWaiter& waiter) {
    waiter.next = &waiters_;
    waiter.previous = waiters_.previous;
    waiters_.previous->next = &waiter;
    waiters_.previous = &waiter;
}

void tWaitable::unlink(tWaiter& waiter) {
    waiter.previous->next = waiter.next;
    waiter.next->previous = waiter.previous;
    waiter.next = &waiter;
    waiter.previous = &waiter;
}

void tWaitable::wakeOldest() {
    tWaiter& oldest = *static_cast<tWaiter*>(waiters_.next);
    unlink(oldest);
    nKZKAL100_releaseSingleUseEvent(&oldest.event);
}

// Runs when a finite wait's time runs out before its event was released; the kernel layer never
// runs it after the wait has returned, so the waiter is still on its thread's stack.
void tWaitable::onTimeout(void* context) {
    auto& timeout = *static_cast<tTimeoutContext*>(context);
    tWaitable& object = *timeout.object;
    tWaiter& waiter = *timeout.waiter;
    object.lock_.acquire();
    if (isLinked(waiter)) {
        unlink(waiter);
        KZ_SET_CODE(waiter.status, nKZAPALS100::kStatusTimeout);
        nKZKAL100_releaseSingleUseEvent(&waiter.event);
    }
    object.lock_.release();
}

bool tWaitable::wait(uint32_t timeout, bool interruptible, nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return false;
    lock_.acquire();
    if (count_ != 0) {
        if (consume_) __atomic_sub_fetch(&count_, 1, __ATOMIC_SEQ_CST);
        lock_.release();
        return true;
    }
    if (timeout == 0) {
        lock_.release();
        KZ_SET_CODE(status, nKZAPALS100::kStatusTimeout);
        return false;
    }
    tWaiter waiter;
    waiter.next = &waiter;
    waiter.previous = &waiter;
    nKZKAL100_initializeSingleUseEvent(&waiter.event);
    append(waiter);
    lock_.release();

    if (timeout == kWaitNoLimit) {
        const int32_t result = interruptible ? nKZKAL100_waitForSingleUseEventInterruptible(&waiter.event)
                                             : nKZKAL100_waitForSingleUseEvent(&waiter.event);
        if (result < 0) {
            lock_.acquire();
            // Not linked any more: the unit was handed over just before the interruption.
            if (isLinked(waiter)) {
                KZ_SET_CODE(status, nKZAPALS100::kStatusWaitInterrupted);
                unlink(waiter);
            }
            lock_.release();
            if (status.isFatal()) return false;
        }
    } else {
        tTimeoutContext context{this, &waiter};
        const nKZKAL100_tTimeoutCallback callback{onTimeout, &context};
        const int32_t result =
            interruptible ? nKZKAL100_waitForSingleUseEventTimeoutInterruptible(&waiter.event, timeout, &callback)
                          : nKZKAL100_waitForSingleUseEventTimeout(&waiter.event, timeout, &callback);
        if (result < 0) {
            lock_.acquire();
            if (isLinked(waiter)) {
                KZ_SET_CODE(waiter.status, nKZAPALS100::kStatusWaitInterrupted);
                unlink(waiter);
            }
            lock_.release();
        }
    }
    // A releasing thread may still be inside the release of our event until it drops the lock.
    lock_.acquire();
    lock_.release();
    if (waiter.status.isFatal()) {
        nKZAPALS100::merge(status, waiter.status);
        return false;
    }
    return true;
}

void tWaitable::waitWithoutLimit() {
    nKZAPALS100::tStatus status;
    wait(kWaitNoLimit, false, status);
}

tEvent::tEvent(bool consume, bool initialState, nKZAPALS100::tStatus& status)
    : tWaitable(consume, initialState ? 1 : 0, status) {}

void tEvent::setUnderLock() {
    lock_.acquire();
    if (count_ == 0) {
        if (consume_ && hasWaiters()) {
            wakeOldest();
        } else {
            __atomic_store_n(&count_, 1, __ATOMIC_SEQ_CST);
            while (hasWaiters()) wakeOldest();
        }
    }
    lock_.release();
}

namespace {

nKZAPALS100::tStatus& reportUnsupported(nKZAPALS100::tStatus& status) {
    KZ_SET_CODE(status, nKZAPALS100::kStatusFeatureNotSupported);
    return status;
}

}  // namespace

tSemaphore::tSemaphore(uint32_t initialCount, nKZAPALS100::tStatus& status) : tWaitable(true, initialCount, status) {}

tSemaphore::tSemaphore(uint32_t, uint32_t, const char*, nKZAPALS100::tStatus& status)
    : tWaitable(true, 0, reportUnsupported(status)) {}

bool tSemaphore::acquire(uint64_t timeout, bool interruptible, nKZAPALS100::tStatus& status) {
    // Anything beyond 32 bits is longer than any finite time-out: wait without limit.
    const uint32_t timeout32 = timeout > kWaitNoLimit ? kWaitNoLimit : static_cast<uint32_t>(timeout);
    return wait(timeout32, interruptible, status);
}

void tSemaphore::release() {
    lock_.acquire();
    // Waiters exist only while the count is 0. With units available a release only adds one:
    // waking waiters as well would hand out units that do not exist.
    if (count_ == 0 && hasWaiters())
        wakeOldest();
    else
        __atomic_add_fetch(&count_, 1, __ATOMIC_SEQ_CST);
    lock_.release();
}

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
