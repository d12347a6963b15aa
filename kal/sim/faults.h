// Fault injection of the kernel-layer stand-in.
#pragma once

#include <cstdint>
#include <string>

namespace kal::sim {

// Fails allocations of the calling thread: the nth from now (1-based), and with everyFrom every
// one after it too. Other threads are untouched, so a test harness may allocate freely.
class FailAllocations {
public:
    explicit FailAllocations(uint64_t nth, bool everyFrom = false);
    ~FailAllocations();
    FailAllocations(const FailAllocations&) = delete;
    FailAllocations& operator=(const FailAllocations&) = delete;
    // True once at least one allocation was failed.
    bool triggered() const;
};

// Blocks from nKZKAL100_malloc that are not yet freed, over all threads.
int64_t liveAllocations();

// The largest size asked of nKZKAL100_malloc since the last mark, over all threads, failed
// requests included: what a caller's size made the system try to allocate.
void markLargestAllocation();
uint64_t largestAllocationSinceMark();

// Fails a kernel call by name (the function name without its nKZKAL prefix, e.g.
// "createMutex", "registerDeviceInterface") process-wide: the nth call from now and the
// (count - 1) after it. With code 0 the call fails the way the function reports failure
// (null, or its usual negative code); otherwise it returns that kernel code.
class FailKernelCall {
public:
    FailKernelCall(std::string name, uint64_t nth = 1, uint64_t count = 1, int32_t code = 0);
    ~FailKernelCall();
    FailKernelCall(const FailKernelCall&) = delete;
    FailKernelCall& operator=(const FailKernelCall&) = delete;
    uint64_t failures() const;

private:
    std::string name_;
};

// For the stand-in's own functions: true when this call of `name` must fail; `code` receives the
// code to return (0 means the function's usual failure).
bool shouldFail(const char* name, int32_t* code = nullptr);

}  // namespace kal::sim
