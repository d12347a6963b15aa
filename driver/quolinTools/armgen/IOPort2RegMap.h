// IO port 2's registers (control/status, link set-up, debug), reached one word at a time through
// the port accessor. Offset 0x00 is the same port register as the isolation port's 0x00.
#pragma once

#include "quolinTools/armgen/registerMap.h"
#include "quolinTools/armgen/Quolin.h"
#include "quolinTools/portAccessor/portAccessorInterface.h"

namespace quolintools {

namespace nIOPort2RegMap {
// The PLL range of register 0x08 bits 4-6; the values are the field's bit patterns.
enum IoPort2PllRange_t : uint32_t {};
}  // namespace nIOPort2RegMap

namespace tables {
using namespace arm::table;
// clang-format off
inline constexpr arm::RegisterDesc kIOPort2[] = {
    // offset width kind fields
    reg(0x00, 32, RW, "0f 1f 2f 4..8f"),             // tIoPort2ControlStatusRegister
    reg(0x08, 32, RW, "1-0 6-4 14-8 22-16 29-24"),   // tIoPort2Register08
    reg(0x0C, 32, RW, "1-0"),                        // tIoPort2Register0C
    reg(0x10, 32, RW, "15-0"),                       // tIoPort2Register10
    reg(0x80, 32, RO, "7-0 8..15 17..28"),           // tIoPort2DebugReg0
    reg(0x84, 32, RO, "23-8 31-24"),                 // tIoPort2DebugReg1
    reg(0x88, 32, RO, "0..5 23-8 31-24"),            // tIoPort2DebugReg2
    reg(0x8C, 32, RO, "0 1 2 9 10 11 14 19"),        // tIoPort2DebugReg3
};
// clang-format on
}  // namespace tables

inline constexpr arm::MapDesc kIOPort2Map =
    arm::mapDesc(tables::kIOPort2, kBridgeMapVersion, "quolinTools/armgen/IOPort2RegMap", arm::kBridgePolicy);

template <uint32_t kOffset>
class tIOPort2RegMapWithOffset : public arm::MapOf<arm::rowCount(tables::kIOPort2), PortAccess> {
public:
    explicit tIOPort2RegMapWithOffset(PortAccessorInterface* accessor) : MapOf(kIOPort2Map, accessor) {}

    ARM_REGISTER(tIoPort2ControlStatusRegister, IoPort2ControlStatusRegister, tables::kIOPort2, 0x00, false)
    ARM_REGISTER(tIoPort2Register08, IoPort2Register08, tables::kIOPort2, 0x08, false)
    ARM_REGISTER(tIoPort2Register0C, IoPort2Register0C, tables::kIOPort2, 0x0C, false)
    ARM_REGISTER(tIoPort2Register10, IoPort2Register10, tables::kIOPort2, 0x10, false)
    ARM_REGISTER(tIoPort2DebugReg0, IoPort2DebugReg0, tables::kIOPort2, 0x80, true)
    ARM_REGISTER(tIoPort2DebugReg1, IoPort2DebugReg1, tables::kIOPort2, 0x84, true)
    ARM_REGISTER(tIoPort2DebugReg2, IoPort2DebugReg2, tables::kIOPort2, 0x88, true)
    ARM_REGISTER(tIoPort2DebugReg3, IoPort2DebugReg3, tables::kIOPort2, 0x8C, true)
};

}  // namespace quolintools
