// The configuration port's SPI master: transfer formats and opcodes (at the bridge's 0x580).
#pragma once

#include "quolinTools/armgen/memorySpaceAccess.h"
#include "quolinTools/armgen/registerMap.h"
#include "quolinTools/armgen/Quolin.h"

namespace quolintools {

namespace tables {
using namespace arm::table;
// One-bit fields without "f" take bit 0 of the value.
// clang-format off
inline constexpr arm::RegisterDesc kQuolinConfigPortSPI[] = {
    // offset width kind fields
    reg(0x0, 32, RW, "7-0 13-8 14 15 21-16 22 23 29-24 31f"),          // tRegister00
    reg(0x4, 32, RW, "4-0 5f 6 7f 13-8 14f 15 21-16 22f 23f 30-24 31f"),  // tReadTransferRegister
    reg(0x8, 32, RW, "4-0 5f 6 7f 13-8 14f 15 21-16 22f 23f 30-24 31f"),  // tWriteTransferRegister
    reg(0xC, 32, RW, "7-0 23-16"),                                      // tOpcodeRegister
};
// clang-format on
}  // namespace tables

inline constexpr arm::MapDesc kQuolinConfigPortSPIMap = arm::mapDesc(
    tables::kQuolinConfigPortSPI, kBridgeMapVersion, "quolinTools/armgen/QuolinConfigPortSPI", arm::kBridgePolicy);

template <uint32_t kOffset>
class tQuolinConfigPortSPIWithOffset
    : public arm::MapOf<arm::rowCount(tables::kQuolinConfigPortSPI), arm::MemorySpaceAccess> {
public:
    explicit tQuolinConfigPortSPIWithOffset(arm::MemorySpaceAccess::Accessor* accessor)
        : MapOf(kQuolinConfigPortSPIMap, accessor) {}

    ARM_REGISTER(tRegister00, Register00, tables::kQuolinConfigPortSPI, 0x0, false)
    ARM_REGISTER(tReadTransferRegister, ReadTransferRegister, tables::kQuolinConfigPortSPI, 0x4, false)
    ARM_REGISTER(tWriteTransferRegister, WriteTransferRegister, tables::kQuolinConfigPortSPI, 0x8, false)
    ARM_REGISTER(tOpcodeRegister, OpcodeRegister, tables::kQuolinConfigPortSPI, 0xC, false)
};

}  // namespace quolintools
