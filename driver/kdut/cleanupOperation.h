// Undo operations of what a session started on the hardware, run last registered first.
#pragma once

#include <cstddef>

#include "atut/invalidatableSession.h"
#include "kdut/statusChainedComposite.h"
#include "kzapal/protons/synchronization.h"

namespace kdut {

class CleanupOperationInterface {
public:
    virtual ~CleanupOperationInterface() {}
    virtual void cleanup(nKZAPALS100::tStatus& status) = 0;
};

class CleanupOperationComposite : public CleanupOperationInterface {
public:
    // Capacity 0 reserves nothing; the mutex and the room: -52000 when refused.
    CleanupOperationComposite(size_t capacity, nKZAPALS100::tStatus& status);
    // Forgets the members; neither runs nor destroys them.
    ~CleanupOperationComposite() override {}

    // Nothing on an error status. Otherwise every member from the last added to the first, each on
    // a fresh status merged into the caller's. A member may add or remove members while it runs:
    // members added then do not run, members removed before their turn do not run, and none runs
    // twice.
    void cleanup(nKZAPALS100::tStatus& status) override;
    // A member already present is added again.
    virtual void add(CleanupOperationInterface* operation, nKZAPALS100::tStatus& status);
    // The first occurrence; -52006 when absent.
    virtual void remove(CleanupOperationInterface* operation, nKZAPALS100::tStatus& status);
    virtual void clear();
    virtual bool contains(CleanupOperationInterface* operation);

    size_t size();
    // False when the mutex could not be made.
    bool isUsable() const { return usable_; }

private:
    // Members [0, pending) of a running cleanup have still to run; kept on the running cleanup's
    // stack and corrected by remove and clear, so changes during a run need no copy of the list.
    struct Cursor {
        size_t pending;
        Cursor* outer;
    };

    kzvorn_driver::nKZAPAL000::tMutex mutex_;
    // False when the mutex could not be made: such a composite takes no members, so the teardown
    // of a failed bring-up can still run it.
    bool usable_;
    internal::StatusChainedCompositeKernel<CleanupOperationInterface> members_;
    Cursor* running_ = nullptr;
};

// A session's cleanup set: run when the session goes away, but only while it is still valid (a
// reset's teardown has already run it otherwise).
class CleanupOperationSession {
public:
    CleanupOperationSession(size_t capacity, atut::InvalidatableSession* validity, nKZAPALS100::tStatus& status)
        : composite_(capacity, status), validity_(validity) {}
    virtual ~CleanupOperationSession();
    CleanupOperationSession(const CleanupOperationSession&) = delete;
    CleanupOperationSession& operator=(const CleanupOperationSession&) = delete;

    virtual CleanupOperationComposite* getCleanupOperations() { return &composite_; }

private:
    CleanupOperationComposite composite_;
    atut::InvalidatableSession* validity_;
};

}  // namespace kdut
