#include "deviceWindow/flashController.h"

#include "deviceWindow/statusCodes.h"

namespace devicewindow {

namespace {

constexpr uint64_t kNoSector = 0xFFFFFFFF;

bool isPowerOfTwo(uint64_t value) { return value != 0 && (value & (value - 1)) == 0; }

}  // namespace

FlashController::FlashController(uint64_t size, uint64_t sectorSize, tStatus& status)
    : size_(size), sectorSize_(sectorSize) {
    if (status.isFatal()) return;
    if (!isPowerOfTwo(size)) {
        KZ_SET_CODE(status, kStatusBadFlashSize);
    } else if (!isPowerOfTwo(sectorSize)) {
        KZ_SET_CODE(status, kStatusBadSectorSize);
    } else if (size % sectorSize != 0) {
        KZ_SET_CODE(status, kStatusFlashSizeNotSectorMultiple);
    }
}

uint64_t FlashController::sectorIndex(uint64_t address, tStatus& status) {
    if (status.isFatal()) return kNoSector;
    if (address > size_ || sectorSize_ == 0) {
        KZ_SET_CODE(status, kStatusAddressOutsideFlash);
        return kNoSector;
    }
    return address / sectorSize_;
}

uint64_t FlashController::sectorAddress(uint64_t index, tStatus& status) {
    if (status.isFatal()) return kNoSector;
    if (index >= getNumberOfSectors()) {
        KZ_SET_CODE(status, kStatusAddressOutsideFlash);
        return kNoSector;
    }
    return index * sectorSize_;
}

void FlashController::checkSectorAddress(uint64_t address, tStatus& status) {
    if (status.isFatal()) return;
    const uint64_t start = sectorAddress(sectorIndex(address, status), status);
    if (status.isNotFatal() && start != address) KZ_SET_CODE(status, kStatusAddressOutsideFlash);
}

}  // namespace devicewindow
