#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <list>
#include <mutex>
#include <random>

#include "board/hostAllocator.h"
#include "kal/sim/dma.h"
#include "kal/sim/faults.h"
#include "kal/sim/pci.h"
#include "kal/sim/user.h"
#include "kzkal/dma.h"

namespace {

using kal::sim::DMAFault;
using kal::sim::DMAFaultKind;
using kal::sim::SGLSplit;

constexpr uint64_t kDefaultPageSize = 4096;
constexpr uint32_t kFlagContiguous = 1;
constexpr uint32_t kFlagBelow4G = 2;
constexpr uint64_t kRunPages = 16;

// Bus-address windows of the IOMMU. Addresses are handed out in order and reused only after a
// window wraps, with a free page between mappings, so a stale bus address rarely aliases.
struct Window {
    uint64_t base;
    uint64_t end;
};
constexpr Window kWindow32{0x80000000ull, 0x100000000ull};
constexpr Window kWindow64{0x0000008000000000ull, 0x0001000000000000ull};
// Physical addresses, apart from both IOMMU windows, so that the port tells the two apart.
constexpr Window kPhysicalLow{0x00100000ull, 0x80000000ull};
constexpr Window kPhysicalHigh{0x0001000000000000ull, 0x0002000000000000ull};
constexpr uint64_t k4GiB = 0x100000000ull;

struct PageList {
    uint64_t id;
    bool pinned;
    uint8_t* memory;  // first page
    uint8_t* device;  // the device's view of allocated memory; null for pinned pages
    void* memoryBlock;
    void* deviceBlock;
    uint64_t pages;
    uint64_t pageSize;
    uint32_t flags;
    bool numaForm;
    int32_t node;
    board::HostVector<uint8_t*> kernelMappings;
    uint32_t deviceMappings;
    bool physical = false;  // some page of it was given a physical address
};

struct Segment {
    uint64_t bus;
    uint64_t size;
    uint64_t offset;  // bytes from the page list's first page
    uint64_t iovaBase;
    uint64_t iovaEnd;
};

struct Sgl {
    uint64_t id;
    bool forPCI;
    uint64_t capacity;
    bool below4G;
    PageList* list;
    uint64_t byteOffset;
    uint64_t size;
    bool fromDevice;
    board::HostVector<Segment> segments;
    size_t cursor;
    uint64_t prepares;
    uint64_t completions;
};

struct State {
    std::mutex lock;
    std::list<PageList, board::HostAllocator<PageList>> pageLists;
    std::list<Sgl, board::HostAllocator<Sgl>> sgls;
    board::HostVector<DMAFault> faults;
    uint64_t nextId = 1;
    uint64_t pinnedPages = 0;
    uint64_t pinsMade = 0;
    uint64_t unpinsMade = 0;
    uint64_t cursor32 = kWindow32.base;
    uint64_t cursor64 = kWindow64.base;
    SGLSplit split = SGLSplit::Page;
    std::mt19937 random{1};
    // Physical pages: host page to physical page and back; freed physical pages for reuse.
    board::HostMap<uint64_t, uint64_t> physicalOf;
    board::HostMap<uint64_t, uint64_t> hostOf;
    board::HostVector<uint64_t> freeLow, freeHigh;
    uint64_t nextLow = kPhysicalLow.base;
    uint64_t nextHigh = kPhysicalHigh.base;
    bool memoryOver4G = false;
    board::HostVector<std::pair<uint64_t, uint64_t>> above4G;  // host ranges [begin, end)
};

State& state() {
    static State instance;
    return instance;
}

std::atomic<uint64_t> gPageSize{kDefaultPageSize};

[[noreturn]] void misuse(const char* what, const void* handle) {
    std::fprintf(stderr, "kal: %s (%p)\n", what, handle);
    std::abort();
}

PageList& pageListOf(State& s, void* handle) {
    for (PageList& list : s.pageLists)
        if (&list == handle) return list;
    misuse("not a live page list", handle);
}

Sgl& sglOf(State& s, void* handle) {
    for (Sgl& sgl : s.sgls)
        if (&sgl == handle) return sgl;
    misuse("not a live scatter-gather list", handle);
}

// The first live page list that holds a host page, other than `except`.
PageList* holderOf(State& s, uint64_t hostPage, const PageList* except = nullptr) {
    for (PageList& list : s.pageLists) {
        const auto begin = reinterpret_cast<uint64_t>(list.memory);
        if (&list != except && hostPage >= begin && hostPage - begin < list.pages * list.pageSize) return &list;
    }
    return nullptr;
}

uint64_t physicalPageOf(State& s, const PageList& list, uint64_t hostPage) {
    auto known = s.physicalOf.find(hostPage);
    if (known != s.physicalOf.end()) return known->second;
    bool high = false;
    if (s.memoryOver4G && (list.flags & kFlagBelow4G) == 0)
        for (const auto& range : s.above4G)
            if (hostPage + list.pageSize > range.first && hostPage < range.second) high = true;
    board::HostVector<uint64_t>& freed = high ? s.freeHigh : s.freeLow;
    uint64_t& next = high ? s.nextHigh : s.nextLow;
    uint64_t physical = 0;
    if (!freed.empty()) {
        physical = freed.back();
        freed.pop_back();
    } else {
        if (next + list.pageSize > (high ? kPhysicalHigh.end : kPhysicalLow.end)) return 0;
        physical = next;
        next += list.pageSize;
    }
    s.physicalOf[hostPage] = physical;
    s.hostOf[physical] = hostPage;
    return physical;
}

// The physical pages of a list that no other live list holds go back for reuse.
void releasePhysicalPages(State& s, const PageList& list) {
    if (!list.physical) return;
    for (uint64_t page = 0; page < list.pages; ++page) {
        const uint64_t hostPage = reinterpret_cast<uint64_t>(list.memory) + page * list.pageSize;
        auto known = s.physicalOf.find(hostPage);
        if (known == s.physicalOf.end() || holderOf(s, hostPage, &list) != nullptr) continue;
        (known->second >= k4GiB ? s.freeHigh : s.freeLow).push_back(known->second);
        s.hostOf.erase(known->second);
        s.physicalOf.erase(known);
    }
}

void unmapKernelAddress(PageList& list, void* address) {
    for (auto it = list.kernelMappings.begin(); it != list.kernelMappings.end(); ++it)
        if (*it == address) {
            list.kernelMappings.erase(it);
            return;
        }
    misuse("unmapping a kernel address the page list did not map", address);
}

// Page-aligned host memory (any page size), zero filled; the block to free comes back in `block`.
uint8_t* alignedPages(uint64_t bytes, uint64_t pageSize, void*& block) {
    block = std::calloc(1, bytes + pageSize);
    if (block == nullptr) return nullptr;
    const auto address = reinterpret_cast<uintptr_t>(block);
    return reinterpret_cast<uint8_t*>((address + pageSize - 1) / pageSize * pageSize);
}

void* createAllocated(const char* name, uint64_t pages, uint32_t flags, bool numaForm, int32_t node) {
    if (kal::sim::shouldFail(name)) return nullptr;
    const uint64_t pageSize = gPageSize.load();
    if (pages == 0 || pages > (uint64_t{1} << 40) / pageSize) return nullptr;
    const uint64_t bytes = pages * pageSize;
    void* memoryBlock = nullptr;
    void* deviceBlock = nullptr;
    uint8_t* memory = alignedPages(bytes, pageSize, memoryBlock);
    uint8_t* device = alignedPages(bytes, pageSize, deviceBlock);
    if (memory == nullptr || device == nullptr) {
        std::free(memoryBlock);
        std::free(deviceBlock);
        return nullptr;
    }
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.pageLists.push_back(
        {s.nextId++, false, memory, device, memoryBlock, deviceBlock, pages, pageSize, flags, numaForm, node, {}, 0});
    return &s.pageLists.back();
}

// The IOMMU range [base, base + bytes) is free when no live segment's range meets it.
bool iovaFree(State& s, uint64_t base, uint64_t bytes) {
    for (const Sgl& sgl : s.sgls)
        for (const Segment& segment : sgl.segments)
            if (base < segment.iovaEnd && base + bytes > segment.iovaBase) return false;
    return true;
}

bool allocateIova(State& s, bool below4G, uint64_t bytes, uint64_t pageSize, uint64_t& base) {
    const Window& window = below4G ? kWindow32 : kWindow64;
    uint64_t& cursor = below4G ? s.cursor32 : s.cursor64;
    if (bytes > window.end - window.base) return false;
    uint64_t candidate = cursor;
    bool wrapped = false;
    for (;;) {
        if (candidate + bytes > window.end) {
            if (wrapped) return false;
            wrapped = true;
            candidate = window.base;
        }
        if (iovaFree(s, candidate, bytes)) break;
        candidate += pageSize;
    }
    base = candidate;
    cursor = candidate + bytes + pageSize;
    return true;
}

// Where a range of the page list is cut into segments: after each returned page index.
bool cutAfterPage(State& s, const PageList& list, uint64_t page) {
    if ((list.flags & kFlagContiguous) != 0) return false;
    switch (s.split) {
        case SGLSplit::Page:
            return true;
        case SGLSplit::Runs:
            return (page + 1) % kRunPages == 0;
        case SGLSplit::Random:
            return (s.random() & 1) != 0;
    }
    return true;
}

void unmapLocked(Sgl& sgl) {
    if (sgl.list == nullptr) return;
    --sgl.list->deviceMappings;
    sgl.list = nullptr;
    sgl.segments.clear();
    sgl.cursor = 0;
    sgl.byteOffset = 0;
    sgl.size = 0;
}

int32_t mapLocked(State& s, Sgl& sgl, PageList& list, uint64_t byteOffset, uint64_t size, bool fromDevice) {
    if (sgl.list != nullptr) return KZKAL_ERR_VALUE_CONFLICT;
    const uint64_t pageSize = list.pageSize;
    const uint64_t total = list.pages * pageSize;
    if (size == 0 || byteOffset > total || size > total - byteOffset) return KZKAL_ERR_BAD_PARAMETER;
    const uint64_t firstPage = byteOffset / pageSize;
    const uint64_t lastPage = (byteOffset + size - 1) / pageSize;
    if (lastPage - firstPage + 1 > sgl.capacity) return KZKAL_ERR_BAD_PARAMETER;
    // Only registered bytes of a caller's pages reach the device.
    if (list.pinned && !kal::sim::isUserMemory(reinterpret_cast<uint64_t>(list.memory) + byteOffset, size))
        return KZKAL_ERR_BAD_PARAMETER;
    const bool below4G = sgl.below4G || (list.flags & kFlagBelow4G) != 0;
    uint64_t start = byteOffset;
    const uint64_t end = byteOffset + size;
    while (start < end) {
        uint64_t page = start / pageSize;
        while (page < lastPage && !cutAfterPage(s, list, page)) ++page;
        const uint64_t segmentEnd = page == lastPage ? end : (page + 1) * pageSize;
        const uint64_t iovaBytes = (segmentEnd - start / pageSize * pageSize + pageSize - 1) / pageSize * pageSize;
        uint64_t iova = 0;
        if (!allocateIova(s, below4G, iovaBytes, pageSize, iova)) {
            sgl.segments.clear();
            return KZKAL_ERR_MEMORY_FULL;
        }
        sgl.segments.push_back({iova + start % pageSize, segmentEnd - start, start, iova, iova + iovaBytes});
        start = segmentEnd;
    }
    sgl.list = &list;
    ++list.deviceMappings;
    sgl.byteOffset = byteOffset;
    sgl.size = size;
    sgl.fromDevice = fromDevice;
    sgl.cursor = 0;
    return 0;
}

// The bridge between boards and the IOMMU.
class Port : public board::HostMemoryPort {
public:
    bool read(uint64_t busAddress, void* data, uint64_t size) override {
        return access(busAddress, static_cast<uint8_t*>(data), size, false);
    }
    bool write(uint64_t busAddress, const void* data, uint64_t size) override {
        return access(busAddress, const_cast<uint8_t*>(static_cast<const uint8_t*>(data)), size, true);
    }

private:
    static bool access(uint64_t bus, uint8_t* data, uint64_t size, bool deviceWrite) {
        if (size == 0) return true;
        State& s = state();
        std::lock_guard<std::mutex> guard(s.lock);
        const Sgl* owner = nullptr;
        const Segment* segment = nullptr;
        for (const Sgl& sgl : s.sgls)
            for (const Segment& candidate : sgl.segments)
                if (bus >= candidate.bus && bus - candidate.bus < candidate.size &&
                    size <= candidate.size - (bus - candidate.bus)) {
                    owner = &sgl;
                    segment = &candidate;
                }
        auto fault = [&](DMAFaultKind kind) {
            s.faults.push_back({bus, size, deviceWrite, kind});
            return false;
        };
        if (segment == nullptr) return physical(s, bus, data, size, deviceWrite) || fault(DMAFaultKind::Unmapped);
        if (owner->fromDevice != deviceWrite) return fault(DMAFaultKind::Direction);
        const PageList& list = *owner->list;
        const uint64_t offset = segment->offset + (bus - segment->bus);
        uint8_t* memory = list.memory + offset;
        if (list.pinned) {
            if (!kal::sim::isUserMemory(reinterpret_cast<uint64_t>(memory), size))
                return fault(DMAFaultKind::UserMemoryGone);
            if (deviceWrite) std::memcpy(memory, data, size);
            else std::memcpy(data, memory, size);
            return true;
        }
        uint8_t* device = list.device + offset;
        if (deviceWrite) {
            std::memcpy(device, data, size);
            std::memcpy(memory, data, size);
            return true;
        }
        std::memcpy(data, device, size);
        if (std::memcmp(device, memory, size) != 0) s.faults.push_back({bus, size, false, DMAFaultKind::Stale});
        return true;
    }

    // Page by page through physical addresses: coherent, so allocated memory's device view is kept
    // with it. False when a page has no physical address or its user memory is gone.
    static bool physical(State& s, uint64_t bus, uint8_t* data, uint64_t size, bool deviceWrite) {
        const uint64_t pageSize = gPageSize.load();
        for (uint64_t done = 0; done < size;) {
            const uint64_t at = bus + done;
            const uint64_t inPage = at % pageSize;
            const uint64_t chunk = std::min(size - done, pageSize - inPage);
            auto host = s.hostOf.find(at - inPage);
            if (host == s.hostOf.end()) return false;
            PageList* list = holderOf(s, host->second);
            if (list == nullptr) return false;
            uint8_t* memory = reinterpret_cast<uint8_t*>(host->second + inPage);
            if (list->pinned && !kal::sim::isUserMemory(reinterpret_cast<uint64_t>(memory), chunk)) return false;
            uint8_t* device = list->device != nullptr ? list->device + (memory - list->memory) : nullptr;
            if (deviceWrite) {
                std::memcpy(memory, data + done, chunk);
                if (device != nullptr) std::memcpy(device, data + done, chunk);
            } else {
                std::memcpy(data + done, memory, chunk);
            }
            done += chunk;
        }
        return true;
    }
};

}  // namespace

extern "C" void* nKZKAL220_tPageList_createFromAllocation(uint64_t pageCount, uint32_t flags) {
    return createAllocated("tPageList_createFromAllocation", pageCount, flags, false, -1);
}

extern "C" void* nKZKAL1_tPageList_createFromAllocationNUMA(uint64_t pageCount, uint32_t flags, int32_t node) {
    return createAllocated("tPageList_createFromAllocationNUMA", pageCount, flags, true, node);
}

extern "C" void* nKZKAL220_tPageList_createFromUser(uint64_t address, uint32_t pageCount, uint32_t flags) {
    if (kal::sim::shouldFail("tPageList_createFromUser")) return nullptr;
    const uint64_t pageSize = gPageSize.load();
    if (pageCount == 0 || address % pageSize != 0 || pageCount > (~uint64_t{0} - address) / pageSize) return nullptr;
    for (uint64_t page = 0; page < pageCount; ++page) {
        const uint64_t begin = address + page * pageSize;
        if (!kal::sim::overlapsUserMemory(begin, begin + pageSize)) return nullptr;
    }
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.pageLists.push_back({s.nextId++, true, reinterpret_cast<uint8_t*>(address), nullptr, nullptr, nullptr, pageCount,
                           pageSize, flags, false, -1, {}, 0});
    s.pinnedPages += pageCount;
    ++s.pinsMade;
    return &s.pageLists.back();
}

// A kernel address of pages [firstPage, firstPage + pageCount), recorded until it is unmapped.
static void* mapPagesToKernel(const char* name, void* pageList, uint64_t firstPage, uint64_t pageCount) {
    if (kal::sim::shouldFail(name)) return nullptr;
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    PageList& list = pageListOf(s, pageList);
    if (pageCount == 0 || firstPage >= list.pages || pageCount > list.pages - firstPage) return nullptr;
    uint8_t* address = list.memory + firstPage * list.pageSize;
    list.kernelMappings.push_back(address);
    return address;
}

extern "C" void* nKZKAL220_tPageList_mapToKernel(void* pageList, uint64_t firstPage, uint64_t pageCount) {
    return mapPagesToKernel("tPageList_mapToKernel", pageList, firstPage, pageCount);
}

extern "C" void nKZKAL220_tPageList_unmapFromKernel(void* pageList, void* address) {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    unmapKernelAddress(pageListOf(s, pageList), address);
}

extern "C" void* nKZKAL220_tPageList_mapOnePageToKernel(void* pageList, uint64_t page) {
    return mapPagesToKernel("tPageList_mapOnePageToKernel", pageList, page, 1);
}

extern "C" void nKZKAL220_tPageList_unmapOnePageFromKernel(void* pageList, void* address) {
    nKZKAL220_tPageList_unmapFromKernel(pageList, address);
}

extern "C" uint64_t nKZKAL220_tPageList_getPhysicalAddress(void* pageList, uint64_t byteOffset) {
    if (kal::sim::shouldFail("tPageList_getPhysicalAddress")) return 0;
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    PageList& list = pageListOf(s, pageList);
    if (byteOffset / list.pageSize >= list.pages) return 0;
    const uint64_t inPage = byteOffset % list.pageSize;
    const uint64_t physical = physicalPageOf(s, list, reinterpret_cast<uint64_t>(list.memory) + byteOffset - inPage);
    if (physical == 0) return 0;
    list.physical = true;
    return physical + inPage;
}

extern "C" uint32_t nKZKAL200_isAddressableMemOver4G(void) {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.memoryOver4G ? 1 : 0;
}

extern "C" void nKZKAL220_tPageList_destroy(void* pageList) {
    if (pageList == nullptr) return;
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    PageList& list = pageListOf(s, pageList);
    if (list.deviceMappings != 0) misuse("destroying a page list that a scatter-gather list still maps", pageList);
    if (!list.kernelMappings.empty()) misuse("destroying a page list still mapped into kernel space", pageList);
    if (list.pinned) {
        s.pinnedPages -= list.pages;
        ++s.unpinsMade;
    }
    releasePhysicalPages(s, list);
    std::free(list.memoryBlock);
    std::free(list.deviceBlock);
    s.pageLists.remove_if([&](const PageList& l) { return &l == &list; });
}

extern "C" void* nKZKAL220_tSGL_createForPCI(void* pci, uint64_t pageCapacity) {
    if (kal::sim::shouldFail("tSGL_createForPCI")) return nullptr;
    if (pageCapacity == 0 || pageCapacity > 0xFFFFFFFFull) return nullptr;
    // Without a function to ask, the kernel assumes the 32-bit default mask.
    const bool below4G = pci == nullptr || static_cast<kal::sim::PciFunction*>(pci)->dmaMask <= 0xFFFFFFFFull;
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.sgls.push_back({s.nextId++, pci != nullptr, pageCapacity, below4G, nullptr, 0, 0, false, {}, 0, 0, 0});
    return &s.sgls.back();
}

extern "C" int32_t nKZKAL220_tSGL_map(void* sgl, void* pageList, uint64_t byteOffset, uint64_t size,
                                      uint32_t fromDevice) {
    int32_t code = 0;
    if (kal::sim::shouldFail("tSGL_map", &code)) return code != 0 ? code : KZKAL_ERR_MEMORY_FULL;
    if (sgl == nullptr || pageList == nullptr) return KZKAL_ERR_BAD_PARAMETER;
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return mapLocked(s, sglOf(s, sgl), pageListOf(s, pageList), byteOffset, size, fromDevice != 0);
}

extern "C" void nKZKAL220_tSGL_unmap(void* sgl) {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    unmapLocked(sglOf(s, sgl));
}

extern "C" void nKZKAL220_tSGL_prepareForDMA(void* handle) {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    Sgl& sgl = sglOf(s, handle);
    ++sgl.prepares;
    if (sgl.list == nullptr || sgl.list->pinned) return;
    for (const Segment& segment : sgl.segments)
        std::memcpy(sgl.list->device + segment.offset, sgl.list->memory + segment.offset, segment.size);
}

extern "C" void nKZKAL220_tSGL_completeDMA(void* handle, uint64_t) {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    ++sglOf(s, handle).completions;
}

extern "C" uint32_t nKZKAL220_tSGL_numSegments(void* handle) {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return static_cast<uint32_t>(sglOf(s, handle).segments.size());
}

extern "C" void nKZKAL220_tSGL_iterate(void* handle) {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    sglOf(s, handle).cursor = 0;
}

extern "C" uint64_t nKZKAL220_tSGL_getSegmentAddress(void* handle) {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    const Sgl& sgl = sglOf(s, handle);
    return sgl.cursor < sgl.segments.size() ? sgl.segments[sgl.cursor].bus : 0;
}

extern "C" uint64_t nKZKAL220_tSGL_getSegmentSize(void* handle) {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    const Sgl& sgl = sglOf(s, handle);
    return sgl.cursor < sgl.segments.size() ? sgl.segments[sgl.cursor].size : 0;
}

extern "C" void nKZKAL220_tSGL_nextSegment(void* handle) {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    Sgl& sgl = sglOf(s, handle);
    if (sgl.cursor < sgl.segments.size()) ++sgl.cursor;
}

extern "C" void nKZKAL220_tSGL_destroy(void* handle) {
    if (handle == nullptr) return;
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    Sgl& sgl = sglOf(s, handle);
    if (sgl.list != nullptr) misuse("destroying a scatter-gather list that is still mapped", handle);
    s.sgls.remove_if([&](const Sgl& l) { return &l == &sgl; });
}

namespace kal::sim {

void setSGLSplit(SGLSplit split, uint32_t seed) {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.split = split;
    s.random.seed(seed);
}

SGLSplit sglSplit() {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.split;
}

uint64_t pageSize() { return gPageSize.load(); }
void setPageSize(uint64_t size) { gPageSize.store(size == 0 ? kDefaultPageSize : size); }

const char* dmaFaultText(DMAFaultKind kind) {
    switch (kind) {
        case DMAFaultKind::Unmapped:
            return "outside every live mapping";
        case DMAFaultKind::Direction:
            return "against the mapping's direction";
        case DMAFaultKind::Stale:
            return "bytes changed since the latest prepareForDMA";
        case DMAFaultKind::UserMemoryGone:
            return "user memory no longer registered";
    }
    return "unknown";
}

DMAState dmaState() {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    DMAState result;
    for (const PageList& list : s.pageLists)
        result.pageLists.push_back({list.id, list.pinned, reinterpret_cast<uint64_t>(list.memory), list.pages,
                                    list.flags, list.numaForm, list.node,
                                    static_cast<uint32_t>(list.kernelMappings.size()), list.deviceMappings});
    for (const Sgl& sgl : s.sgls) {
        SGLRecord record{sgl.id,   sgl.forPCI, sgl.capacity,   sgl.list != nullptr, sgl.list ? sgl.list->id : 0,
                         sgl.byteOffset, sgl.size, sgl.fromDevice, {},          sgl.prepares,
                         sgl.completions};
        for (const Segment& segment : sgl.segments) record.segments.push_back({segment.bus, segment.size});
        result.sgls.push_back(record);
    }
    result.pinnedPages = s.pinnedPages;
    result.faults.assign(s.faults.begin(), s.faults.end());
    return result;
}

size_t livePageLists(bool pinned) {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    const auto kind = [&](const PageList& list) { return list.pinned == pinned; };
    return static_cast<size_t>(std::count_if(s.pageLists.begin(), s.pageLists.end(), kind));
}

size_t liveSGLs() {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.sgls.size();
}

uint64_t pinsMade() {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.pinsMade;
}

uint64_t unpinsMade() {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.unpinsMade;
}

std::vector<DMAFault> takeDMAFaults() {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    std::vector<DMAFault> faults(s.faults.begin(), s.faults.end());
    s.faults.clear();
    return faults;
}

board::HostMemoryPort& hostMemoryPort() {
    static Port port;
    return port;
}

void setMemoryOver4G(bool present) {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.memoryOver4G = present;
    if (!present) s.above4G.clear();
}

void placeAbove4G(const void* address, uint64_t size) {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    const auto begin = reinterpret_cast<uint64_t>(address);
    s.above4G.push_back({begin, begin + size});
}

}  // namespace kal::sim
