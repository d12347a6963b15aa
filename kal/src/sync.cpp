// Mutexes, spin locks, threads and single-use events of the kernel-layer stand-in. Misuse that a
// kernel would punish with a deadlock or a warning (a blocking call under a spin lock, a mutex
// taken twice, an event released twice) aborts the test instead.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <new>

#include <sys/syscall.h>
#include <unistd.h>

#include "kal/sim/faults.h"
#include "kal/sim/interrupt.h"
#include "kal/sim/sync.h"
#include "kzkal/sync.h"

namespace {

[[noreturn]] void misuse(const char* what) {
    std::fprintf(stderr, "kzkal: %s\n", what);
    std::abort();
}

constexpr size_t kMaxHeldSpinLocks = 16;

struct tThreadState {
    tThreadState();
    ~tThreadState();

    tThreadState* next = nullptr;
    tThreadState* previous = nullptr;
    uint64_t id = 0;
    // Touched only by the thread itself.
    void* heldSpinLocks[kMaxHeldSpinLocks] = {};
    size_t heldCount = 0;
    // Guarded by gLock.
    bool interruptPending = false;
    bool blocked = false;
};

// Guards the thread registry, the blocked and interruption flags and every single-use event.
std::mutex gLock;
tThreadState* gThreads = nullptr;
std::atomic<int64_t> gLiveMutexes{0};
std::atomic<int64_t> gLiveSpinLocks{0};

// Signalled on every release, interruption and change of a blocked flag. Never destroyed, so
// that threads still waiting at exit find it intact.
std::condition_variable& changed() {
    alignas(std::condition_variable) static unsigned char storage[sizeof(std::condition_variable)];
    static std::condition_variable* condition = new (storage) std::condition_variable;
    return *condition;
}

tThreadState::tThreadState() : id(static_cast<uint64_t>(::syscall(SYS_gettid))) {
    std::lock_guard<std::mutex> guard(gLock);
    next = gThreads;
    if (gThreads != nullptr) gThreads->previous = this;
    gThreads = this;
}

tThreadState::~tThreadState() {
    if (heldCount != 0) misuse("thread ended while holding a spin lock");
    std::lock_guard<std::mutex> guard(gLock);
    if (previous != nullptr)
        previous->next = next;
    else
        gThreads = next;
    if (next != nullptr) next->previous = previous;
}

thread_local tThreadState gThisThread;

// Never called with gLock held: the first use in a thread registers it.
tThreadState& thisThread() { return gThisThread; }

tThreadState* findThread(void* handle) {
    for (tThreadState* thread = gThreads; thread != nullptr; thread = thread->next)
        if (thread == handle) return thread;
    return nullptr;
}

void setBlocked(tThreadState& self, bool blocked) {
    std::lock_guard<std::mutex> guard(gLock);
    self.blocked = blocked;
    changed().notify_all();
}

constexpr uint32_t kMutexMagic = 0x4D555458;
constexpr uint32_t kSpinLockMagic = 0x5350494E;
constexpr uint32_t kEventMagic = 0x45564E54;

struct tKernelMutex {
    uint32_t magic = kMutexMagic;
    std::mutex mutex;
    std::atomic<tThreadState*> owner{nullptr};
};

struct tKernelSpinLock {
    uint32_t magic = kSpinLockMagic;
    std::mutex mutex;
    std::atomic<tThreadState*> holder{nullptr};
};

// The stand-in's own objects stay out of the driver's allocator and its fault injection.
template <typename T>
T* createObject(std::atomic<int64_t>& live) {
    void* storage = std::malloc(sizeof(T));
    if (storage == nullptr) return nullptr;
    ++live;
    return new (storage) T;
}

template <typename T>
void destroyObject(T* object, std::atomic<int64_t>& live) {
    object->magic = 0;
    object->~T();
    std::free(object);
    --live;
}

tKernelMutex& mutexOf(void* handle) {
    auto* mutex = static_cast<tKernelMutex*>(handle);
    if (mutex == nullptr || mutex->magic != kMutexMagic) misuse("not a kernel mutex");
    return *mutex;
}

tKernelSpinLock& spinLockOf(void* handle) {
    auto* lock = static_cast<tKernelSpinLock*>(handle);
    if (lock == nullptr || lock->magic != kSpinLockMagic) misuse("not a spin lock");
    return *lock;
}

void acquireSpinLock(void* handle) {
    tKernelSpinLock& lock = spinLockOf(handle);
    tThreadState& self = thisThread();
    if (lock.holder.load() == &self) misuse("spin lock taken twice by one thread");
    if (self.heldCount == kMaxHeldSpinLocks) misuse("too many spin locks held at once");
    lock.mutex.lock();
    lock.holder.store(&self);
    self.heldSpinLocks[self.heldCount++] = handle;
}

void releaseSpinLock(void* handle) {
    tKernelSpinLock& lock = spinLockOf(handle);
    tThreadState& self = thisThread();
    if (lock.holder.load() != &self) misuse("spin lock released by a thread that does not hold it");
    size_t i = self.heldCount;
    while (self.heldSpinLocks[i - 1] != handle) --i;
    for (; i < self.heldCount; ++i) self.heldSpinLocks[i - 1] = self.heldSpinLocks[i];
    --self.heldCount;
    lock.holder.store(nullptr);
    lock.mutex.unlock();
}

// The interrupt form's saved state: a tag and the nesting depth, so a lock that does not hand back
// what it was given shows.
constexpr uint64_t kInterruptStateTag = 0x1F5AFE00;

struct tEventState {
    uint32_t magic;
    bool released;
};
static_assert(sizeof(tEventState) <= sizeof(nKZKAL100_tSingleUseEvent), "event state fits the opaque storage");
static_assert(alignof(tEventState) <= alignof(nKZKAL100_tSingleUseEvent), "event state alignment");

// Needs gLock.
tEventState& eventOf(nKZKAL100_tSingleUseEvent* event) {
    auto* state = reinterpret_cast<tEventState*>(event);
    if (state == nullptr || state->magic != kEventMagic) misuse("single-use event not initialised");
    return *state;
}

constexpr int32_t kWaitInterrupted = -51000;

// Returns when the event is released, or negative when an interruptible wait is interrupted. A
// timed wait runs the callback on this thread, so it can never run after the return.
int32_t waitForEvent(nKZKAL100_tSingleUseEvent* event, bool interruptible, const uint32_t* timeoutUs,
                     const nKZKAL100_tTimeoutCallback* callback) {
    kal::sim::requireNoSpinLock("wait for a single-use event");
    tThreadState& self = thisThread();
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::microseconds(timeoutUs != nullptr ? *timeoutUs : 0);
    bool callbackDue = timeoutUs != nullptr && callback != nullptr && callback->function != nullptr;
    std::unique_lock<std::mutex> lock(gLock);
    tEventState& state = eventOf(event);
    self.blocked = true;
    changed().notify_all();
    int32_t result = 0;
    while (!state.released) {
        if (interruptible && self.interruptPending) {
            self.interruptPending = false;
            result = kWaitInterrupted;
            break;
        }
        if (!callbackDue) {
            changed().wait(lock);
        } else if (std::chrono::steady_clock::now() < deadline) {
            changed().wait_until(lock, deadline);
        } else {
            callbackDue = false;
            lock.unlock();
            callback->function(callback->context);
            lock.lock();
        }
    }
    self.blocked = false;
    changed().notify_all();
    return result;
}

}  // namespace

extern "C" void* nKZKAL150_createMutex(void) {
    if (kal::sim::shouldFail("createMutex")) return nullptr;
    return createObject<tKernelMutex>(gLiveMutexes);
}

extern "C" void nKZKAL150_acquireMutex(void* handle) {
    tKernelMutex& mutex = mutexOf(handle);
    kal::sim::requireNoSpinLock("take a kernel mutex");
    tThreadState& self = thisThread();
    if (mutex.owner.load() == &self) misuse("kernel mutex taken twice by one thread");
    if (!mutex.mutex.try_lock()) {
        setBlocked(self, true);
        mutex.mutex.lock();
        setBlocked(self, false);
    }
    mutex.owner.store(&self);
}

extern "C" void nKZKAL150_releaseMutex(void* handle) {
    tKernelMutex& mutex = mutexOf(handle);
    if (mutex.owner.load() != &thisThread()) misuse("kernel mutex released by a thread that does not own it");
    mutex.owner.store(nullptr);
    mutex.mutex.unlock();
}

extern "C" void nKZKAL150_destroyMutex(void* handle) {
    if (handle == nullptr) return;
    tKernelMutex& mutex = mutexOf(handle);
    if (mutex.owner.load() != nullptr) misuse("kernel mutex destroyed while held");
    destroyObject(&mutex, gLiveMutexes);
}

extern "C" void* nKZKAL100_createSpinLock(void) {
    if (kal::sim::shouldFail("createSpinLock")) return nullptr;
    return createObject<tKernelSpinLock>(gLiveSpinLocks);
}

extern "C" void nKZKAL100_destroySpinLock(void* handle) {
    if (handle == nullptr) return;
    tKernelSpinLock& lock = spinLockOf(handle);
    if (lock.holder.load() != nullptr) misuse("spin lock destroyed while held");
    destroyObject(&lock, gLiveSpinLocks);
}

extern "C" uint64_t nKZKAL110_acquireSpinLockInterrupt(void* handle) {
    acquireSpinLock(handle);
    return kInterruptStateTag | (thisThread().heldCount - 1);
}

extern "C" void nKZKAL110_releaseSpinLockInterrupt(void* handle, uint64_t savedState) {
    if ((savedState & ~uint64_t{0xFF}) != kInterruptStateTag) misuse("spin lock released with a foreign interrupt state");
    releaseSpinLock(handle);
}

extern "C" void nKZKAL100_acquireSpinLockDPC(void* handle) { acquireSpinLock(handle); }

extern "C" void nKZKAL100_releaseSpinLockDPC(void* handle) { releaseSpinLock(handle); }

extern "C" void* nKZKAL100_getThreadHandle(void) { return &thisThread(); }

extern "C" uint64_t nKZKAL100_getThreadID(void) { return thisThread().id; }

extern "C" void nKZKAL100_initializeSingleUseEvent(nKZKAL100_tSingleUseEvent* event) {
    std::lock_guard<std::mutex> guard(gLock);
    new (event) tEventState{kEventMagic, false};
}

extern "C" void nKZKAL100_releaseSingleUseEvent(nKZKAL100_tSingleUseEvent* event) {
    std::lock_guard<std::mutex> guard(gLock);
    tEventState& state = eventOf(event);
    if (state.released) misuse("single-use event released twice");
    state.released = true;
    changed().notify_all();
}

extern "C" int32_t nKZKAL100_waitForSingleUseEvent(nKZKAL100_tSingleUseEvent* event) {
    return waitForEvent(event, false, nullptr, nullptr);
}

extern "C" int32_t nKZKAL100_waitForSingleUseEventInterruptible(nKZKAL100_tSingleUseEvent* event) {
    return waitForEvent(event, true, nullptr, nullptr);
}

extern "C" int32_t nKZKAL100_waitForSingleUseEventTimeout(nKZKAL100_tSingleUseEvent* event, uint32_t timeoutUs,
                                                          const nKZKAL100_tTimeoutCallback* callback) {
    return waitForEvent(event, false, &timeoutUs, callback);
}

extern "C" int32_t nKZKAL100_waitForSingleUseEventTimeoutInterruptible(nKZKAL100_tSingleUseEvent* event,
                                                                       uint32_t timeoutUs,
                                                                       const nKZKAL100_tTimeoutCallback* callback) {
    return waitForEvent(event, true, &timeoutUs, callback);
}

namespace kal::sim {

bool interruptThread(void* threadHandle) {
    std::lock_guard<std::mutex> guard(gLock);
    tThreadState* thread = findThread(threadHandle);
    if (thread == nullptr) return false;
    thread->interruptPending = true;
    changed().notify_all();
    return true;
}

bool isBlocked(void* threadHandle) {
    std::lock_guard<std::mutex> guard(gLock);
    const tThreadState* thread = findThread(threadHandle);
    return thread != nullptr && thread->blocked;
}

bool awaitBlocked(void* threadHandle, uint32_t limitMs) {
    std::unique_lock<std::mutex> lock(gLock);
    return changed().wait_for(lock, std::chrono::milliseconds(limitMs), [threadHandle] {
        const tThreadState* thread = findThread(threadHandle);
        return thread != nullptr && thread->blocked;
    });
}

size_t heldSpinLocks() { return thisThread().heldCount; }

void requireNoSpinLock(const char* operation) {
    // Interrupt handlers and deferred calls must never block, whatever they hold.
    if (inInterruptContext() || inDeferredCallContext()) {
        std::fprintf(stderr, "kzkal: %s in %s context\n", operation,
                     inInterruptContext() ? "interrupt" : "deferred-call");
        std::abort();
    }
    if (thisThread().heldCount == 0) return;
    std::fprintf(stderr, "kzkal: %s while holding a spin lock\n", operation);
    std::abort();
}

int64_t liveMutexes() { return gLiveMutexes.load(); }

int64_t liveSpinLocks() { return gLiveSpinLocks.load(); }

}  // namespace kal::sim
