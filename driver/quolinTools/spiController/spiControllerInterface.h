// One-byte SPI transfers on the bridge's configuration port: an opcode, an optional address and an
// optional data byte. The serial flash reaches its chip only through these operations.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"

namespace quolintools {

class SPIControllerInterface {
public:
    using tStatus = nKZAPALS100::tStatus;

    virtual ~SPIControllerInterface() {}
    // Returns the data byte read (0 when the status already holds an error).
    virtual uint8_t readByte(uint8_t opcode, uint32_t opcodeBits, uint32_t address, uint32_t addressBits,
                             tStatus& status) = 0;
    // Reads `count` bytes from consecutive addresses, one transfer each; from the byte whose
    // transfer fails on (or all, when the status already holds an error), the bytes read 0.
    virtual void readBytes(uint8_t opcode, uint32_t opcodeBits, uint32_t address, uint32_t addressBits,
                           uint8_t* destination, uint64_t count, tStatus& status) {
        for (uint64_t i = 0; i < count; ++i)
            destination[i] = readByte(opcode, opcodeBits, address + static_cast<uint32_t>(i), addressBits, status);
    }
    virtual void writeByte(uint8_t opcode, uint32_t opcodeBits, uint32_t address, uint32_t addressBits, uint8_t data,
                           tStatus& status) = 0;
    virtual void command(uint8_t opcode, uint32_t opcodeBits, tStatus& status) = 0;
    virtual void writeByteNoAddress(uint8_t opcode, uint32_t opcodeBits, uint8_t data, tStatus& status) = 0;
    virtual void addressedNoData(uint8_t opcode, uint32_t opcodeBits, uint32_t address, uint32_t addressBits,
                                 tStatus& status) = 0;
};

}  // namespace quolintools
