// Work items and the work queue: the driver's own kernel thread, running items that deferred
// calls queue (queueing allocates nothing and never blocks).
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"
#include "kzapal/protons/statusCodes.h"
#include "kzapal/protons/synchronization.h"
#include "kzkal/thread.h"

// The entry every driver thread starts in: calls the start record's function with its argument.
extern "C" int32_t nKZAPAL200_linuxKThreadMain(void* startRecord);

namespace kzvorn_driver {
namespace nKZAPAL000 {

// An item whose links point to itself is not queued.
struct tWorkItem {
    // Returns the next item to run at once, or null.
    using tWorkFunction = tWorkItem* (*)(tWorkItem* item);
    // Runs under the queue's lock when the item is taken off the queue: must not block.
    using tPreWorkFunction = void (*)(tWorkItem* item);

    explicit tWorkItem(tWorkFunction workFunction = nullptr, void* itemContext = nullptr,
                       tPreWorkFunction preWorkFunction = nullptr)
        : next(this), previous(this), work(workFunction), context(itemContext), preWork(preWorkFunction) {}
    tWorkItem(const tWorkItem&) = delete;
    tWorkItem& operator=(const tWorkItem&) = delete;

    bool isQueued() const { return next != this; }

    tWorkItem* next;
    tWorkItem* previous;
    tWorkFunction work;
    void* context;
    tPreWorkFunction preWork;
};

// Base of queueable objects: the embedded item calls back into the object.
class tWorkItemWrapper {
public:
    tWorkItemWrapper() : item_(workRedirect, this, lockedPreWorkRedirect) {}
    virtual ~tWorkItemWrapper() {}
    virtual tWorkItem* work() = 0;
    virtual void lockedPreWorkFunc() {}

    tWorkItem* getWorkItem() { return &item_; }

private:
    static tWorkItem* workRedirect(tWorkItem* item) { return static_cast<tWorkItemWrapper*>(item->context)->work(); }
    static void lockedPreWorkRedirect(tWorkItem* item) {
        static_cast<tWorkItemWrapper*>(item->context)->lockedPreWorkFunc();
    }

    tWorkItem item_;
};

// What nKZAPAL200_linuxKThreadMain receives.
struct tThreadStartRecord {
    void* threadHandle;
    void* argument;
    int32_t (*function)(void* argument);
};

// Runs queued items in order on kWorkerCount named kernel threads. The lock guards the lists and
// may be taken from a deferred call.
template <class tLock, uint32_t kWorkerCount>
class tWorkQueue {
    static_assert(kWorkerCount >= 1, "a queue needs a worker");

public:
    tWorkQueue(tLock& lock, nKZAPALS100::tStatus& status, const char* name)
        : name_(name), workEvent_(true, false, status), allExited_(true, false, status) {
        if (status.isFatal()) return;
        lock_ = &lock;
        for (tWorkerRecord& record : records_) {
            record.queue = this;
            record.joinItem.work = joinAndDestroyMe;
            record.joinItem.context = &record;
        }
        for (tWorkerRecord& record : records_) {
            if (status.isFatal()) break;
            record.startRecord = {nullptr, &record, workerThreadMain};
            record.startDescription = {nKZAPAL200_linuxKThreadMain, &record.startRecord, nullptr};
            if (nKZKAL250_createNamedThread(&record.startDescription, name_) < 0) {
                KZ_SET_CODE(status, nKZAPALS100::kStatusSoftwareFault);
                break;
            }
            record.startRecord.threadHandle = record.startDescription.handle;
            record.created = record.joinable = true;
            lock_->acquire();
            linkRecord(record);
            lock_->release();
        }
    }

    // The form the interrupt controller uses; the extra argument is not used.
    tWorkQueue(tLock& lock, nKZAPALS100::tStatus& status, uint32_t, const char* name) : tWorkQueue(lock, status, name) {}

    ~tWorkQueue() {
        if (lock_ == nullptr) return;
        lock_->acquire();
        for (tWorkerRecord* record = workers_.next; record != &workers_; record = record->next) {
            record->exitRequested = true;
        }
        const bool anyWorker = workers_.next != &workers_;
        lock_->release();
        if (anyWorker) {
            workEvent_.set();
            allExited_.wait();
        }
        // The workers handed their join items to the list on leaving; the items may not be first
        // in it (a deferred call can queue behind a leaving worker), so each is looked up.
        lock_->acquire();
        for (tWorkerRecord& record : records_) {
            if (record.joinItem.isQueued()) unlinkItem(record.joinItem);
        }
        lock_->release();
        for (tWorkerRecord& record : records_) joinAndDestroyMe(&record.joinItem);
        // Items queued after the workers left still run, here.
        while (runNext()) {
        }
        lock_->release();
    }

    tWorkQueue(const tWorkQueue&) = delete;
    tWorkQueue& operator=(const tWorkQueue&) = delete;

    void enqueue(tWorkItem* item) {
        if (lock_ == nullptr || item == nullptr) return;
        lock_->acquire();
        if (!item->isQueued()) appendItem(*item);
        lock_->release();
        workEvent_.set();
    }

    // Takes an item off the queue when it is queued; false when it is not (never queued, or taken
    // by a worker already).
    bool dequeue(tWorkItem* item) {
        if (lock_ == nullptr || item == nullptr) return false;
        lock_->acquire();
        const bool queued = item->isQueued();
        if (queued) unlinkItem(*item);
        lock_->release();
        return queued;
    }

    static int32_t workerThreadMain(void* argument) {
        tWorkerRecord& record = *static_cast<tWorkerRecord*>(argument);
        tWorkQueue& queue = *record.queue;
        for (;;) {
            if (queue.runNext()) continue;
            // runNext left the lock held: the list is empty.
            if (!record.exitRequested) {
                queue.lock_->release();
                queue.workEvent_.wait();
                continue;
            }
            queue.unlinkRecord(record);
            queue.appendItem(record.joinItem);
            const bool last = queue.workers_.next == &queue.workers_;
            queue.lock_->release();
            queue.workEvent_.set();
            // The queue may be gone once this is set.
            if (last) queue.allExited_.set();
            return 0;
        }
    }

    static tWorkItem* joinAndDestroyMe(tWorkItem* joinItem) {
        tWorkerRecord& record = *static_cast<tWorkerRecord*>(joinItem->context);
        if (record.joinable) {
            if (record.created) nKZKAL200_joinThread(&record.startDescription);
            record.created = record.joinable = false;
            record.threadHandle = nullptr;
        }
        return nullptr;
    }

private:
    struct tWorkerRecord {
        tWorkerRecord* next = this;
        tWorkerRecord* previous = this;
        tWorkQueue* queue = nullptr;
        void* threadHandle = nullptr;
        tThreadStartRecord startRecord = {};
        nKZKAL250_tThreadStart startDescription = {};
        bool created = false;
        bool joinable = false;
        tWorkItem joinItem;
        bool exitRequested = false;
    };

    // Takes the first item (running its pre-work under the lock) and runs it and the items it
    // hands on. With the list empty it returns false and leaves the lock held.
    bool runNext() {
        lock_->acquire();
        tWorkItem* item = work_.next;
        if (item == &work_) return false;
        unlinkItem(*item);
        if (item->preWork != nullptr) item->preWork(item);
        const bool more = work_.next != &work_;
        lock_->release();
        if (more) workEvent_.set();
        while (item != nullptr) item = item->work(item);
        return true;
    }

    void appendItem(tWorkItem& item) {
        item.next = &work_;
        item.previous = work_.previous;
        work_.previous->next = &item;
        work_.previous = &item;
    }
    static void unlinkItem(tWorkItem& item) {
        item.previous->next = item.next;
        item.next->previous = item.previous;
        item.next = item.previous = &item;
    }
    void linkRecord(tWorkerRecord& record) {
        record.next = &workers_;
        record.previous = workers_.previous;
        workers_.previous->next = &record;
        workers_.previous = &record;
    }
    static void unlinkRecord(tWorkerRecord& record) {
        record.previous->next = record.next;
        record.next->previous = record.previous;
        record.next = record.previous = &record;
    }

    // Null when construction failed before it was kept: destruction then only frees the events.
    tLock* lock_ = nullptr;
    const char* name_;
    tEvent workEvent_;
    tEvent allExited_;
    // Sentinels of the work list and the list of running workers.
    tWorkItem work_;
    tWorkerRecord workers_;
    tWorkerRecord records_[kWorkerCount];
};

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
