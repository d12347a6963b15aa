#include "quolinTools/dma/dmaInterruptController.h"

#include "kzapal/protons/statusCodes.h"
#include "kzapal/quarks/time.h"
#include "kzkal/time.h"
#include "kzsdbg/kzsdbg.h"

namespace quolintools {

using kzvorn_driver::nKZAPAL000::kWaitNoLimit;
using kzvorn_driver::nKZAPAL000::tAutoLock;
using kzvorn_driver::nKZAPAL000::tSemaphore;
using kzvorn_driver::nKZAPAL000::tTimebasePrecise;
using nKZAPALS100::tStatus;

namespace {

// What is left of a time-out in microseconds begun at `begun` (precise time base).
uint32_t remainingUs(uint32_t timeout, uint64_t begun) {
    if (timeout == kWaitNoLimit || timeout == 0) return timeout;
    const uint64_t elapsedUs = (tTimebasePrecise::now() - begun) / 1000;
    return elapsedUs >= timeout ? 0 : timeout - uint32_t(elapsedUs);
}

}  // namespace

QuolinDMAInterruptController::QuolinDMAInterruptController(InterruptNotifierRegistryInterface* registry,
                                                           tStatus& status)
    : registry_(registry), waiterLock_(status), statusLock_(status), constructionStatus_(status) {}

QuolinDMAInterruptController::~QuolinDMAInterruptController() {
    if (constructionStatus_.isFatal()) return;
    signalAll(int32_t(nKZAPALS100::kStatusValueConflict));
    // Waiters leave promptly once signalled, and a work item may still be signalling: the maps
    // and locks stay until both are done, however long that takes.
    for (uint32_t sleeps = 1;; ++sleeps) {
        size_t waiting;
        {
            tAutoLock lock(waiterLock_);
            waiting = waiters_.size();
        }
        if (waiting == 0 && __atomic_load_n(&signalsInFlight_, __ATOMIC_ACQUIRE) == 0) break;
        nKZKAL250_sleepTimeout(1000);
        if (sleeps % kSleepsPerLine == 0)
            kzsdbg_printLevel(kPrintLevel, "DMA waiters: %llu still waiting after %u s\n",
                              static_cast<unsigned long long>(waiting),
                              sleeps / kSleepsPerLine);
    }
}

void QuolinDMAInterruptController::waitUntilBytesTransferred(DMAStreamControllerInterface& stream, uint32_t id,
                                                             uint64_t start, uint64_t count, uint32_t timeout,
                                                             bool& timedOut, tStatus& status) {
    if (status.isFatal()) return;
    timedOut = false;
    tSemaphore semaphore(0, status);
    const bool added = add(stream, semaphore, id, start, count, status);
    const uint64_t begun = tTimebasePrecise::now();
    // Armed before the notifier was registered and read after: a position reached before the
    // registration shows here, and a wake after it is counted by the semaphore.
    uint64_t position = stream.getTransferCount(status);
    while (status.isNotFatal() && position - start < count) {
        tStatus wait;
        semaphore.acquire(remainingUs(timeout, begun), true, wait);
        if (wait.code == nKZAPALS100::kStatusTimeout) {
            timedOut = true;
            takeRecordedFailure(id, status);
            break;
        }
        nKZAPALS100::merge(status, wait);
        // A cancel, a suspension or the table's destruction is reported also when the position
        // has been reached by then.
        if (status.isFatal() || takeRecordedFailure(id, status)) break;
        position = stream.getTransferCount(status);
        if (position - start >= count) break;
        // Woken by success with the position not reached: the wake is stale (a notification of an
        // earlier wait) and the wait goes on.
        forgetRecordedSuccess(id);
    }
    if (added) remove(stream, id);
}

bool QuolinDMAInterruptController::takeRecordedFailure(uint32_t id, tStatus& status) {
    tAutoLock lock(statusLock_);
    auto recorded = statuses_.find(id);
    if (recorded == statuses_.end() || recorded->second.status == 0) return false;
    KZ_SET_CODE(status, int64_t(recorded->second.status));
    statuses_.erase(recorded);
    return true;
}

void QuolinDMAInterruptController::forgetRecordedSuccess(uint32_t id) {
    tAutoLock lock(statusLock_);
    auto recorded = statuses_.find(id);
    if (recorded == statuses_.end() || recorded->second.status != 0) return;
    if (recorded->second.failureAfterSuccess == 0) statuses_.erase(recorded);
    else recorded->second = {recorded->second.failureAfterSuccess, 0};
}

bool QuolinDMAInterruptController::add(DMAStreamControllerInterface& stream, tSemaphore& semaphore, uint32_t id,
                                       uint64_t start, uint64_t count, tStatus& status) {
    if (status.isFatal()) return false;
    tAutoLock lock(waiterLock_);
    if (refusal_ != 0) {
        KZ_SET_CODE(status, int64_t(refusal_));
        return false;
    }
    // One waiter per id: a second one would disarm the first.
    if (!waiters_.insert(id, &semaphore, status).second) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusValueConflict);
        return false;
    }
    stream.setNotificationPosition(start + count, status);
    if (status.isNotFatal()) {
        stream.enableNotification();
        registry_->registerNotifier(*this, id, status);
    }
    return true;
}

void QuolinDMAInterruptController::remove(DMAStreamControllerInterface& stream, uint32_t id) {
    tAutoLock waiterLock(waiterLock_);
    auto waiter = waiters_.find(id);
    if (waiter != waiters_.end()) {
        waiter->second->release();
        waiters_.erase(waiter);
    }
    stream.disableNotification();
    tAutoLock statusLock(statusLock_);
    statuses_.erase(id);
    registry_->unregisterNotifier(id);
}

void QuolinDMAInterruptController::signal(uint32_t id, int32_t status) {
    tAutoLock waiterLock(waiterLock_);
    auto waiter = waiters_.find(id);
    if (waiter == waiters_.end()) return;
    {
        tAutoLock statusLock(statusLock_);
        tStatus record;
        const auto inserted = statuses_.insert(id, tRecorded{status, 0}, record);
        tRecorded* recorded = inserted.first != statuses_.end() ? &inserted.first->second : nullptr;
        if (!inserted.second && recorded != nullptr && recorded->status == 0 && recorded->failureAfterSuccess == 0)
            recorded->failureAfterSuccess = status;
    }
    waiter->second->release();
}

void QuolinDMAInterruptController::signalAll(int32_t status) {
    tAutoLock lock(waiterLock_);
    refusal_ = status;
    for (auto& waiter : waiters_) signal(waiter.first, status);
}

void QuolinDMAInterruptController::resumeWaits() {
    tAutoLock lock(waiterLock_);
    refusal_ = 0;
}

}  // namespace quolintools
