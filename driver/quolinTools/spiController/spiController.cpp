#include "quolinTools/spiController/spiController.h"

#include "kzapal/protons/statusCodes.h"
#include "kzkal/regmem.h"

namespace quolintools {

namespace {

using kzvorn_driver::nKZAPAL000::tAutoLock;

constexpr uint32_t kDataBits = 8;

}  // namespace

uint8_t* SPIController::dataWindowAddress(uint8_t* mapped, uint64_t mappedSize, uint32_t windowRegister,
                                          tStatus& status) {
    if (status.isFatal()) return nullptr;
    const uint64_t position = windowPosition(windowRegister);
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
    setupFormat(opcode, opcodeBits, addressBits, dataBits, direction, status);
}

void SPIController::setupFormat(uint8_t opcode, uint32_t opcodeBits, uint32_t addressBits, uint32_t dataBits,
                                Direction direction, tStatus& status) {
    // A write set-up leaves the cleared read bit in the shadow for the next read set-up to send.
    spi_->ReadTransferRegister().setRead(direction == kRead, status);
    auto format = direction == kRead ? spi_->ReadTransferRegister() : spi_->WriteTransferRegister();
    format.setOpcodeBitCount(opcodeBits, status)
        .setBits13_8(0, status)
        .setDataBitCount(dataBits, status)
        .setAddressBitCount(addressBits, status)
        .flush(status);
    auto opcodes = spi_->OpcodeRegister();
    if (direction == kRead)
        opcodes.setReadOpcode(opcode, status);
    else
        opcodes.setWriteOpcode(opcode, status);
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

void SPIController::readBytes(uint8_t opcode, uint32_t opcodeBits, uint32_t address, uint32_t addressBits,
                              uint8_t* destination, uint64_t count, tStatus& status) {
    uint64_t i = 0;
    if (status.isNotFatal()) {
        tAutoLock hold(lock_);
        for (; i < count; ++i) {
            const uint32_t at = address + static_cast<uint32_t>(i);
            uint8_t* window = windowAt(at, status);
            if (i == 0)
                setupTransfer(opcode, opcodeBits, at, addressBits, kDataBits, kRead, status);
            else
                window_->WindowAddressRegister().writeRegister(at, status, true);
            if (status.isFatal()) break;
            destination[i] = nKZKAL100_memoryRead8(window);
        }
    }
    for (; i < count; ++i) destination[i] = 0;
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
