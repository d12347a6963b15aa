// The two 32-bit registers of the timing block's digital-output block that carry the flash's
// write-protect line: its direction and its level. The digital-output register map provides them.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"
#include "pavo_regMaps/DO.h"

namespace pavotools {

class WriteProtectRegisters {
public:
    // The digital-output map's keys of the two registers.
    static constexpr uint32_t kDataRegister = pavo_regmaps::nDO::kRows[pavo_regmaps::nDO::tRegisterSet::kRowOfRegister04].key;
    static constexpr uint32_t kDirectionRegister =
        pavo_regmaps::nDO::kRows[pavo_regmaps::nDO::tRegisterSet::kRowOfDIO_Direction_Register].key;

    virtual ~WriteProtectRegisters() {}
    // Sets and clears bits in the register's shadow, and writes the register when its shadow
    // changed or it is still marked changed.
    virtual void updateRegister(uint32_t key, uint32_t setBits, uint32_t clearBits, nKZAPALS100::tStatus& status) = 0;
};

}  // namespace pavotools
