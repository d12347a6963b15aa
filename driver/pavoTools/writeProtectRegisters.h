// The two 32-bit registers of the timing block's digital-output block that carry the flash's
// write-protect line: its direction and its level. The digital-output register map provides them.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"

namespace pavotools {

class WriteProtectRegisters {
public:
    static constexpr uint32_t kDataRegister = 0x4;
    static constexpr uint32_t kDirectionRegister = 0x8;

    virtual ~WriteProtectRegisters() {}
    // Sets and clears bits in the register's shadow, and writes the register when its shadow
    // changed or it is still marked changed.
    virtual void updateRegister(uint32_t key, uint32_t setBits, uint32_t clearBits, nKZAPALS100::tStatus& status) = 0;
};

}  // namespace pavotools
