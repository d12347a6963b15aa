#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string_view>

#include "kal/sim/faults.h"
#include "kzkal/memory.h"

namespace {

// Plain thread-locals: allocation happens before and after any C++ object's lifetime.
thread_local uint64_t tFailAt = 0;  // allocation index that fails first; 0 = off
thread_local bool tFailEveryFrom = false;
thread_local uint64_t tIndex = 0;
thread_local bool tTriggered = false;
std::atomic<int64_t> gLive{0};

bool failThisAllocation() {
    if (tFailAt == 0) return false;
    const uint64_t index = ++tIndex;
    if (index == tFailAt || (tFailEveryFrom && index > tFailAt)) {
        tTriggered = true;
        return true;
    }
    return false;
}

struct KernelCallFault {
    uint64_t skip;
    uint64_t remaining;
    int32_t code;
    uint64_t failures;
};

std::mutex& faultLock() {
    static std::mutex lock;
    return lock;
}
// Transparent comparison: a lookup by C string allocates nothing.
std::map<std::string, KernelCallFault, std::less<>>& faults() {
    static std::map<std::string, KernelCallFault, std::less<>> table;
    return table;
}

}  // namespace

extern "C" void* nKZKAL100_malloc(size_t size) {
    if (failThisAllocation()) return nullptr;
    void* block = std::malloc(size == 0 ? 1 : size);
    // The driver's operator new serves the whole process, the C++ library included, which expects
    // memory (or an exception) and never null: a real shortage stops the process with a message.
    // The failures the driver sees as null are the injected ones.
    if (block == nullptr) {
        std::fprintf(stderr, "kal: out of memory: %zu bytes could not be allocated (not an injected failure)\n", size);
        std::abort();
    }
    gLive.fetch_add(1, std::memory_order_relaxed);
    return block;
}

extern "C" void nKZKAL100_free(void* block) {
    if (block == nullptr) return;
    gLive.fetch_sub(1, std::memory_order_relaxed);
    std::free(block);
}

extern "C" void* nKZKAL240_memSet(void* destination, int value, size_t size) {
    return size == 0 ? destination : std::memset(destination, value, size);
}
extern "C" void* nKZKAL180_memCpy(void* destination, const void* source, size_t size) {
    return size == 0 ? destination : std::memcpy(destination, source, size);
}
extern "C" void* nKZKAL180_memMove(void* destination, const void* source, size_t size) {
    return size == 0 ? destination : std::memmove(destination, source, size);
}

namespace kal::sim {

FailAllocations::FailAllocations(uint64_t nth, bool everyFrom) {
    tIndex = 0;
    tTriggered = false;
    tFailEveryFrom = everyFrom;
    tFailAt = nth;
}
FailAllocations::~FailAllocations() {
    tFailAt = 0;
    tFailEveryFrom = false;
}
bool FailAllocations::triggered() const { return tTriggered; }

int64_t liveAllocations() { return gLive.load(); }

FailKernelCall::FailKernelCall(std::string name, uint64_t nth, uint64_t count, int32_t code) : name_(std::move(name)) {
    std::lock_guard<std::mutex> guard(faultLock());
    faults()[name_] = KernelCallFault{nth == 0 ? 0 : nth - 1, count, code, 0};
}
FailKernelCall::~FailKernelCall() {
    std::lock_guard<std::mutex> guard(faultLock());
    faults().erase(name_);
}
uint64_t FailKernelCall::failures() const {
    std::lock_guard<std::mutex> guard(faultLock());
    auto it = faults().find(name_);
    return it == faults().end() ? 0 : it->second.failures;
}

bool shouldFail(const char* name, int32_t* code) {
    std::lock_guard<std::mutex> guard(faultLock());
    auto& table = faults();
    if (table.empty()) return false;
    auto it = table.find(std::string_view(name));
    if (it == table.end()) return false;
    KernelCallFault& fault = it->second;
    if (fault.skip > 0) {
        --fault.skip;
        return false;
    }
    if (fault.remaining == 0) return false;
    --fault.remaining;
    ++fault.failures;
    if (code != nullptr) *code = fault.code;
    return true;
}

}  // namespace kal::sim
