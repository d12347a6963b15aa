// The switched bus-interface module (bridge 0x600-0x700): its control and data registers carry
// the handshake of the indirect port accesses.
#pragma once

#include "quolinTools/armgen/memorySpaceAccess.h"
#include "quolinTools/armgen/Quolin.h"
#include "quolinTools/armgen/registerMapDeclaration.h"

namespace quolintools {

// clang-format off
// Bits 8 to 23 of 0x680 and of the port control word: the port selection.
#define KZ_SWITCHED_QUOLIN_BIM_PORT_SELECT(F) \
    F(PortSelectLow, 10, 8) F(_, 13, 11) F(_, 16, 14) F(_, 19, 17) F(PortSelectHigh, 23, 20)

#define KZ_SWITCHED_QUOLIN_BIM_REGISTERS(R, TYPE, REG, ARRAY, F, FLAG) \
    /* register        offset width kind initial keep        fields */ \
    R(Reg644,           0x644, 32,  RW,  0,      ALL,        F(_, 11, 0) FLAG(_, 16)) \
    R(Reg680,           0x680, 32,  WO,  0,      ALL,        KZ_SWITCHED_QUOLIN_BIM_PORT_SELECT(F)) \
    /* the port control word: bits 0 and 1 are strobes */ \
    R(ConfigControlReg, 0x688, 32,  RW,  0,      0xFFFFFFFC, FLAG(WriteStrobe, 0) FLAG(ReadStrobe, 1) FLAG(ReadDone, 2) \
                                                             KZ_SWITCHED_QUOLIN_BIM_PORT_SELECT(F) F(RegisterOffset, 31, 24)) \
    R(ConfigDataReg,    0x68C, 32,  RW,  0,      ALL,        F(_, 31, 0)) \
    R(ReadReg694,       0x694, 32,  RO,  0,      ALL,        F(_, 31, 0)) \
    R(Reg698,           0x698, 32,  RW,  0,      ALL,        F(_, 31, 0)) \
    R(Reg6A4,           0x6A4, 32,  RW,  0,      ALL,        F(_, 31, 0)) \
    R(ReadReg600,       0x600, 32,  RO,  0,      ALL,        F(_, 7, 0) F(_, 15, 8) F(_, 23, 16)) \
    R(Reg604,           0x604, 32,  RW,  0,      ALL,        FLAG(_, 1) F(_, 7, 4) F(_, 12, 8)) \
    R(ReadReg700,       0x700, 32,  RO,  0,      ALL,        F(_, 2, 0))
// clang-format on

namespace nSwitchedQuolinBimRegMap {
ARM_DECLARE_REGISTERS(KZ_SWITCHED_QUOLIN_BIM_REGISTERS, ::arm::TableMap)
}  // namespace nSwitchedQuolinBimRegMap

inline constexpr arm::MapDesc kSwitchedQuolinBimMap =
    arm::mapDesc(nSwitchedQuolinBimRegMap::kRows, kBridgeMapVersion, "quolinTools/armgen/SwitchedQuolinBimRegMap",
                 arm::kBridgePolicy);

template <uint32_t kOffset>
class tSwitchedQuolinBimRegMapWithOffset
    : public arm::DeclaredMap<nSwitchedQuolinBimRegMap::tRegisterSet, arm::MemorySpaceAccess, kSwitchedQuolinBimMap> {
public:
    using DeclaredMap::DeclaredMap;
};

}  // namespace quolintools
