#include "device/memorySpaceWindowAdapter.h"

#include "kzapal/protons/statusCodes.h"
#include "kzkal/memory.h"
#include "kzkal/regmem.h"

namespace kzvorn_driver {

namespace {
bool aligned(uint64_t index, uint64_t count, nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return false;
    if (index % 4 == 0 && count % 4 == 0) return true;
    KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
    return false;
}
}  // namespace

void* MemorySpaceAccessorToMemoryWindowAdapter::wordAt(uint64_t index, uint64_t k) const {
    return reinterpret_cast<void*>(accessor_.base + uint32_t(index + 4 * k));
}

void MemorySpaceAccessorToMemoryWindowAdapter::read(uint64_t index, uint64_t count, char* destination,
                                                    tStatus& status) {
    if (!aligned(index, count, status)) return;
    for (uint64_t k = 0; k < count / 4; ++k) {
        const uint32_t word = nKZKAL100_memoryRead32(wordAt(index, k));
        nKZKAL180_memCpy(destination + 4 * k, &word, 4);
    }
}

void MemorySpaceAccessorToMemoryWindowAdapter::write(const char* source, uint64_t index, uint64_t count,
                                                     tStatus& status) {
    if (!aligned(index, count, status)) return;
    for (uint64_t k = 0; k < count / 4; ++k) {
        uint32_t word;
        nKZKAL180_memCpy(&word, source + 4 * k, 4);
        nKZKAL100_memoryWrite32(wordAt(index, k), word);
    }
}

}  // namespace kzvorn_driver
