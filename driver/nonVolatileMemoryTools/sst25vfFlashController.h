// The board's SST25VF serial flash on the bridge's SPI bus: sectors are read a byte at a time and
// rewritten by unprotecting the chip, erasing the sector, programming every byte and protecting the
// chip again.
#pragma once

#include <cstdint>

#include "atut/poller.h"
#include "deviceWindow/flashController.h"
#include "pavoTools/writeProtectController.h"
#include "quolinTools/spiController/spiControllerInterface.h"

namespace nonvolatilememorytools {

class SST25VFFlashController : public devicewindow::FlashController {
public:
    // The one sector size the chip's sector-erase command covers.
    static constexpr uint64_t kEraseSectorSize = 0x1000;

    // Neither the SPI controller nor the write-protect line is owned. A sector size other than the
    // erase size is refused (-240033): the erase would leave bytes unerased or erase neighbours.
    SST25VFFlashController(uint64_t size, uint64_t sectorSize, quolintools::SPIControllerInterface& spi,
                           pavotools::WriteProtectController& writeProtectLine, int32_t timeoutStatus,
                           tStatus& status);

    void readSector(uint64_t sectorAddress, char* destination, tStatus& status) override;
    void writeSector(uint64_t sectorAddress, const char* source, tStatus& status) override;

    uint8_t readStatus(tStatus& status);
    void writeEnable(tStatus& status);
    void waitWhileBusy(tStatus& status);
    void eraseSector(uint64_t address, tStatus& status);
    void programByte(uint8_t value, uint64_t address, tStatus& status);
    void writeProtect(tStatus& status);
    void writeUnprotect(tStatus& status);
    uint8_t readByteAt(uint64_t address, tStatus& status);

private:
    // Reads the status register until the poll condition holds for the masked bits; timeoutStatus_
    // when it does not within the chip's time-out.
    void waitForStatus(const atut::PollUntil& until, tStatus& status);
    void writeStatusRegister(uint8_t value, tStatus& status);

    quolintools::SPIControllerInterface* spi_;
    pavotools::WriteProtectController* writeProtectLine_;
    int32_t timeoutStatus_;
};

}  // namespace nonvolatilememorytools
