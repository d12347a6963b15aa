#include "nonVolatileMemoryTools/sst25vfFlashController.h"

#include "atut/poller.h"
#include "deviceWindow/statusCodes.h"

namespace nonvolatilememorytools {

namespace {

constexpr uint32_t kOpcodeBits = 8;
constexpr uint32_t kAddressBits = 24;

constexpr uint8_t kReadStatusRegister = 0x05;
constexpr uint8_t kWriteEnable = 0x06;
constexpr uint8_t kEnableWriteStatusRegister = 0x50;
constexpr uint8_t kWriteStatusRegister = 0x01;
constexpr uint8_t kRead = 0x03;
constexpr uint8_t kByteProgram = 0x02;
constexpr uint8_t kSectorErase = 0x20;

constexpr uint8_t kStatusBusy = 0x01;
constexpr uint8_t kStatusWriteEnableLatch = 0x02;
constexpr uint8_t kProtected = 0x0C;
constexpr uint8_t kUnprotected = 0x00;

// The chip's status waits: 1 us first, at most 10 us between reads, 30 ms in all; the time-out
// status is the controller's own.
constexpr auto kStatusWait = atut::Wait<atut::tSpinPrecise>().pausesUs(1, 10).deadlineUs(30000);

}  // namespace

SST25VFFlashController::SST25VFFlashController(uint64_t size, uint64_t sectorSize,
                                               quolintools::SPIControllerInterface& spi,
                                               pavotools::WriteProtectController& writeProtectLine,
                                               int32_t timeoutStatus, tStatus& status)
    : FlashController(size, sectorSize, status), spi_(&spi), writeProtectLine_(&writeProtectLine),
      timeoutStatus_(timeoutStatus) {
    if (status.isNotFatal() && sectorSize != kEraseSectorSize) KZ_SET_CODE(status, devicewindow::kStatusBadSectorSize);
}

uint8_t SST25VFFlashController::readStatus(tStatus& status) {
    return spi_->readByte(kReadStatusRegister, kOpcodeBits, 0, 0, status);
}

void SST25VFFlashController::waitForStatus(const atut::PollUntil& until, tStatus& status) {
    atut::waitUntil(kStatusWait.timeoutStatus(timeoutStatus_), [&](tStatus& s) { return readStatus(s); }, until,
                    status);
}

void SST25VFFlashController::writeEnable(tStatus& status) {
    spi_->command(kWriteEnable, kOpcodeBits, status);
    waitForStatus(atut::anyBitSet(kStatusWriteEnableLatch), status);
}

void SST25VFFlashController::waitWhileBusy(tStatus& status) {
    waitForStatus(atut::noBitSet(kStatusBusy | kStatusWriteEnableLatch), status);
}

void SST25VFFlashController::eraseSector(uint64_t address, tStatus& status) {
    checkSectorAddress(address, status);
    waitWhileBusy(status);
    writeEnable(status);
    spi_->addressedNoData(kSectorErase, kOpcodeBits, static_cast<uint32_t>(address), kAddressBits, status);
    waitWhileBusy(status);
}

void SST25VFFlashController::programByte(uint8_t value, uint64_t address, tStatus& status) {
    writeEnable(status);
    spi_->writeByte(kByteProgram, kOpcodeBits, static_cast<uint32_t>(address), kAddressBits, value, status);
    waitWhileBusy(status);
}

void SST25VFFlashController::writeStatusRegister(uint8_t value, tStatus& status) {
    spi_->command(kEnableWriteStatusRegister, kOpcodeBits, status);
    spi_->writeByteNoAddress(kWriteStatusRegister, kOpcodeBits, value, status);
}

void SST25VFFlashController::writeUnprotect(tStatus& status) {
    writeProtectLine_->unprotect(status);
    writeStatusRegister(kUnprotected, status);
}

void SST25VFFlashController::writeProtect(tStatus& status) {
    writeStatusRegister(kProtected, status);
    writeProtectLine_->protect(status);
}

uint8_t SST25VFFlashController::readByteAt(uint64_t address, tStatus& status) {
    return spi_->readByte(kRead, kOpcodeBits, static_cast<uint32_t>(address), kAddressBits, status);
}

void SST25VFFlashController::readSector(uint64_t sectorAddress, char* destination, tStatus& status) {
    checkSectorAddress(sectorAddress, status);
    if (status.isFatal()) return;
    // The byte of a failed transfer and every one after it read 0.
    spi_->readBytes(kRead, kOpcodeBits, static_cast<uint32_t>(sectorAddress), kAddressBits,
                    reinterpret_cast<uint8_t*>(destination), sectorSize_, status);
}

void SST25VFFlashController::writeSector(uint64_t sectorAddress, const char* source, tStatus& status) {
    checkSectorAddress(sectorAddress, status);
    if (status.isFatal()) return;
    writeUnprotect(status);
    eraseSector(sectorAddress, status);
    for (uint64_t i = 0; i < sectorSize_ && status.isNotFatal(); ++i) {
        programByte(static_cast<uint8_t>(source[i]), sectorAddress + i, status);
    }
    // Protected again after every attempt, a failed one too.
    tStatus protecting;
    writeProtect(protecting);
    nKZAPALS100::merge(status, protecting);
}

}  // namespace nonvolatilememorytools
