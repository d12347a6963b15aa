// An ordered list of cleanup operations, run last added first. The operations are not owned.
#pragma once

#include <cstddef>

#include "kzapal/protons/status.h"
#include "kzhtl/vector.h"

namespace atut {

class CleanupOperationInterface {
public:
    virtual ~CleanupOperationInterface() {}
    // Undoes one thing.
    virtual void cleanup(nKZAPALS100::tStatus& status) = 0;
};

class CleanupOperationComposite : public CleanupOperationInterface {
public:
    CleanupOperationComposite() = default;
    // Makes room for count operations (-52000 when it cannot).
    CleanupOperationComposite(size_t count, nKZAPALS100::tStatus& status);
    // Forgets the operations without running them.
    ~CleanupOperationComposite() override {}

    // Runs every operation, last added first, each with a fresh status merged into the caller's;
    // it runs even when the caller's status already holds an error.
    void cleanup(nKZAPALS100::tStatus& status) override;
    virtual void add(CleanupOperationInterface* operation, nKZAPALS100::tStatus& status);
    // Erases the most recently added occurrence; -52006 when there is none.
    virtual void remove(CleanupOperationInterface* operation, nKZAPALS100::tStatus& status);

    size_t size() const { return operations_.size(); }
    size_t capacity() const { return operations_.capacity(); }

private:
    kzhtl::Vector<CleanupOperationInterface*> operations_;
};

}  // namespace atut
