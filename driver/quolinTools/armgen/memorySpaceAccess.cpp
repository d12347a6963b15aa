#include "quolinTools/armgen/memorySpaceAccess.h"

#include "kzapal/protons/memory64.h"
#include "kzkal/regmem.h"

namespace arm {

uint64_t MemorySpaceAccess::readRegister(uint32_t address, unsigned width, tStatus&) {
    const void* at = reinterpret_cast<const void*>(accessor_->base + address);
    switch (width) {
        case 8: return nKZKAL100_memoryRead8(at);
        case 16: return nKZKAL100_memoryRead16(at);
        case 64: return kzvorn_driver::nKZAPAL000::memoryRead64(at);
        default: return nKZKAL100_memoryRead32(at);
    }
}

void MemorySpaceAccess::writeRegister(uint32_t address, unsigned width, uint64_t value, tStatus&) {
    void* at = reinterpret_cast<void*>(accessor_->base + address);
    switch (width) {
        case 8: return nKZKAL100_memoryWrite8(at, uint8_t(value));
        case 16: return nKZKAL100_memoryWrite16(at, uint16_t(value));
        case 64: return kzvorn_driver::nKZAPAL000::memoryWrite64(at, value);
        default: return nKZKAL100_memoryWrite32(at, uint32_t(value));
    }
}

}  // namespace arm
