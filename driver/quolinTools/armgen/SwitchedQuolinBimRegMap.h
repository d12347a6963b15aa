// The switched bus-interface module (bridge 0x600-0x700): its control and data registers carry
// the handshake of the indirect port accesses.
#pragma once

#include "quolinTools/armgen/memorySpaceAccess.h"
#include "quolinTools/armgen/registerMap.h"
#include "quolinTools/armgen/Quolin.h"

namespace quolintools {

namespace tables {
using namespace arm::table;
// clang-format off
inline constexpr arm::RegisterDesc kSwitchedQuolinBim[] = {
    // offset width kind fields                                           initial keep
    reg(0x644, 32, RW, "11-0 16f"),                                       // tReg644
    reg(0x680, 32, WO, "10-8 13-11 16-14 19-17 23-20"),                   // tReg680
    reg(0x688, 32, RW, "0f 1f 2f 10-8 13-11 16-14 19-17 23-20 31-24", 0, 0xFFFFFFFC),  // tConfigControlReg
    reg(0x68C, 32, RW, "31-0"),                                           // tConfigDataReg
    reg(0x694, 32, RO, "31-0"),                                           // tReadReg694
    reg(0x698, 32, RW, "31-0"),                                           // tReg698
    reg(0x6A4, 32, RW, "31-0"),                                           // tReg6A4
    reg(0x600, 32, RO, "7-0 15-8 23-16"),                                 // tReadReg600
    reg(0x604, 32, RW, "1f 7-4 12-8"),                                    // tReg604
    reg(0x700, 32, RO, "2-0"),                                            // tReadReg700
};
// clang-format on
}  // namespace tables

inline constexpr arm::MapDesc kSwitchedQuolinBimMap =
    arm::mapDesc(tables::kSwitchedQuolinBim, kBridgeMapVersion, "quolinTools/armgen/SwitchedQuolinBimRegMap",
                 arm::kBridgePolicy);

template <uint32_t kOffset>
class tSwitchedQuolinBimRegMapWithOffset
    : public arm::MapOf<arm::rowCount(tables::kSwitchedQuolinBim), arm::MemorySpaceAccess> {
public:
    explicit tSwitchedQuolinBimRegMapWithOffset(arm::MemorySpaceAccess::Accessor* accessor)
        : MapOf(kSwitchedQuolinBimMap, accessor) {}

    ARM_REGISTER(tReg644, Reg644, tables::kSwitchedQuolinBim, 0x644, false)
    ARM_REGISTER(tReg680, Reg680, tables::kSwitchedQuolinBim, 0x680, false)
    ARM_REGISTER(tConfigControlReg, ConfigControlReg, tables::kSwitchedQuolinBim, 0x688, false)
    ARM_REGISTER(tConfigDataReg, ConfigDataReg, tables::kSwitchedQuolinBim, 0x68C, false)
    ARM_REGISTER(tReadReg694, ReadReg694, tables::kSwitchedQuolinBim, 0x694, true)
    ARM_REGISTER(tReg698, Reg698, tables::kSwitchedQuolinBim, 0x698, false)
    ARM_REGISTER(tReg6A4, Reg6A4, tables::kSwitchedQuolinBim, 0x6A4, false)
    ARM_REGISTER(tReadReg600, ReadReg600, tables::kSwitchedQuolinBim, 0x600, true)
    ARM_REGISTER(tReg604, Reg604, tables::kSwitchedQuolinBim, 0x604, false)
    ARM_REGISTER(tReadReg700, ReadReg700, tables::kSwitchedQuolinBim, 0x700, true)
};

}  // namespace quolintools
