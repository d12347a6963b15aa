// Sweeps over injected failures: allocations and kernel-object creations, one at a time.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <vector>

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

// One injected failure: the nth allocation of the calling thread (kAllocation), or the nth call,
// process-wide, of one kernel-object creation named as FailKernelCall names it.
constexpr const char* kAllocation = "malloc";
struct Injection {
    const char* call;
    uint64_t nth;
};
inline std::ostream& operator<<(std::ostream& out, const Injection& injection) {
    return out << injection.call << " #" << injection.nth;
}

// Every kernel-object creation the driver makes.
constexpr const char* kKernelObjectCreations[] = {
    "createMutex",
    "createSpinLock",
    "createNamedThread",
    "createDPC",
    "createKernelSocketBuffer",
    "reserveInterrupt",
    "mapPhysicalToKernel",
    "tPageList_createFromAllocation",
    "tPageList_createFromAllocationNUMA",
    "tPageList_createFromUser",
    "tPageList_mapToKernel",
    "tSGL_createForPCI",
    "tSGL_map",
};

// The injection, armed while this lives.
class Injected {
public:
    explicit Injected(const Injection& injection) {
        if (injection.call == kAllocation)
            allocation_.emplace(injection.nth);
        else
            call_.emplace(injection.call, injection.nth);
    }
    Injected(const Injected&) = delete;
    Injected& operator=(const Injected&) = delete;
    // The injected failure was met.
    bool met() const { return allocation_ ? allocation_->triggered() : call_->failures() != 0; }

private:
    std::optional<kal::sim::FailAllocations> allocation_;
    std::optional<kal::sim::FailKernelCall> call_;
};

// The `runs` of a sweep that leaves none out.
inline bool everyRun(uint64_t) { return true; }

// Runs attempt(injection) for one call with nth = 1, 2, ... until a run meets no injected failure;
// `runs(nth)` may leave runs out (a subset where the full sweep costs too much; true again from
// some nth on, past the last call). attempt builds what it needs, arms Injected around the one
// phase under test, checks the outcome and returns met(). Every block a run allocated must be free
// again when it returns. A run that recorded a failure is told where its injection was met. The
// number of runs that met their failure comes back.
template <class Attempt, class Runs>
uint64_t sweepInjection(const char* call, Attempt attempt, Runs runs) {
    uint64_t failures = 0;
    for (uint64_t nth = 1;; ++nth) {
        if (nth >= 10000) {
            ADD_FAILURE() << call << ": the phase never ran without meeting the failure";
            break;
        }
        if (!runs(nth)) continue;
        const LiveAllocationsBack back;
        const Injection injection{call, nth};
        const bool failed = attempt(injection);
        back.check(injection);
        if (failed && !back.recordedNone())
            ADD_FAILURE() << injection << " was met in " << kal::sim::injectedCallSite();
        if (!failed) break;
        ++failures;
    }
    return failures;
}

// The same for each call in turn: allocations first (with the `runs` subset), then every
// kernel-object creation. The number of runs that met their failure, per call, comes back in
// `met` when given.
struct SweepCounts {
    const char* call;
    uint64_t met;
};
template <class Attempt, class Runs>
void sweepInjections(Attempt attempt, Runs runs, std::vector<SweepCounts>* met = nullptr) {
    const uint64_t allocations = sweepInjection(kAllocation, attempt, runs);
    if (met != nullptr) met->push_back({kAllocation, allocations});
    for (const char* call : kKernelObjectCreations) {
        const uint64_t failures = sweepInjection(call, attempt, everyRun);
        if (met != nullptr) met->push_back({call, failures});
    }
}
template <class Attempt>
void sweepInjections(Attempt attempt, std::vector<SweepCounts>* met = nullptr) {
    sweepInjections(attempt, everyRun, met);
}

// The allocation-only form: attempt(failAt) builds its own fixture, calls `failing(failAt, op)`
// around the one operation under test and checks the result. The runs that met their failure.
template <class Attempt>
int sweepAllocationFailures(Attempt attempt) {
    const auto run = [&](const Injection& injection) { return attempt(injection.nth); };
    return static_cast<int>(sweepInjection(kAllocation, run, everyRun));
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
