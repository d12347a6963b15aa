// The DMA waiters: a thread waits until a stream has moved a number of bytes past a start
// position; the stream's notification, the bridge interrupt and the notifier's work item wake it.
#pragma once

#include <cstdint>

#include "kzapal/protons/synchronization.h"
#include "kzhtl/map.h"
#include "quolinTools/dma/interruptController.h"
#include "quolinTools/dma/streamController.h"

namespace quolintools {

class QuolinDMAInterruptController {
public:
    // Lines a destructor prints while waiters are slow to leave: one per this many 1 ms sleeps.
    static constexpr uint32_t kSleepsPerLine = 1000;
    static constexpr int32_t kPrintLevel = 0x3000;

    QuolinDMAInterruptController(InterruptNotifierRegistryInterface* registry, nKZAPALS100::tStatus& status);
    // Wakes every waiter with -52003 and returns once all have left.
    virtual ~QuolinDMAInterruptController();
    QuolinDMAInterruptController(const QuolinDMAInterruptController&) = delete;
    QuolinDMAInterruptController& operator=(const QuolinDMAInterruptController&) = delete;

    // Time-out in microseconds (0 does not wait, 0xFFFFFFFF waits without limit); a time-out is
    // reported through timedOut, not the status. A second waiter on an id fails with -52003.
    void waitUntilBytesTransferred(DMAStreamControllerInterface& stream, uint32_t id, uint64_t start,
                                   uint64_t count, uint32_t timeout, bool& timedOut, nKZAPALS100::tStatus& status);
    // Wakes the id's waiter, if any, recording status for the wake; the first status recorded is
    // the one the wait reports. A failure after a recorded 0 is kept for the wake after it, in case
    // the 0 turns out stale (the position not reached).
    void signal(uint32_t id, int32_t status);
    // Every waiter, ascending ids; waits that begin afterwards fail with the same status until
    // resumeWaits.
    void signalAll(int32_t status);
    void resumeWaits();

    // The registration steps of a wait: false when nothing was registered.
    bool add(DMAStreamControllerInterface& stream, kzvorn_driver::nKZAPAL000::tSemaphore& semaphore, uint32_t id,
             uint64_t start, uint64_t count, nKZAPALS100::tStatus& status);
    void remove(DMAStreamControllerInterface& stream, uint32_t id);

private:
    friend class InterruptController::InterruptNotifierWorkItem;

    // A work item counts itself in from the moment the worker takes it until it has signalled.
    void enterSignal() { __atomic_add_fetch(&signalsInFlight_, 1, __ATOMIC_ACQ_REL); }
    void leaveSignal() { __atomic_sub_fetch(&signalsInFlight_, 1, __ATOMIC_ACQ_REL); }
    // What the wakes of an id's waiter recorded.
    struct tRecorded {
        int32_t status;
        int32_t failureAfterSuccess;  // 0 when none
    };

    // A recorded failure goes into status and is erased; true when there was one.
    bool takeRecordedFailure(uint32_t id, nKZAPALS100::tStatus& status);
    // A recorded 0 is forgotten; a failure recorded after it becomes the recorded status.
    void forgetRecordedSuccess(uint32_t id);

    InterruptNotifierRegistryInterface* registry_;
    kzvorn_driver::nKZAPAL000::tMutex waiterLock_;
    kzhtl::Map<uint32_t, kzvorn_driver::nKZAPAL000::tSemaphore*> waiters_;
    kzvorn_driver::nKZAPAL000::tMutex statusLock_;
    kzhtl::Map<uint32_t, tRecorded> statuses_;
    nKZAPALS100::tStatus constructionStatus_;
    // Under the waiter lock: what signalAll latched, 0 when waits are accepted.
    int32_t refusal_ = 0;
    uint32_t signalsInFlight_ = 0;
};

}  // namespace quolintools
