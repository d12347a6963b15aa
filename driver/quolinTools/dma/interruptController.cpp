#include "quolinTools/dma/interruptController.h"

#include "kzapal/protons/memory.h"
#include "kzkal/regmem.h"
#include "kzsdbg/kzsdbg.h"
#include "quolinTools/dma/dmaInterruptController.h"

namespace quolintools {

using kzvorn_driver::nKZAPAL000::tPCIDescription;
using kzvorn_driver::nKZAPAL000::tPCIDevice;
using kzvorn_driver::nKZAPAL000::tQuolinInterruptManager;
using kzvorn_driver::nKZAPAL000::tWorkItem;
using nKZAPALS100::tStatus;

using tItemPointer = kzhtl::SharedPtr<InterruptController::InterruptNotifierWorkItem>;

tWorkItem* InterruptController::InterruptNotifierWorkItem::workFunc() {
    target_->signal(id_, 0);
    // The last use of the target, which may be destroyed as soon as no signal is in flight.
    target_->leaveSignal();
    return nullptr;
}

void InterruptController::InterruptNotifierWorkItem::lockedPreWorkFunc() {
    running_ = true;
    // Queued means listed, so the target has a waiter and still exists.
    target_->enterSignal();
}

tWorkItem* InterruptController::InterruptNotifierWorkItem::work() {
    tWorkItem* next = workFunc();
    tItemPointer last;
    queueLock_->acquire();
    running_ = false;
    if (retired_) last = kzhtl::move(self_);
    queueLock_->release();
    // Dropping the last reference deletes this item: nothing touches it afterwards.
    return next;
}

InterruptController::InterruptController(tPCIDevice& device, const uint64_t& bridgeBase, tStatus& status)
    : InterruptController(device, bridgeBase, nullptr, status) {}

InterruptController::InterruptController(tPCIDevice& device, const uint64_t& bridgeBase,
                                         tQuolinInterruptManager& manager, tStatus& status)
    : InterruptController(device, bridgeBase, &manager, status) {}

InterruptController::InterruptController(tPCIDevice& device, const uint64_t& bridgeBase,
                                         tQuolinInterruptManager* manager, tStatus& status)
    : tSecondaryInterruptHandler(status),
      device_(device),
      redirector_(this, status),
      manager_(bridgeBase, device.getPCIDescription().interruptKind == tPCIDescription::kInterruptMSI, manager),
      bridgeBase_(&bridgeBase),
      workQueueLock_(status),
      workQueue_(workQueueLock_, status, 0, kThreadName),
      notifierLock_(status),
      notifiers_{&notifiers_, &notifiers_},
      locksCreated_(status.isNotFatal()) {
    if (status.isFatal()) return;
    device_.registerInterruptHandler(this, status, 0);
    if (status.isFatal()) return;
    registered_ = true;
    manager_->configure(kConfigureFlags);
    nKZKAL100_memoryWrite32(reinterpret_cast<void*>(*bridgeBase_ + tQuolinInterruptManager::kControl),
                            tQuolinInterruptManager::kEnable);
}

// The deferred calls go right after the interrupt: a drain still running uses the notifier lock
// and the work queue, which go next.
InterruptController::~InterruptController() {
    if (registered_) device_.unregisterInterruptHandler();
    redirector_.destroyDeferredCall();
    destroyDeferredCall();
    if (!locksCreated_) return;
    notifierLock_.acquire();
    tNotifierLinks removed = notifiers_;
    notifiers_.next = notifiers_.previous = &notifiers_;
    notifierLock_.release();
    if (removed.next == &notifiers_) return;
    removed.next->previous = &removed;
    removed.previous->next = &removed;
    while (removed.next != &removed) {
        auto* notifier = static_cast<tNotifier*>(removed.next);
        unlink(*notifier);
        tItemPointer dropped = retire(*notifier->item);
        delete notifier;
    }
}

bool InterruptController::handlePrimaryInterrupt() {
    const bool claimed = manager_->acknowledge();
    if (claimed) device_.scheduleDPC(redirector_.getDeferredCall());
    return claimed;
}

void InterruptController::handleInterrupt() {
    for (;;) {
        // An empty queue reads as 0 here: not valid, nothing more.
        const uint32_t entry = manager_->dequeueInterrupt();
        if ((entry & kValidEntry) != 0) {
            notifierLock_.acquire();
            tNotifier* notifier = findNotifier(entry & kIdMask);
            // One pending run covers any number of entries.
            if (notifier != nullptr) workQueue_.enqueue(notifier->item->getWorkItem());
            notifierLock_.release();
            if (notifier == nullptr) {
                const kzsdbg_LineRecord record = {__FILE__, __LINE__, "\n"};
                kzsdbg_varLinePrintLevel(kNoWorkPrintLevel, record, "\"%s\": %s", kNoWorkText, kNoWorkText);
            }
        }
        if ((entry & kMoreEntries) == 0) break;
    }
    manager_->reenable();
}

void InterruptController::registerNotifier(QuolinDMAInterruptController& target, uint32_t id, tStatus& status) {
    if (status.isFatal()) return;
    auto* notifier = new (status) tNotifier;
    auto* item = new (status) InterruptNotifierWorkItem(&target, id, &workQueueLock_);
    if (notifier == nullptr) {
        delete item;
        return;
    }
    if (!notifier->item.reset(item, status)) {
        delete notifier;
        return;
    }
    notifier->item->self_ = notifier->item;
    notifierLock_.acquire();
    const bool listed = findNotifier(id) != nullptr;
    if (!listed) {
        notifier->next = &notifiers_;
        notifier->previous = notifiers_.previous;
        notifiers_.previous->next = notifier;
        notifiers_.previous = notifier;
    }
    notifierLock_.release();
    if (listed) {
        notifier->item->self_.reset();
        delete notifier;
    }
}

void InterruptController::unregisterNotifier(uint32_t id) {
    tItemPointer dropped;
    notifierLock_.acquire();
    tNotifier* notifier = findNotifier(id);
    if (notifier != nullptr) {
        unlink(*notifier);
        dropped = retire(*notifier->item);
    }
    notifierLock_.release();
    delete notifier;
}

tItemPointer InterruptController::retire(InterruptNotifierWorkItem& item) {
    workQueue_.dequeue(item.getWorkItem());
    tItemPointer dropped;
    workQueueLock_.acquire();
    item.retired_ = true;
    if (!item.running_) dropped = kzhtl::move(item.self_);
    workQueueLock_.release();
    return dropped;
}

InterruptController::tNotifier* InterruptController::findNotifier(uint32_t id) {
    for (tNotifierLinks* links = notifiers_.next; links != &notifiers_; links = links->next) {
        auto* notifier = static_cast<tNotifier*>(links);
        if (notifier->item->getId() == id) return notifier;
    }
    return nullptr;
}

void InterruptController::unlink(tNotifierLinks& links) {
    links.previous->next = links.next;
    links.next->previous = links.previous;
    links.next = links.previous = &links;
}

uint32_t InterruptController::listedNotifiers() {
    uint32_t count = 0;
    notifierLock_.acquire();
    for (tNotifierLinks* links = notifiers_.next; links != &notifiers_; links = links->next) ++count;
    notifierLock_.release();
    return count;
}

}  // namespace quolintools
