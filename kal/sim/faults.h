// Fault injection of the kernel-layer stand-in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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
    // The allocations of this thread so far, failed ones included: with an nth past them all, a
    // count that fails nothing.
    uint64_t counted() const;
};

// Blocks from nKZKAL100_malloc that are not yet freed, over all threads.
int64_t liveAllocations();

// The largest size asked of nKZKAL100_malloc since the last mark, over all threads, failed
// requests included: what a caller's size made the system try to allocate.
void markLargestAllocation();
uint64_t largestAllocationSinceMark();
// Kernel threads by name: a thread made by nKZKAL250_createNamedThread goes by the name it was
// made with (the work queue's is "kzvorn_driver"); interrupts and deferred calls run on the
// stand-in's own two threads.
constexpr const char* kInterruptThread = "kzkal_interrupt";
constexpr const char* kDeferredCallThread = "kzkal_dpc";
// The calling thread's kernel-thread name; empty on a thread the kernel did not make.
const char* currentThreadName();
// For the stand-in's threads: names the calling thread (the system's name too).
void setCurrentThreadName(const char* name);

// Fails a kernel call by name (the function name without its nKZKAL prefix, e.g.
// "createMutex", "registerDeviceInterface"; allocations are "malloc") process-wide: the nth call
// from now and the (count - 1) after it. With code 0 the call fails the way the function reports
// failure (null, or its usual negative code); otherwise it returns that kernel code. With a thread
// name only the calls made on kernel threads of that name count and fail.
class FailKernelCall {
public:
    FailKernelCall(std::string name, uint64_t nth = 1, uint64_t count = 1, int32_t code = 0,
                   const char* thread = nullptr);
    ~FailKernelCall();
    FailKernelCall(const FailKernelCall&) = delete;
    FailKernelCall& operator=(const FailKernelCall&) = delete;
    uint64_t failures() const;

private:
    std::string name_;
};

// Allocations on kernel threads of that name fail: the nth from now and the (count - 1) after it.
// Other threads, the test's included, allocate freely.
class FailThreadAllocations : public FailKernelCall {
public:
    explicit FailThreadAllocations(const char* thread, uint64_t nth = 1, uint64_t count = 1)
        : FailKernelCall("malloc", nth, count, 0, thread) {}
};

// Every kernel call that FailKernelCall can fail, recorded process-wide while the recorder lives.
class RecordKernelCalls {
public:
    RecordKernelCalls();
    ~RecordKernelCalls();
    RecordKernelCalls(const RecordKernelCalls&) = delete;
    RecordKernelCalls& operator=(const RecordKernelCalls&) = delete;

    struct Calls {
        std::string name;
        std::string thread;  // as currentThreadName() gave it
        uint64_t count;
    };
    // Calls so far by name and thread, in the order of each one's first call.
    std::vector<Calls> calls() const;
};

// For the stand-in's own functions: true when this call of `name` must fail; `code` receives the
// code to return (0 means the function's usual failure). Records the call for RecordKernelCalls.
bool shouldFail(const char* name, int32_t* code = nullptr);

// Where the latest injected failure (an allocation or a kernel call) was met: the driver's frames
// that made the call, innermost first, symbolised where the build allows (else addresses). For a
// failure message: it allocates.
std::string injectedCallSite();

// What the stand-in holds for the driver: after an unload, everything is back to its value from
// before the load.
struct LiveObjects {
    int64_t allocations, mutexes, spinLocks, threads, deferredCalls;
    size_t mappings, socketBuffers, interfaces, properties, interrupts;
    size_t pageLists, pinnedPageLists, scatterGatherLists;
    bool driverRegistered;
    bool operator==(const LiveObjects& other) const;
    bool operator!=(const LiveObjects& other) const { return !(*this == other); }
};
LiveObjects liveObjects();
// One line naming every count, for a failure message.
std::string describe(const LiveObjects& live);

}  // namespace kal::sim
