// A flash that is erased and written a whole sector at a time.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"

namespace devicewindow {

class FlashController {
public:
    using tStatus = nKZAPALS100::tStatus;

    // Both sizes must be powers of two and the flash a whole number of sectors; the values are kept
    // even when a check fails.
    FlashController(uint64_t size, uint64_t sectorSize, tStatus& status);
    FlashController(const FlashController&) = delete;
    FlashController& operator=(const FlashController&) = delete;
    virtual ~FlashController() {}

    // Both move one whole sector; the address must be a sector start inside the flash.
    virtual void readSector(uint64_t sectorAddress, char* destination, tStatus& status) = 0;
    virtual void writeSector(uint64_t sectorAddress, const char* source, tStatus& status) = 0;

    virtual uint64_t getSize() { return size_; }
    virtual uint64_t getSectorSize() { return sectorSize_; }
    virtual uint64_t getNumberOfSectors() { return sectorSize_ == 0 ? 0 : size_ / sectorSize_; }
    // An address equal to the size gives the number of sectors; beyond it -240029 and 0xFFFFFFFF.
    virtual uint64_t sectorIndex(uint64_t address, tStatus& status);
    virtual uint64_t sectorAddress(uint64_t index, tStatus& status);

    // -240029 unless the address is the start of a sector inside the flash.
    void checkSectorAddress(uint64_t address, tStatus& status);

protected:
    uint64_t size_;
    uint64_t sectorSize_;
};

}  // namespace devicewindow
