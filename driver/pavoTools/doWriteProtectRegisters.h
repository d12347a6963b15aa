// The write-protect line's registers as the digital-output map holds them: the data register
// (key 0x04) and the direction register (key 0x08).
#pragma once

#include <cstdint>

#include "pavoTools/writeProtectRegisters.h"
#include "pavo_regMaps/DO.h"

namespace pavotools {

class DOWriteProtectRegisters : public WriteProtectRegisters {
public:
    // The map is not owned.
    explicit DOWriteProtectRegisters(pavo_regmaps::tDO& map) : map_(&map) {}

    // Another key is refused with -52005.
    void updateRegister(uint32_t key, uint32_t setBits, uint32_t clearBits, nKZAPALS100::tStatus& status) override;

private:
    pavo_regmaps::tDO* map_;
};

}  // namespace pavotools
