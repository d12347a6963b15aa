// IO port 2's registers (control/status, link set-up, debug), reached one word at a time through
// the port accessor. Offset 0x00 is the same port register as the isolation port's 0x00.
#pragma once

#include "quolinTools/armgen/Quolin.h"
#include "quolinTools/armgen/registerMapDeclaration.h"
#include "quolinTools/portAccessor/portAccessorInterface.h"

namespace quolintools {

namespace nIOPort2RegMap {
// The PLL range of register 0x08; the values are the field's bit patterns.
enum IoPort2PllRange_t : uint32_t {};
}  // namespace nIOPort2RegMap

// clang-format off
// Bits 8 to 31 of two debug registers.
#define KZ_IO_PORT2_DEBUG_WORDS(F) F(_, 23, 8) F(_, 31, 24)

#define KZ_IO_PORT2_REGISTERS(R, TYPE, REG, ARRAY, F, FLAG) \
    /* register                     offset width kind initial keep fields */ \
    R(IoPort2ControlStatusRegister,  0x00, 32,  RW,  0,      ALL, FLAG(Enable, 0) FLAG(ControlBit1, 1) FLAG(ControlBit2, 2) \
                                                                  FLAG(_, 4) FLAG(_, 5) FLAG(_, 6) FLAG(StatusBit7, 7) FLAG(_, 8)) \
    R(IoPort2Register08,             0x08, 32,  RW,  0,      ALL, F(ConfigBits0to1, 1, 0) F((PllRange, IoPort2PllRange_t), 6, 4) \
                                                                  F(ConfigBits8to14, 14, 8) F(ConfigBits16to22, 22, 16) \
                                                                  F(ConfigBits24to29, 29, 24)) \
    R(IoPort2Register0C,             0x0C, 32,  RW,  0,      ALL, F(_, 1, 0)) \
    R(IoPort2Register10,             0x10, 32,  RW,  0,      ALL, F(_, 15, 0)) \
    R(IoPort2DebugReg0,              0x80, 32,  RO,  0,      ALL, F(_, 7, 0) F(_, 8) F(_, 9) F(_, 10) F(_, 11) F(_, 12) F(_, 13) \
                                                                  F(_, 14) F(_, 15) F(_, 17) F(_, 18) F(_, 19) F(_, 20) F(_, 21) \
                                                                  F(_, 22) F(_, 23) F(_, 24) F(_, 25) F(_, 26) F(_, 27) F(_, 28)) \
    R(IoPort2DebugReg1,              0x84, 32,  RO,  0,      ALL, KZ_IO_PORT2_DEBUG_WORDS(F)) \
    R(IoPort2DebugReg2,              0x88, 32,  RO,  0,      ALL, F(_, 0) F(_, 1) F(_, 2) F(_, 3) F(_, 4) F(_, 5) \
                                                                  KZ_IO_PORT2_DEBUG_WORDS(F)) \
    R(IoPort2DebugReg3,              0x8C, 32,  RO,  0,      ALL, F(_, 0) F(_, 1) F(_, 2) F(_, 9) F(_, 10) F(_, 11) F(_, 14) \
                                                                  F(_, 19))
// clang-format on

namespace nIOPort2RegMap {
ARM_DECLARE_REGISTERS(KZ_IO_PORT2_REGISTERS, ::arm::TableMap)
}  // namespace nIOPort2RegMap

inline constexpr arm::MapDesc kIOPort2Map =
    arm::mapDesc(nIOPort2RegMap::kRows, kBridgeMapVersion, "quolinTools/armgen/IOPort2RegMap", arm::kBridgePolicy);

template <uint32_t kOffset>
class tIOPort2RegMapWithOffset : public arm::DeclaredMap<nIOPort2RegMap::tRegisterSet, PortAccess, kIOPort2Map> {
public:
    using DeclaredMap::DeclaredMap;
};

}  // namespace quolintools
