#include <cstring>
#include <mutex>

#include "board/hostAllocator.h"
#include "kal/sim/dma.h"
#include "kal/sim/faults.h"
#include "kal/sim/user.h"
#include "kzkal/user.h"

namespace {

struct Range {
    uintptr_t begin;
    uintptr_t end;
};

struct Registry {
    std::mutex lock;
    board::HostVector<Range> ranges;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

// A 0-byte copy succeeds at any address; anything outside registered memory is refused.
int32_t checkCopy(const char* name, uint64_t userAddress, uint32_t size) {
    if (size == 0) return 0;
    int32_t code = 0;
    if (kal::sim::shouldFail(name, &code)) return code != 0 ? code : KZKAL_ERR_BAD_PARAMETER;
    return kal::sim::isUserMemory(userAddress, size) ? 0 : KZKAL_ERR_BAD_PARAMETER;
}

kal::sim::UserMapRequest& request(void* description) { return *static_cast<kal::sim::UserMapRequest*>(description); }

}  // namespace

namespace kal::sim {

void registerUserMemory(const void* address, size_t size) {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto begin = reinterpret_cast<uintptr_t>(address);
    r.ranges.push_back({begin, begin + size});
}

bool isUserMemory(uint64_t address, uint64_t size) {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    for (const Range& range : r.ranges)
        if (address >= range.begin && address <= range.end && size <= range.end - address) return true;
    return false;
}

bool overlapsUserMemory(uint64_t begin, uint64_t end) {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    for (const Range& range : r.ranges)
        if (begin < range.end && end > range.begin) return true;
    return false;
}

void unregisterUserMemory(const void* address) {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    for (auto it = r.ranges.begin(); it != r.ranges.end(); ++it)
        if (it->begin == reinterpret_cast<uintptr_t>(address)) {
            r.ranges.erase(it);
            return;
        }
}

}  // namespace kal::sim

extern "C" int32_t nKZKAL100_replicateInboundIOControlBuffer(void* destination, uint64_t userSource, uint32_t size) {
    int32_t code = checkCopy("replicateInboundIOControlBuffer", userSource, size);
    if (code == 0 && size > 0) std::memcpy(destination, reinterpret_cast<const void*>(userSource), size);
    return code;
}

extern "C" int32_t nKZKAL100_replicateOutboundIOControlBuffer(uint64_t userDestination, const void* source,
                                                              uint32_t size) {
    int32_t code = checkCopy("replicateOutboundIOControlBuffer", userDestination, size);
    if (code == 0 && size > 0) std::memcpy(reinterpret_cast<void*>(userDestination), source, size);
    return code;
}

extern "C" uint64_t nKZKAL100_getPageSize(void) { return kal::sim::pageSize(); }

extern "C" uint64_t nKZKAL220_tUserMemMap_getSize(void* description) { return request(description).size; }

extern "C" uint64_t nKZKAL220_tUserMemMap_getVirtualAddress(void* description) {
    return request(description).virtualAddress;
}

extern "C" uint32_t nKZKAL220_tUserMemMap_getAccessMode(void* description) { return request(description).accessMode; }

extern "C" int32_t nKZKAL220_tUserMemMap_mapPageList(void* description, void* pageList, uint64_t firstPage,
                                                     uint64_t pageCount) {
    int32_t code = 0;
    if (kal::sim::shouldFail("tUserMemMap_mapPageList", &code)) return code != 0 ? code : KZKAL_ERR_BAD_PARAMETER;
    if (pageCount > request(description).size / kal::sim::pageSize()) return KZKAL_ERR_BAD_PARAMETER;
    request(description).pageLists.push_back({pageList, firstPage, pageCount});
    return 0;
}

extern "C" int32_t nKZKAL2280_tUserMemMap_mapPhysicalAddress(void* description, uint64_t address, uint64_t size,
                                                             uint32_t mode) {
    int32_t code = 0;
    if (kal::sim::shouldFail("tUserMemMap_mapPhysicalAddress", &code)) return code != 0 ? code : KZKAL_ERR_BAD_PARAMETER;
    if (size > request(description).size) return KZKAL_ERR_BAD_PARAMETER;
    request(description).physical.push_back({address, size, mode});
    return 0;
}
