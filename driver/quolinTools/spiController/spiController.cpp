#include "quolinTools/spiController/spiController.h"

#include "kzapal/protons/statusCodes.h"
#include "kzkal/regmem.h"

namespace quolintools {

namespace {

using kzvorn_driver::nKZAPAL000::tAutoLock;

// Transfer format fields by their lowest bit.
constexpr unsigned kOpcodeBitsField = 0;
constexpr unsigned kReservedField = 8;
constexpr unsigned kAddressBitsField = 16;
constexpr unsigned kDataBitsField = 24;
constexpr unsigned kReadField = 31;
// Opcode register fields.
constexpr unsigned kWriteOpcodeField = 0;
constexpr unsigned kReadOpcodeField = 16;

constexpr uint32_t kDataBits = 8;

}  // namespace

uint8_t* SPIController::dataWindowAddress(uint8_t* mapped, uint64_t mappedSize, uint32_t windowRegister,
                                          tStatus& status) {
    if (status.isFatal()) return nullptr;
    const uint64_t position = windowRegister & ~0xFFu;
    if (mapped == nullptr || position > mappedSize || mappedSize - position < kDataWindowSize) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusResourceNotFound);
        return nullptr;
    }
    return mapped + position;
}

SPIController::SPIController(tSpiMap* spi, tWindowMap* window, uint8_t* const* dataWindow, tStatus& status)
    : spi_(spi), window_(window), dataWindow_(dataWindow), lock_(status) {}

uint8_t* SPIController::windowAt(uint32_t address, tStatus& status) const {
    if (status.isFatal()) return nullptr;
    if (*dataWindow_ == nullptr) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusResourceNotFound);
        return nullptr;
    }
    return *dataWindow_ + (address & (kDataWindowSize - 1));
}

void SPIController::setupTransfer(uint8_t opcode, uint32_t opcodeBits, uint32_t address, uint32_t addressBits,
                                  uint32_t dataBits, Direction direction, tStatus& status) {
    window_->WindowAddressRegister().writeRegister(address, status, true);
    // A write set-up leaves the cleared read bit in the shadow for the next read set-up to send.
    auto readFormat = spi_->ReadTransferRegister();
    readFormat.setField(kReadField, direction == kRead ? 1 : 0, status);
    arm::Register format = direction == kRead ? arm::Register(readFormat) : spi_->WriteTransferRegister();
    format.setField(kOpcodeBitsField, opcodeBits, status);
    format.setField(kReservedField, 0, status);
    format.setField(kDataBitsField, dataBits, status);
    format.setField(kAddressBitsField, addressBits, status);
    format.flush(status);
    auto opcodes = spi_->OpcodeRegister();
    opcodes.setField(direction == kRead ? kReadOpcodeField : kWriteOpcodeField, opcode, status);
    opcodes.flush(status);
}

void SPIController::writeTransfer(uint8_t opcode, uint32_t opcodeBits, uint32_t address, uint32_t addressBits,
                                  uint32_t dataBits, uint8_t data, tStatus& status) {
    if (status.isFatal()) return;
    tAutoLock hold(lock_);
    uint8_t* at = windowAt(address, status);
    setupTransfer(opcode, opcodeBits, address, addressBits, dataBits, kWrite, status);
    if (status.isNotFatal()) nKZKAL100_memoryWrite8(at, data);
}

uint8_t SPIController::readByte(uint8_t opcode, uint32_t opcodeBits, uint32_t address, uint32_t addressBits,
                                tStatus& status) {
    if (status.isFatal()) return 0;
    tAutoLock hold(lock_);
    uint8_t* at = windowAt(address, status);
    setupTransfer(opcode, opcodeBits, address, addressBits, kDataBits, kRead, status);
    if (status.isFatal()) return 0;
    return nKZKAL100_memoryRead8(at);
}

void SPIController::writeByte(uint8_t opcode, uint32_t opcodeBits, uint32_t address, uint32_t addressBits,
                              uint8_t data, tStatus& status) {
    writeTransfer(opcode, opcodeBits, address, addressBits, kDataBits, data, status);
}

void SPIController::command(uint8_t opcode, uint32_t opcodeBits, tStatus& status) {
    writeTransfer(opcode, opcodeBits, 0, 0, 0, 0, status);
}

void SPIController::writeByteNoAddress(uint8_t opcode, uint32_t opcodeBits, uint8_t data, tStatus& status) {
    writeByte(opcode, opcodeBits, 0, 0, data, status);
}

void SPIController::addressedNoData(uint8_t opcode, uint32_t opcodeBits, uint32_t address, uint32_t addressBits,
                                    tStatus& status) {
    writeTransfer(opcode, opcodeBits, address, addressBits, 0, 0, status);
}

}  // namespace quolintools
