// The timing block's output timer: a windowed map that lives inside the digital-output map.
#pragma once

#include "quolinTools/armgen/memorySpaceAccess.h"
#include "quolinTools/armgen/registerMap.h"

namespace pavo_regmaps {

constexpr const char* kTimingBlockMapVersion = "200a13081315";

namespace tables {
using namespace arm::table;
// clang-format off
inline constexpr arm::RegisterDesc kOutTimer[] = {
    // key  width kind    fields                                                        initial keep
    reg(0x00, 32, CMD_WO, "0f 4..9f 12f 14..16f 21..26f 29f"),                        // tCommand_1_Register
    reg(0x00, 32, RO,     "0..15 17 21..30"),                                          // tStatus_1_Register
    reg(0x04, 32, WO,     "31-0"),                                                     // tRegister04
    reg(0x04, 32, RO,     "31-0"),                                                     // tReadRegister04
    reg(0x08, 32, WO,     "31-0"),                                                     // tRegister08
    reg(0x0C, 32, WO,     "31-0"),                                                     // tRegister0C
    reg(0x0C, 32, RO,     "31-0"),                                                     // tReadRegister0C
    reg(0x10, 32, WO,     "31-0"),                                                     // tRegister10
    reg(0x14, 32, WO,     "31-0"),                                                     // tRegister14
    reg(0x14, 32, RO,     "31-0"),                                                     // tReadRegister14
    reg(0x18, 32, WO,     "31-0"),                                                     // tRegister18
    reg(0x1C, 32, WO,     "0 1 2 3 6-4 7 10 11 12 13 15-14 16f 17 19 26-22 28-27"),   // tMode_1_Register
    reg(0x20, 32, WO,     "2 3 8-7 17 18f 19 20 21 22 26f 27 29 30",       0, 0xFFFBFFFF),  // tMode_2_Register
    reg(0x24, 16, WO,     "5 10f 13-12 15f"),                                          // tPersonal_Register
    reg(0x26, 16, WO,     "0 15-8",                                        0x0001),   // tOutput_Control_Register
    reg(0x28, 32, CMD_WO, "0..2f 5f 6f 8f 9f 16f 19f 20f 23..26f 29f"),               // tInterrupt1_Register
    reg(0x2C, 32, CMD_WO, "0..2f 5f 6f 8f 9f 16f 19f 20f 23..26f 29f"),               // tInterrupt2_Register
    reg(0x30, 32, WO,     "1-0 3-2 5-4 11-10 13-12 17-16 19-18"),                      // tStatusPushingEnable_Register
    reg(0x34, 16, CMD_WO, "0..3f"),                                                    // tRegister34
};
// clang-format on
}  // namespace tables

inline constexpr arm::MapDesc kOutTimerMap =
    arm::mapDesc(tables::kOutTimer, kTimingBlockMapVersion, "pavo_regMaps/OutTimer", arm::kBridgePolicy);

class tOutTimer : public arm::MapOf<arm::rowCount(tables::kOutTimer), arm::MemorySpaceAccess, arm::WindowedTableMap> {
public:
    tOutTimer(arm::MemorySpaceAccess::Accessor* accessor, uint32_t base, uint32_t first, uint32_t count)
        : MapOf(kOutTimerMap, accessor, arm::Window{base, first, count}) {}

    // Unshadowed: `writeRegister` writes the value at once.
    ARM_REGISTER(tCommand_1_Register, Command_1_Register, tables::kOutTimer, 0x00, false)
    ARM_REGISTER(tStatus_1_Register, Status_1_Register, tables::kOutTimer, 0x00, true)
    ARM_REGISTER(tRegister04, Register04, tables::kOutTimer, 0x04, false)
    ARM_REGISTER(tReadRegister04, ReadRegister04, tables::kOutTimer, 0x04, true)
    ARM_REGISTER(tRegister08, Register08, tables::kOutTimer, 0x08, false)
    ARM_REGISTER(tRegister0C, Register0C, tables::kOutTimer, 0x0C, false)
    ARM_REGISTER(tReadRegister0C, ReadRegister0C, tables::kOutTimer, 0x0C, true)
    ARM_REGISTER(tRegister10, Register10, tables::kOutTimer, 0x10, false)
    ARM_REGISTER(tRegister14, Register14, tables::kOutTimer, 0x14, false)
    ARM_REGISTER(tReadRegister14, ReadRegister14, tables::kOutTimer, 0x14, true)
    ARM_REGISTER(tRegister18, Register18, tables::kOutTimer, 0x18, false)
    ARM_REGISTER(tMode_1_Register, Mode_1_Register, tables::kOutTimer, 0x1C, false)
    ARM_REGISTER(tMode_2_Register, Mode_2_Register, tables::kOutTimer, 0x20, false)
    ARM_REGISTER(tPersonal_Register, Personal_Register, tables::kOutTimer, 0x24, false)
    ARM_REGISTER(tOutput_Control_Register, Output_Control_Register, tables::kOutTimer, 0x26, false)
    ARM_REGISTER(tInterrupt1_Register, Interrupt1_Register, tables::kOutTimer, 0x28, false)
    ARM_REGISTER(tInterrupt2_Register, Interrupt2_Register, tables::kOutTimer, 0x2C, false)
    ARM_REGISTER(tStatusPushingEnable_Register, StatusPushingEnable_Register, tables::kOutTimer, 0x30, false)
    ARM_REGISTER(tRegister34, Register34, tables::kOutTimer, 0x34, false)
};

}  // namespace pavo_regmaps
