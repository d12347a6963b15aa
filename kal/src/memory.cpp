#include <cxxabi.h>
#include <dlfcn.h>
#include <pthread.h>
#include <sys/mman.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <string_view>

#include "board/hostAllocator.h"
#include "kal/sim/faults.h"
#include "kzkal/memory.h"

namespace {

// Plain thread-locals: allocation happens before and after any C++ object's lifetime.
thread_local uint64_t tFailAt = 0;  // allocation index that fails first; 0 = off
thread_local bool tFailEveryFrom = false;
thread_local uint64_t tIndex = 0;
thread_local bool tTriggered = false;
std::atomic<int64_t> gLive{0};
std::atomic<uint64_t> gLargest{0};

void noteRequest(size_t size) {
    uint64_t largest = gLargest.load(std::memory_order_relaxed);
    while (size > largest && !gLargest.compare_exchange_weak(largest, size, std::memory_order_relaxed)) {
    }
}

// Linux keeps 15 characters of a thread's name.
constexpr size_t kThreadNameSize = 16;

// The return addresses of the call that met the latest injected failure, kept without allocating
// (the allocator is failing) and symbolised only when a test asks.
constexpr int kCallSiteFrames = 12;
struct CallSite {
    std::mutex lock;
    void* frames[kCallSiteFrames];
    int count = 0;
};
CallSite& callSite() {
    static CallSite site;
    return site;
}
// The calling thread's stack, so that a walk of its frame pointers stays inside it.
thread_local uintptr_t tStackLow = 0, tStackHigh = 0;
void findStack() {
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) != 0) return;
    void* low = nullptr;
    size_t size = 0;
    if (pthread_attr_getstack(&attributes, &low, &size) == 0) {
        tStackLow = reinterpret_cast<uintptr_t>(low);
        tStackHigh = tStackLow + size;
    }
    pthread_attr_destroy(&attributes);
}

// The driver is built as kernel code, without unwind tables, so the unwinder stops at its first
// frame: the frames are followed by their frame pointers instead, which the sanitizer builds keep.
// A build without them gives fewer frames, never a wild read: every step stays on this stack.
__attribute__((noinline)) int returnAddresses(void** frames, int capacity) {
    if (tStackHigh == 0) findStack();
    auto* frame = static_cast<void* const*>(__builtin_frame_address(0));
    int count = 0;
    while (count < capacity) {
        const auto at = reinterpret_cast<uintptr_t>(frame);
        if (at < tStackLow || at + 2 * sizeof(void*) > tStackHigh || at % sizeof(void*) != 0) break;
        if (frame[1] == nullptr) break;
        frames[count++] = frame[1];
        auto* const next = static_cast<void* const*>(frame[0]);
        if (next <= frame) break;
        frame = next;
    }
    return count;
}

void noteCallSite() {
    void* frames[kCallSiteFrames];
    const int count = returnAddresses(frames, kCallSiteFrames);
    CallSite& site = callSite();
    std::lock_guard<std::mutex> guard(site.lock);
    std::memcpy(site.frames, frames, sizeof(void*) * size_t(count));
    site.count = count;
}

bool failThisAllocation() {
    if (tFailAt == 0) return false;
    const uint64_t index = ++tIndex;
    if (index == tFailAt || (tFailEveryFrom && index > tFailAt)) {
        tTriggered = true;
        noteCallSite();
        return true;
    }
    return false;
}

struct KernelCallFault {
    uint64_t skip;
    uint64_t remaining;
    int32_t code;
    uint64_t failures;
    board::HostString thread;  // empty: any thread
};

struct RecordedCalls {
    const char* name;  // the stand-in's literals
    char thread[kThreadNameSize];
    uint64_t count;
};

thread_local char tThreadName[kThreadNameSize] = {};

// Armed faults plus live recorders: while none, a kernel call takes no lock.
std::atomic<int> gArmed{0};
int gRecorders = 0;

std::mutex& faultLock() {
    static std::mutex lock;
    return lock;
}
// Kept out of the system's allocator, which consults this table. Transparent comparison: a lookup
// by C string allocates nothing.
using FaultTable = std::map<board::HostString, KernelCallFault, std::less<>,
                            board::HostAllocator<std::pair<const board::HostString, KernelCallFault>>>;
FaultTable& faults() {
    static FaultTable table;
    return table;
}
board::HostVector<RecordedCalls>& recorded() {
    static board::HostVector<RecordedCalls> calls;
    return calls;
}

void record(const char* name) {
    for (RecordedCalls& calls : recorded())
        if (std::strcmp(calls.name, name) == 0 && std::strcmp(calls.thread, tThreadName) == 0) {
            ++calls.count;
            return;
        }
    RecordedCalls calls{name, {}, 1};
    std::memcpy(calls.thread, tThreadName, sizeof calls.thread);
    recorded().push_back(calls);
}

}  // namespace

namespace {

constexpr size_t kHugePage = size_t{2} << 20;

// A block of megabytes (a configuration image being decompressed) sits on huge pages where the
// host offers them: filling it then costs a few page faults instead of one every 4 KiB.
void* allocateBlock(size_t size) {
    if (size < kHugePage) return std::malloc(size == 0 ? 1 : size);
    const size_t rounded = (size + kHugePage - 1) & ~(kHugePage - 1);
    void* block = std::aligned_alloc(kHugePage, rounded);
    if (block != nullptr) madvise(block, rounded, MADV_HUGEPAGE);
    return block;
}

}  // namespace

extern "C" void* nKZKAL100_malloc(size_t size) {
    noteRequest(size);
    if (failThisAllocation() || kal::sim::shouldFail("malloc")) return nullptr;
    void* block = allocateBlock(size);
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

uint64_t FailAllocations::counted() const { return tIndex; }

int64_t liveAllocations() { return gLive.load(); }

void markLargestAllocation() { gLargest.store(0); }
uint64_t largestAllocationSinceMark() { return gLargest.load(); }

const char* currentThreadName() { return tThreadName; }

void setCurrentThreadName(const char* name) {
    std::strncpy(tThreadName, name, kThreadNameSize - 1);
    pthread_setname_np(pthread_self(), tThreadName);
}

FailKernelCall::FailKernelCall(std::string name, uint64_t nth, uint64_t count, int32_t code, const char* thread)
    : name_(std::move(name)) {
    std::lock_guard<std::mutex> guard(faultLock());
    auto& table = faults();
    const auto inserted = table.insert_or_assign(board::HostString(name_.c_str()),
                                                 KernelCallFault{nth == 0 ? 0 : nth - 1, count, code, 0,
                                                                 board::HostString(thread != nullptr ? thread : "")});
    if (inserted.second) ++gArmed;
}
FailKernelCall::~FailKernelCall() {
    std::lock_guard<std::mutex> guard(faultLock());
    auto it = faults().find(std::string_view(name_));
    if (it == faults().end()) return;
    faults().erase(it);
    --gArmed;
}
uint64_t FailKernelCall::failures() const {
    std::lock_guard<std::mutex> guard(faultLock());
    auto it = faults().find(std::string_view(name_));
    return it == faults().end() ? 0 : it->second.failures;
}

RecordKernelCalls::RecordKernelCalls() {
    std::lock_guard<std::mutex> guard(faultLock());
    if (gRecorders++ == 0) {
        recorded().clear();
        ++gArmed;
    }
}
RecordKernelCalls::~RecordKernelCalls() {
    std::lock_guard<std::mutex> guard(faultLock());
    if (--gRecorders == 0) --gArmed;
}
std::vector<RecordKernelCalls::Calls> RecordKernelCalls::calls() const {
    board::HostVector<RecordedCalls> copy;
    {
        std::lock_guard<std::mutex> guard(faultLock());
        copy = recorded();
    }
    // Built outside the lock: these allocations are calls too.
    std::vector<Calls> result;
    for (const RecordedCalls& calls : copy) result.push_back({calls.name, calls.thread, calls.count});
    return result;
}

bool shouldFail(const char* name, int32_t* code) {
    if (gArmed.load(std::memory_order_relaxed) == 0) return false;
    std::lock_guard<std::mutex> guard(faultLock());
    if (gRecorders != 0) record(name);
    auto& table = faults();
    auto it = table.find(std::string_view(name));
    if (it == table.end()) return false;
    KernelCallFault& fault = it->second;
    if (!fault.thread.empty() && fault.thread != tThreadName) return false;
    if (fault.skip > 0) {
        --fault.skip;
        return false;
    }
    if (fault.remaining == 0) return false;
    --fault.remaining;
    ++fault.failures;
    if (code != nullptr) *code = fault.code;
    noteCallSite();
    return true;
}

}  // namespace kal::sim

// The sanitizers' symboliser, where the build has one.
extern "C" void __sanitizer_symbolize_pc(void* pc, const char* format, char* out, size_t size) __attribute__((weak));

namespace kal::sim {

namespace {

std::string symbolise(void* frame) {
    char text[512] = {};
    if (__sanitizer_symbolize_pc != nullptr) {
        __sanitizer_symbolize_pc(frame, "%f %L", text, sizeof text);
        if (text[0] != '\0' && std::strncmp(text, "<null>", 6) != 0) return text;
    }
    Dl_info info{};
    if (dladdr(frame, &info) != 0 && info.dli_sname != nullptr) {
        int failed = 0;
        char* demangled = abi::__cxa_demangle(info.dli_sname, nullptr, nullptr, &failed);
        std::string name = failed == 0 && demangled != nullptr ? demangled : info.dli_sname;
        std::free(demangled);
        return name;
    }
    std::snprintf(text, sizeof text, "%p", frame);
    return text;
}

// The stand-in's own frames (the fault's bookkeeping, the allocator) and the driver's allocator
// (operator new) say nothing of the caller.
bool allocatorFrame(const std::string& frame) {
    for (const char* own : {"noteCallSite", "failThisAllocation", "shouldFail", "nKZKAL", "operator new", "/kal/src/",
                            "/protons/memory.cpp"})
        if (frame.find(own) != std::string::npos) return true;
    return false;
}

}  // namespace

std::string injectedCallSite() {
    void* frames[kCallSiteFrames];
    int count;
    {
        CallSite& site = callSite();
        std::lock_guard<std::mutex> guard(site.lock);
        count = site.count;
        std::memcpy(frames, site.frames, sizeof(void*) * size_t(count));
    }
    if (count == 0) return "no injected failure met";
    std::string text;
    int shown = 0;
    for (int i = 0; i < count && shown < 4; ++i) {
        const std::string frame = symbolise(frames[i]);
        if (shown == 0 && allocatorFrame(frame)) continue;
        text += (shown++ == 0 ? "" : " <- ") + frame;
    }
    return text;
}

}  // namespace kal::sim

// The driver replaces the C++ library's plain operators only; its tagged twins take a tag of the
// platform's own. The library's and the sanitizers' std::nothrow forms would otherwise hand out
// memory of their own that the driver's delete then releases as its own: they go through the
// driver's plain forms, so every allocation of the process has one owner.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return ::operator new(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return ::operator new[](size); }
void operator delete(void* block, const std::nothrow_t&) noexcept { ::operator delete(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { ::operator delete[](block); }
