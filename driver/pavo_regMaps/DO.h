// The timing block's digital-output registers: a windowed map that carries the output timer as a
// sub-map through its walks and `reinitialize`. Bit 7 of key 0x04 drives the flash write-protect
// line.
#pragma once

#include "quolinTools/armgen/memorySpaceAccess.h"
#include "quolinTools/armgen/registerMapDeclaration.h"
#include "pavo_regMaps/OutTimer.h"

namespace pavo_regmaps {

// clang-format off
#define KZ_DO_REGISTERS(R, TYPE, REG, ARRAY, F, FLAG) \
    /* register                    key  width kind    initial keep fields */ \
    R(ReadRegister00,              0x00, 32,  RO,     0,      ALL, F(_, 15, 0)) \
    R(QMAR_DIO_Enable_Register,    0x00,  8,  WO,     0,      ALL, FLAG(_, 0) FLAG(_, 1) FLAG(_, 2)) \
    R(Register02,                  0x02,  8,  WO,     0,      ALL, F(_, 7, 4)) \
    R(Register04,                  0x04, 32,  WO,     0,      ALL, F(_, 31, 0)) \
    R(DIO_Direction_Register,      0x08, 32,  WO,     0,      ALL, F(_, 0) F(_, 1) F(_, 2) F(_, 3) F(_, 4) F(_, 5) F(_, 6) F(_, 7) \
                                                                   F(_, 8) F(_, 9) F(_, 10) F(_, 11) F(_, 12) F(_, 13) F(_, 14) \
                                                                   F(_, 15) F(_, 16) F(_, 17) F(_, 18) F(_, 19) F(_, 20) F(_, 21) \
                                                                   F(_, 22) F(_, 23) F(_, 24) F(_, 25) F(_, 26) F(_, 27) F(_, 28) \
                                                                   F(_, 29) F(_, 30) F(_, 31)) \
    R(Register0C,                  0x0C, 32,  CMD_WO, 0,      ALL, F(_, 31, 0)) \
    R(Register10,                  0x10, 32,  WO,     0,      ALL, F(_, 31, 0)) \
    R(DO_Mode_Register,            0x14, 32,  WO,     0x80,   ALL, FLAG(_, 0) FLAG(_, 1) F(_, 13, 12) F(_, 15, 14)) \
    R(DO_Trigger_Select_Register,  0x18, 32,  WO,     0,      ALL, FLAG(_, 8) FLAG(_, 9) F(_, 15, 10) FLAG(_, 16) F(_, 17) \
                                                                   F(_, 23, 18) F(_, 25) F(_, 31, 26)) \
    R(Register1C,                  0x1C, 32,  CMD_WO, 0,      ALL, F(_, 31, 0)) \
    R(Register20,                  0x20, 32,  CMD_WO, 0,      ALL, F(_, 31, 0)) \
    R(Register24,                  0x24, 32,  WO,     0,      ALL, F(_, 31, 0)) \
    R(DO_WDT_ModeSelect1_Register, 0x28, 32,  WO,     0,      ALL, ARM_SIXTEEN_2_BIT_FIELDS(F)) \
    R(DO_WDT_ModeSelect2_Register, 0x2C, 32,  WO,     0,      ALL, ARM_SIXTEEN_2_BIT_FIELDS(F)) \
    R(Register30,                  0x30, 16,  CMD_WO, 0,      ALL, F(_, 11, 0))
// clang-format on

namespace nDO {
ARM_DECLARE_REGISTERS(KZ_DO_REGISTERS, ::arm::WindowedTableMap)
}  // namespace nDO

inline constexpr arm::MapDesc kDOMap = arm::mapDesc(nDO::kRows, kTimingBlockMapVersion, "pavo_regMaps/DO", arm::kBridgePolicy);

// The output timer's registers follow the digital-output registers in the timing block.
constexpr uint32_t kOutTimerBase = 0x34;

class tDO : public arm::DeclaredMap<nDO::tRegisterSet, arm::MemorySpaceAccess, kDOMap> {
public:
    tDO(arm::MemorySpaceAccess::Accessor* accessor, uint32_t base = 0, uint32_t first = 0,
        uint32_t count = 0xFFFFFFFF)
        : DeclaredMap(accessor, arm::Window{base, first, count}), outTimer_(accessor, kOutTimerBase, 0, 0xFFFFFFFF) {
        subMaps_[0] = &outTimer_;
        attachSubMaps(subMaps_, 1);
    }

    tOutTimer& OutTimer() { return outTimer_; }

private:
    tOutTimer outTimer_;
    arm::TableMap* subMaps_[1];
};

}  // namespace pavo_regmaps
