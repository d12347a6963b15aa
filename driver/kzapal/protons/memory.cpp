#include "kzapal/protons/memory.h"

#include <cstdint>

#include "kzapal/protons/statusCodes.h"
#include "kzkal/memory.h"

namespace {

struct tAllocationHeader {
    uint64_t totalSize;
    uint64_t flag;
};
static_assert(sizeof(tAllocationHeader) == kAllocationHeaderSize, "allocation header is 16 bytes");

void* allocate(size_t size, nKZAPALS100::tStatus& status, bool flag) {
    if (size > SIZE_MAX - kAllocationHeaderSize) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusMemoryFull);
        return nullptr;
    }
    if (status.isFatal()) return nullptr;
    void* block = nKZKAL100_malloc(size + kAllocationHeaderSize);
    if (block == nullptr) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusMemoryFull);
        return nullptr;
    }
    auto* header = static_cast<tAllocationHeader*>(block);
    header->totalSize = size + kAllocationHeaderSize;
    header->flag = flag ? 1 : 0;
    return static_cast<uint8_t*>(block) + kAllocationHeaderSize;
}

void* allocatePlain(size_t size) {
    nKZAPALS100::tStatus discarded;
    return allocate(size, discarded, true);
}

void release(void* pointer) {
    if (pointer != nullptr) nKZKAL100_free(static_cast<uint8_t*>(pointer) - kAllocationHeaderSize);
}

}  // namespace

using kzvorn_driver::nKZAPAL000::tNullOnFailure;

// The plain forms replace the language's own operators; they and their tagged twins can return
// null, so the driver is built with -fcheck-new and its own code allocates only through the
// status-reporting forms. Hosted in a user-space process the plain forms serve everyone there, the
// C++ library and the sanitizers' runtimes included, so every allocation and release of the
// process has one owner.
void* operator new(size_t size) { return allocatePlain(size); }
void* operator new[](size_t size) { return allocatePlain(size); }
void* operator new(size_t size, const tNullOnFailure&) noexcept { return allocatePlain(size); }
void* operator new[](size_t size, const tNullOnFailure&) noexcept { return allocatePlain(size); }
void* operator new(size_t size, nKZAPALS100::tStatus& status, bool flag) noexcept {
    return allocate(size, status, flag);
}
void* operator new[](size_t size, nKZAPALS100::tStatus& status, bool flag) noexcept {
    return allocate(size, status, flag);
}

void operator delete(void* block) noexcept { release(block); }
void operator delete[](void* block) noexcept { release(block); }
void operator delete(void* block, size_t) noexcept { release(block); }
void operator delete[](void* block, size_t) noexcept { release(block); }
void operator delete(void* block, const tNullOnFailure&) noexcept { release(block); }
void operator delete[](void* block, const tNullOnFailure&) noexcept { release(block); }
void operator delete(void* block, nKZAPALS100::tStatus&, bool) noexcept { release(block); }
void operator delete[](void* block, nKZAPALS100::tStatus&, bool) noexcept { release(block); }
