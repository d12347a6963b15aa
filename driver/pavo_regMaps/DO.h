// The timing block's digital-output registers: a windowed map that carries the output timer as a
// sub-map through its walks and `reinitialize`. Bit 7 of key 0x04 drives the flash write-protect
// line.
#pragma once

#include "quolinTools/armgen/memorySpaceAccess.h"
#include "quolinTools/armgen/registerMap.h"
#include "pavo_regMaps/OutTimer.h"

namespace pavo_regmaps {

namespace tables {
using namespace arm::table;
// clang-format off
inline constexpr arm::RegisterDesc kDO[] = {
    // key  width kind    fields                                          initial
    reg(0x00, 32, RO,     "15-0"),                                        // tReadRegister00
    reg(0x00,  8, WO,     "0f 1f 2f"),                                    // tQMAR_DIO_Enable_Register
    reg(0x02,  8, WO,     "7-4"),                                         // tRegister02
    reg(0x04, 32, WO,     "31-0"),                                        // tRegister04
    reg(0x08, 32, WO,     "0..31"),                                       // tDIO_Direction_Register
    reg(0x0C, 32, CMD_WO, "31-0"),                                        // tRegister0C
    reg(0x10, 32, WO,     "31-0"),                                        // tRegister10
    reg(0x14, 32, WO,     "0f 1f 13-12 15-14",                     0x80), // tDO_Mode_Register
    reg(0x18, 32, WO,     "8f 9f 15-10 16f 17 23-18 25 31-26"),           // tDO_Trigger_Select_Register
    reg(0x1C, 32, CMD_WO, "31-0"),                                        // tRegister1C
    reg(0x20, 32, CMD_WO, "31-0"),                                        // tRegister20
    reg(0x24, 32, WO,     "31-0"),                                        // tRegister24
    reg(0x28, 32, WO,     "2x16"),                                        // tDO_WDT_ModeSelect1_Register
    reg(0x2C, 32, WO,     "2x16"),                                        // tDO_WDT_ModeSelect2_Register
    reg(0x30, 16, CMD_WO, "11-0"),                                        // tRegister30
};
// clang-format on
}  // namespace tables

inline constexpr arm::MapDesc kDOMap =
    arm::mapDesc(tables::kDO, kTimingBlockMapVersion, "pavo_regMaps/DO", arm::kBridgePolicy);

// The output timer's registers follow the digital-output registers in the timing block.
constexpr uint32_t kOutTimerBase = 0x34;

class tDO : public arm::MapOf<arm::rowCount(tables::kDO), arm::MemorySpaceAccess, arm::WindowedTableMap> {
public:
    tDO(arm::MemorySpaceAccess::Accessor* accessor, uint32_t base = 0, uint32_t first = 0,
        uint32_t count = 0xFFFFFFFF)
        : MapOf(kDOMap, accessor, arm::Window{base, first, count}),
          outTimer_(accessor, kOutTimerBase, 0, 0xFFFFFFFF) {
        subMaps_[0] = &outTimer_;
        attachSubMaps(subMaps_, 1);
    }

    tOutTimer& OutTimer() { return outTimer_; }

    ARM_REGISTER(tReadRegister00, ReadRegister00, tables::kDO, 0x00, true)
    ARM_REGISTER(tQMAR_DIO_Enable_Register, QMAR_DIO_Enable_Register, tables::kDO, 0x00, false)
    ARM_REGISTER(tRegister02, Register02, tables::kDO, 0x02, false)
    ARM_REGISTER(tRegister04, Register04, tables::kDO, 0x04, false)
    ARM_REGISTER(tDIO_Direction_Register, DIO_Direction_Register, tables::kDO, 0x08, false)
    ARM_REGISTER(tRegister0C, Register0C, tables::kDO, 0x0C, false)
    ARM_REGISTER(tRegister10, Register10, tables::kDO, 0x10, false)
    ARM_REGISTER(tDO_Mode_Register, DO_Mode_Register, tables::kDO, 0x14, false)
    ARM_REGISTER(tDO_Trigger_Select_Register, DO_Trigger_Select_Register, tables::kDO, 0x18, false)
    ARM_REGISTER(tRegister1C, Register1C, tables::kDO, 0x1C, false)
    ARM_REGISTER(tRegister20, Register20, tables::kDO, 0x20, false)
    ARM_REGISTER(tRegister24, Register24, tables::kDO, 0x24, false)
    ARM_REGISTER(tDO_WDT_ModeSelect1_Register, DO_WDT_ModeSelect1_Register, tables::kDO, 0x28, false)
    ARM_REGISTER(tDO_WDT_ModeSelect2_Register, DO_WDT_ModeSelect2_Register, tables::kDO, 0x2C, false)
    ARM_REGISTER(tRegister30, Register30, tables::kDO, 0x30, false)

private:
    tOutTimer outTimer_;
    arm::TableMap* subMaps_[1];
};

}  // namespace pavo_regmaps
