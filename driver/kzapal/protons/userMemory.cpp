#include "kzapal/protons/userMemory.h"

#include "kzapal/protons/statusCodes.h"
#include "kzkal/user.h"

namespace kzvorn_driver {
namespace nKZAPAL000 {

void tUserBuffer::readFromBuffer(uint64_t offset, void* destination, uint32_t size,
                                 nKZAPALS100::tStatus& status) const {
    if (status.isFatal()) return;
    KZ_SET_KERNEL_CODE(status, nKZKAL100_replicateInboundIOControlBuffer(destination, address_ + offset, size));
}

void tUserBuffer::writeToBuffer(uint64_t offset, const void* source, uint32_t size,
                                nKZAPALS100::tStatus& status) const {
    if (status.isFatal()) return;
    KZ_SET_KERNEL_CODE(status, nKZKAL100_replicateOutboundIOControlBuffer(address_ + offset, source, size));
}

tUserMemoryMap::tUserMemoryMap(tSession* session, void* description, uint16_t argument)
    : size_(nKZKAL220_tUserMemMap_getSize(description)),
      argument_(argument),
      access_((nKZKAL220_tUserMemMap_getAccessMode(description) & 2) != 0 ? 16 : 8),
      description_(description),
      virtualAddress_(nKZKAL220_tUserMemMap_getVirtualAddress(description)),
      session_(session) {}

void tUserMemoryMap::mapPageList(void* pageList, uint64_t offset, uint64_t size, nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return;
    const uint64_t page = nKZKAL100_getPageSize();
    if (offset % page != 0) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
        return;
    }
    KZ_SET_KERNEL_CODE(status,
                       nKZKAL220_tUserMemMap_mapPageList(description_, pageList, offset / page, (size + page - 1) / page));
}

void tUserMemoryMap::mapPhysicalAddress(uint64_t address, uint64_t size, uint32_t mode, nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return;
    if (address % nKZKAL100_getPageSize() != 0) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
        return;
    }
    KZ_SET_KERNEL_CODE(status, nKZKAL2280_tUserMemMap_mapPhysicalAddress(description_, address, size, mode == 1 ? 1 : 0));
}

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
