// The timing block's output timer: a windowed map that lives inside the digital-output map.
#pragma once

#include "quolinTools/armgen/memorySpaceAccess.h"
#include "quolinTools/armgen/registerMapDeclaration.h"

namespace pavo_regmaps {

constexpr const char* kTimingBlockMapVersion = "200a13081315";

// clang-format off
// The interrupt registers' flags.
#define KZ_OUT_TIMER_INTERRUPTS(F, FLAG) \
    FLAG(_, 0) FLAG(_, 1) FLAG(_, 2) FLAG(_, 5) FLAG(_, 6) FLAG(_, 8) FLAG(_, 9) FLAG(_, 16) FLAG(_, 19) FLAG(_, 20) \
    FLAG(_, 23) FLAG(_, 24) FLAG(_, 25) FLAG(_, 26) FLAG(_, 29)

#define KZ_OUT_TIMER_REGISTERS(R, TYPE, REG, ARRAY, F, FLAG) \
    /* register                     key  width kind    initial keep        fields */ \
    /* unshadowed: writeRegister writes the value at once */ \
    R(Command_1_Register,           0x00, 32,  CMD_WO, 0,      ALL,        FLAG(_, 0) FLAG(_, 4) FLAG(_, 5) FLAG(_, 6) FLAG(_, 7) \
                                                                           FLAG(_, 8) FLAG(_, 9) FLAG(_, 12) FLAG(_, 14) FLAG(_, 15) \
                                                                           FLAG(_, 16) FLAG(_, 21) FLAG(_, 22) FLAG(_, 23) FLAG(_, 24) \
                                                                           FLAG(_, 25) FLAG(_, 26) FLAG(_, 29)) \
    R(Status_1_Register,            0x00, 32,  RO,     0,      ALL,        F(_, 0) F(_, 1) F(_, 2) F(_, 3) F(_, 4) F(_, 5) F(_, 6) \
                                                                           F(_, 7) F(_, 8) F(_, 9) F(_, 10) F(_, 11) F(_, 12) F(_, 13) \
                                                                           F(_, 14) F(_, 15) F(_, 17) F(_, 21) F(_, 22) F(_, 23) \
                                                                           F(_, 24) F(_, 25) F(_, 26) F(_, 27) F(_, 28) F(_, 29) \
                                                                           F(_, 30)) \
    R(Register04,                   0x04, 32,  WO,     0,      ALL,        F(_, 31, 0)) \
    R(ReadRegister04,               0x04, 32,  RO,     0,      ALL,        F(_, 31, 0)) \
    R(Register08,                   0x08, 32,  WO,     0,      ALL,        F(_, 31, 0)) \
    R(Register0C,                   0x0C, 32,  WO,     0,      ALL,        F(_, 31, 0)) \
    R(ReadRegister0C,               0x0C, 32,  RO,     0,      ALL,        F(_, 31, 0)) \
    R(Register10,                   0x10, 32,  WO,     0,      ALL,        F(_, 31, 0)) \
    R(Register14,                   0x14, 32,  WO,     0,      ALL,        F(_, 31, 0)) \
    R(ReadRegister14,               0x14, 32,  RO,     0,      ALL,        F(_, 31, 0)) \
    R(Register18,                   0x18, 32,  WO,     0,      ALL,        F(_, 31, 0)) \
    R(Mode_1_Register,              0x1C, 32,  WO,     0,      ALL,        F(_, 0) F(_, 1) F(_, 2) F(_, 3) F(_, 6, 4) F(_, 7) F(_, 10) \
                                                                           F(_, 11) F(_, 12) F(_, 13) F(_, 15, 14) FLAG(_, 16) F(_, 17) \
                                                                           F(_, 19) F(_, 26, 22) F(_, 28, 27)) \
    /* bit 18 is a strobe */ \
    R(Mode_2_Register,              0x20, 32,  WO,     0,      0xFFFBFFFF, F(_, 2) F(_, 3) F(_, 8, 7) F(_, 17) FLAG(_, 18) F(_, 19) \
                                                                           F(_, 20) F(_, 21) F(_, 22) FLAG(_, 26) F(_, 27) F(_, 29) \
                                                                           F(_, 30)) \
    R(Personal_Register,            0x24, 16,  WO,     0,      ALL,        F(_, 5) FLAG(_, 10) F(_, 13, 12) FLAG(_, 15)) \
    R(Output_Control_Register,      0x26, 16,  WO,     0x0001, ALL,        F(_, 0) F(_, 15, 8)) \
    R(Interrupt1_Register,          0x28, 32,  CMD_WO, 0,      ALL,        KZ_OUT_TIMER_INTERRUPTS(F, FLAG)) \
    R(Interrupt2_Register,          0x2C, 32,  CMD_WO, 0,      ALL,        KZ_OUT_TIMER_INTERRUPTS(F, FLAG)) \
    R(StatusPushingEnable_Register, 0x30, 32,  WO,     0,      ALL,        F(_, 1, 0) F(_, 3, 2) F(_, 5, 4) F(_, 11, 10) F(_, 13, 12) \
                                                                           F(_, 17, 16) F(_, 19, 18)) \
    R(Register34,                   0x34, 16,  CMD_WO, 0,      ALL,        FLAG(_, 0) FLAG(_, 1) FLAG(_, 2) FLAG(_, 3))
// clang-format on

namespace nOutTimer {
ARM_DECLARE_REGISTERS(KZ_OUT_TIMER_REGISTERS, ::arm::WindowedTableMap)
}  // namespace nOutTimer

inline constexpr arm::MapDesc kOutTimerMap =
    arm::mapDesc(nOutTimer::kRows, kTimingBlockMapVersion, "pavo_regMaps/OutTimer", arm::kBridgePolicy);

class tOutTimer : public arm::DeclaredMap<nOutTimer::tRegisterSet, arm::MemorySpaceAccess, kOutTimerMap> {
public:
    tOutTimer(arm::MemorySpaceAccess::Accessor* accessor, uint32_t base, uint32_t first, uint32_t count)
        : DeclaredMap(accessor, arm::Window{base, first, count}) {}
};

}  // namespace pavo_regmaps
