// Allocation-failure sweeps for the container tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "kal/sim/faults.h"
#include "kzapal/protons/status.h"
#include "kzapal/protons/statusCodes.h"

namespace kzhtl_test {

using nKZAPALS100::tStatus;

// The test's own memory comes from the driver's allocator (its operator new serves the whole
// process), so every failure GoogleTest records keeps its message live: a run that recorded one
// would show those blocks as a leak. The check compares only over a run that recorded none (which
// has failed already otherwise).
class LiveAllocationsBack {
public:
    LiveAllocationsBack() : live_(kal::sim::liveAllocations()), parts_(recordedParts()) {}
    // Fails when the run leaked; `what` names the run.
    template <class What>
    void check(const What& what) const {
        if (recordedNone()) {
            EXPECT_EQ(kal::sim::liveAllocations(), live_) << "leak with " << what;
        }
    }
    // No failure recorded since the check began: the live counts mean what they say.
    bool recordedNone() const { return recordedParts() == parts_; }

private:
    static int recordedParts() {
        return ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
    }
    int64_t live_;
    int parts_;
};

// Runs attempt(failAt) for failAt = 1, 2, ... until an attempt runs without a failed allocation.
// attempt builds its own fixture, calls `failing(failAt, op)` around the one operation under test
// and checks the result; every block it allocated must be freed when it returns.
template <class Attempt>
int sweepAllocationFailures(Attempt attempt) {
    int failures = 0;
    for (uint64_t failAt = 1; failAt < 10000; ++failAt) {
        const LiveAllocationsBack back;
        bool failed = attempt(failAt);
        back.check(failAt);
        if (!failed) return failures;
        ++failures;
    }
    ADD_FAILURE() << "the operation never succeeded";
    return failures;
}

// Runs op(status) with allocation failAt (counted from here) failing; true when one was failed.
template <class Op>
bool failing(uint64_t failAt, tStatus& status, Op op) {
    kal::sim::FailAllocations fail(failAt);
    op(status);
    return fail.triggered();
}

// The same for an operation that reports through something else (a request's reply record):
// op() must allocate nothing of its caller's while it runs.
template <class Op>
bool failing(uint64_t failAt, Op op) {
    kal::sim::FailAllocations fail(failAt);
    op();
    return fail.triggered();
}

}  // namespace kzhtl_test
