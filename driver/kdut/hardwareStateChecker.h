// The device-wide list of hardware checks that the bring-up registers and that the check requests
// and poll time-outs run.
//
// Checks nest: an access port that reports a fault runs the composite while it holds its port
// lock, and checkers that read isolated registers go through such ports. So the composite keeps
// which threads are running it and which one runs it from an access port's fault (at most one):
// a thread never runs it twice, and while one thread runs the fault path, another thread's fault
// entry does nothing and that port's poll goes on to its own time-out. A fault that persists is
// then reported by the time-out, and only the fault-path runner can wait for a lock while holding
// a port lock. The record is a few words changed atomically: it neither allocates nor takes a
// kernel mutex, since it runs under port locks.
#pragma once

#include "kdut/statusChainedComposite.h"
#include "kzkal/sync.h"

namespace kdut {

class HardwareStateCheckerInterface {
public:
    virtual ~HardwareStateCheckerInterface() {}
    virtual void checkHardwareState(nKZAPALS100::tStatus& status) = 0;
};

class HardwareStateCheckerComposite : public HardwareStateCheckerInterface {
public:
    HardwareStateCheckerComposite() = default;
    HardwareStateCheckerComposite(size_t capacity, nKZAPALS100::tStatus& status) : members_(capacity, status) {}
    ~HardwareStateCheckerComposite() override {}

    // Every member in order of addition on the caller's status: the first failure stands and the
    // members after it do nothing. Does nothing on a thread already running the composite.
    void checkHardwareState(nKZAPALS100::tStatus& status) override {
        if (status.isFatal()) return;
        void* const self = nKZKAL100_getThreadHandle();
        if (isRunning(self)) return;
        void** const slot = claimSlot(self);
        runMembers(status);
        if (slot != nullptr) __atomic_store_n(slot, nullptr, __ATOMIC_RELEASE);
    }
    // The entry of an access port that sees its fault bit: as checkHardwareState, but nothing while
    // another thread runs this entry.
    void checkHardwareStateOnFault(nKZAPALS100::tStatus& status) {
        if (status.isFatal()) return;
        void* const self = nKZKAL100_getThreadHandle();
        if (isRunning(self)) return;
        void* expected = nullptr;
        if (!__atomic_compare_exchange_n(&faultPathRunner_, &expected, self, false, __ATOMIC_ACQ_REL,
                                         __ATOMIC_RELAXED))
            return;
        runMembers(status);
        __atomic_store_n(&faultPathRunner_, nullptr, __ATOMIC_RELEASE);
    }
    // Whether the calling thread runs the composite from an access port's fault: it holds a port
    // lock, so it must only try other locks.
    bool isFaultPathRunner() const {
        return __atomic_load_n(&faultPathRunner_, __ATOMIC_ACQUIRE) == nKZKAL100_getThreadHandle();
    }
    virtual void add(HardwareStateCheckerInterface* checker, nKZAPALS100::tStatus& status) {
        members_.add(checker, status);
    }
    virtual void remove(HardwareStateCheckerInterface* checker, nKZAPALS100::tStatus& status) {
        members_.remove(checker, status);
    }
    virtual void clear() { members_.clear(); }
    bool contains(HardwareStateCheckerInterface* checker) const { return members_.contains(checker); }
    size_t size() const { return members_.size(); }

private:
    // More threads than this checking at once run unrecorded: nesting comes only through the fault
    // entry, which records its runner apart.
    static constexpr unsigned kRecordedRunners = 16;

    void runMembers(nKZAPALS100::tStatus& status) {
        for (size_t i = 0; i < members_.size(); ++i) members_.at(i)->checkHardwareState(status);
    }
    bool isRunning(void* self) const {
        if (__atomic_load_n(&faultPathRunner_, __ATOMIC_ACQUIRE) == self) return true;
        for (void* const& runner : runners_)
            if (__atomic_load_n(&runner, __ATOMIC_ACQUIRE) == self) return true;
        return false;
    }
    void** claimSlot(void* self) {
        for (void*& runner : runners_) {
            void* expected = nullptr;
            if (__atomic_compare_exchange_n(&runner, &expected, self, false, __ATOMIC_ACQ_REL, __ATOMIC_RELAXED))
                return &runner;
        }
        return nullptr;
    }

    internal::StatusChainedCompositeKernel<HardwareStateCheckerInterface> members_;
    void* runners_[kRecordedRunners] = {};
    void* faultPathRunner_ = nullptr;
};

}  // namespace kdut
