#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <new>
#include <thread>

#include "board/hostAllocator.h"
#include "kal/sim/faults.h"
#include "kal/sim/interrupt.h"
#include "kzkal/interrupt.h"

namespace {

thread_local bool tInterruptContext = false;
thread_local bool tDeferredCallContext = false;

struct Reservation {
    uint32_t interrupt;
    nKZKAL1400_tInterruptCallback* callback;
    uint32_t flags;
};

struct DeferredCall {
    void (*function)(void*);
    void* context;
    bool pending = false;
    bool running = false;
};

// One worker thread that runs jobs in order; started with the process so that starting it never
// depends on the driver's allocator.
class Worker {
public:
    explicit Worker(void (*enter)()) : enter_(enter), thread_([this] { run(); }) {}
    ~Worker() {
        {
            std::lock_guard<std::mutex> guard(lock_);
            stopping_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }

    std::mutex lock_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<DeferredCall*, board::HostAllocator<DeferredCall*>> queue_;
    bool busy_ = false;

private:
    void run() {
        enter_();
        std::unique_lock<std::mutex> guard(lock_);
        for (;;) {
            wake_.wait(guard, [this] { return stopping_ || !queue_.empty(); });
            if (queue_.empty()) return;
            DeferredCall* call = queue_.front();
            queue_.pop_front();
            call->pending = false;
            call->running = true;
            busy_ = true;
            guard.unlock();
            call->function(call->context);
            guard.lock();
            call->running = false;
            busy_ = false;
            idle_.notify_all();
        }
    }

    void (*enter_)();
    bool stopping_ = false;
    std::thread thread_;
};

struct Interrupts {
    std::mutex lock;
    board::HostVector<Reservation> reservations;
    // Deliveries begun and finished; they run one after another on the interrupt thread.
    uint64_t started = 0;
    uint64_t finished = 0;
    std::condition_variable delivered;
};

// Built in static storage and never destroyed, as the postings below: the interrupt thread
// outlives the statics. (A heap block would count as the driver's: its operator new is global.)
template <class T>
T& immortal() {
    alignas(T) static unsigned char storage[sizeof(T)];
    static T* object = new (storage) T;
    return *object;
}

Interrupts& interrupts() { return immortal<Interrupts>(); }

Worker& interruptWorker() {
    static Worker worker([] {
        tInterruptContext = true;
        kal::sim::setCurrentThreadName(kal::sim::kInterruptThread);
    });
    return worker;
}

Worker& deferredCallWorker() {
    static Worker worker([] {
        tDeferredCallContext = true;
        kal::sim::setCurrentThreadName(kal::sim::kDeferredCallThread);
    });
    return worker;
}

std::atomic<int64_t> gLiveDeferredCalls{0};

// Start both threads with the process.
const bool gStarted = (interruptWorker(), deferredCallWorker(), true);

[[noreturn]] void fail(const char* what, uint32_t interrupt) {
    std::fprintf(stderr, "kal: %s (interrupt %u)\n", what, interrupt);
    std::abort();
}

}  // namespace

extern "C" int32_t nKZKAL1400_reserveInterrupt(uint32_t interrupt, nKZKAL1400_tInterruptCallback* callback,
                                               const char* name, uint32_t flags) {
    int32_t code = 0;
    if (kal::sim::shouldFail("reserveInterrupt", &code)) return code != 0 ? code : KZKAL_ERR_NOT_SUPPORTED;
    if (interrupt == 0 || callback == nullptr || callback->function == nullptr) return KZKAL_ERR_BAD_PARAMETER;
    Interrupts& i = interrupts();
    std::lock_guard<std::mutex> guard(i.lock);
    for (const Reservation& r : i.reservations)
        if (r.interrupt == interrupt && ((r.flags & 1) == 0 || (flags & 1) == 0)) return KZKAL_ERR_VALUE_CONFLICT;
    i.reservations.push_back({interrupt, callback, flags});
    return 0;
}

extern "C" void nKZKAL100_relinquishInterrupt(uint32_t interrupt, nKZKAL1400_tInterruptCallback* callback) {
    Interrupts& i = interrupts();
    std::unique_lock<std::mutex> guard(i.lock);
    auto it = i.reservations.begin();
    while (it != i.reservations.end() && !(it->interrupt == interrupt && it->callback == callback)) ++it;
    if (it == i.reservations.end()) fail("relinquishing an interrupt that is not reserved", interrupt);
    i.reservations.erase(it);
    // No call after the return: wait until a delivery in progress has finished. Later ones no
    // longer see the callback, so a device that keeps interrupting cannot hold this up.
    const uint64_t begun = i.started;
    i.delivered.wait(guard, [&] { return i.finished >= begun; });
}

extern "C" void* nKZKAL100_createDPC(void (*function)(void*), void* context) {
    if (kal::sim::shouldFail("createDPC")) return nullptr;
    auto* call = static_cast<DeferredCall*>(std::malloc(sizeof(DeferredCall)));
    new (call) DeferredCall{function, context};
    ++gLiveDeferredCalls;
    return call;
}

extern "C" void nKZKAL100_scheduleDPC(void* dpc) {
    auto* call = static_cast<DeferredCall*>(dpc);
    Worker& w = deferredCallWorker();
    {
        std::lock_guard<std::mutex> guard(w.lock_);
        if (call->pending) return;
        call->pending = true;
        w.queue_.push_back(call);
    }
    w.wake_.notify_all();
}

extern "C" void nKZKAL100_destroyDPC(void* dpc) {
    if (dpc == nullptr) return;
    auto* call = static_cast<DeferredCall*>(dpc);
    Worker& w = deferredCallWorker();
    {
        std::unique_lock<std::mutex> guard(w.lock_);
        for (auto it = w.queue_.begin(); it != w.queue_.end();)
            it = *it == call ? w.queue_.erase(it) : it + 1;
        w.idle_.wait(guard, [&] { return !call->running; });
    }
    std::free(call);
    --gLiveDeferredCalls;
}

namespace {

// Delivers to every callback reserved on the interrupt; true when one claimed it.
bool deliver(uint32_t interrupt) {
    Interrupts& i = interrupts();
    board::HostVector<Reservation> targets;
    {
        std::lock_guard<std::mutex> guard(i.lock);
        ++i.started;
        for (const Reservation& r : i.reservations)
            if (r.interrupt == interrupt) targets.push_back(r);
    }
    bool claimed = false;
    for (const Reservation& r : targets)
        if (r.callback->function(interrupt, r.callback->device) != 0) claimed = true;
    {
        std::lock_guard<std::mutex> guard(i.lock);
        ++i.finished;
    }
    i.delivered.notify_all();
    return claimed;
}

// The deliveries posted for one interrupt and not yet made: one job per interrupt, queued again
// when posted while it runs; kept for the life of the process.
struct Posting {
    DeferredCall job;
    uint32_t interrupt;
    uint64_t count = 0;
};

void runPostings(void* context) {
    Posting& posting = *static_cast<Posting*>(context);
    Worker& w = interruptWorker();
    for (;;) {
        uint64_t count;
        {
            std::lock_guard<std::mutex> guard(w.lock_);
            count = posting.count;
            posting.count = 0;
        }
        if (count == 0) return;
        while (count-- != 0) deliver(posting.interrupt);
    }
}

}  // namespace

namespace kal::sim {

void postInterrupt(uint32_t interrupt) {
    // Never destroyed: the interrupt thread may still finish a posting's job at exit.
    auto& postings = immortal<board::HostMap<uint32_t, Posting>>();
    Worker& w = interruptWorker();
    std::lock_guard<std::mutex> guard(w.lock_);
    auto [it, added] = postings.try_emplace(interrupt);
    Posting& posting = it->second;
    if (added) {
        posting.job = DeferredCall{runPostings, &posting};
        posting.interrupt = interrupt;
    }
    ++posting.count;
    if (posting.job.pending) return;
    posting.job.pending = true;
    w.queue_.push_back(&posting.job);
    w.wake_.notify_all();
}

bool raiseInterrupt(uint32_t interrupt) {
    struct Delivery {
        uint32_t interrupt;
        bool claimed;
    } delivery{interrupt, false};
    DeferredCall job{[](void* context) {
                         auto* d = static_cast<Delivery*>(context);
                         if (deliver(d->interrupt)) d->claimed = true;
                     },
                     &delivery};
    Worker& w = interruptWorker();
    std::unique_lock<std::mutex> guard(w.lock_);
    job.pending = true;
    w.queue_.push_back(&job);
    w.wake_.notify_all();
    w.idle_.wait(guard, [&] { return !job.pending && !job.running; });
    return delivery.claimed;
}

size_t reservedInterruptCount() {
    Interrupts& i = interrupts();
    std::lock_guard<std::mutex> guard(i.lock);
    return i.reservations.size();
}

int64_t liveDeferredCalls() { return gLiveDeferredCalls.load(); }

size_t reservedInterrupts(uint32_t interrupt) {
    Interrupts& i = interrupts();
    std::lock_guard<std::mutex> guard(i.lock);
    size_t count = 0;
    for (const Reservation& r : i.reservations) count += r.interrupt == interrupt;
    return count;
}

void waitForDeferredCalls() {
    Worker& w = deferredCallWorker();
    std::unique_lock<std::mutex> guard(w.lock_);
    w.idle_.wait(guard, [&] { return !w.busy_ && w.queue_.empty(); });
}

bool inInterruptContext() { return tInterruptContext; }
bool inDeferredCallContext() { return tDeferredCallContext; }

}  // namespace kal::sim
