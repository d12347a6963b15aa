// One power-monitor command window of the non-isolated FPGA (0x18 bytes): the table register the
// power controller programs, the command register whose strobes start an INA231 chip write (bit 19)
// or read (bit 22), the read-result register with its ready (28) and done (21) bits, and three
// measurement registers.
#pragma once

#include "kzvorn_regMaps/productRegisterMap.h"
#include "quolinTools/armgen/memorySpaceAccess.h"
#include "quolinTools/armgen/registerMapDeclaration.h"

namespace kzvorn_regmaps {

// clang-format off
#define KZ_INA231_POWER_MONITOR_REGISTERS(R, TYPE, REG, ARRAY, F, FLAG) \
    /* register                (offset, key)     width kind initial keep        fields */ \
    R(PowerMonitorTableReg,    (0x00, 0x32D2B7), 32,   WO,  0,      ALL,        F(_, 15, 0) F(_, 18, 16)) \
    R(Ina231ConfigReg,         (0x04, 0xEBA6EC), 32,   WO,  0,      0x1FB7FFFF, F(_, 15, 0) F(_, 18, 16) F(_, 19) F(_, 22) \
                                                                                F(_, 29) F(_, 30) F(_, 31)) \
    R(Ina231ReadReg,           (0x08, 0xEA03EC), 32,   RO,  0,      ALL,        F(_, 15, 0) F(_, 19, 16) F(_, 21) F(_, 27) \
                                                                                F(_, 28) F(_, 29) F(_, 30) F(_, 31)) \
    TYPE(tIna231MeasurementRegType,              32,   RO,  0,      ALL,        F(_, 15, 0) F(_, 16) F(_, 17)) \
    ARRAY(Ina231Measurement, tIna231MeasurementRegType, (0x0C, 0x120697, 0x63250D, 0x62AC29), 3, 4)
// clang-format on

namespace nIna231PowerMonitorRegMap {
ARM_DECLARE_REGISTERS(KZ_INA231_POWER_MONITOR_REGISTERS, ::arm::WindowedTableMap)
}  // namespace nIna231PowerMonitorRegMap

inline constexpr arm::MapDesc kIna231PowerMonitorMap =
    arm::mapDesc(nIna231PowerMonitorRegMap::kRows, kProductMapVersion,
                 "kzvorn_regMaps/TolvaneRegisterMap_Ina231PowerMonitorRegMap", arm::kProductPolicy);

// Embedded in the non-isolated FPGA map, which lays it out over its own accessor.
class tIna231PowerMonitorRegMap : public arm::DeclaredMap<nIna231PowerMonitorRegMap::tRegisterSet,
                                                          arm::MemorySpaceAccess, kIna231PowerMonitorMap> {
public:
    static constexpr uint32_t kSize = 0x18;

    tIna231PowerMonitorRegMap(const arm::MemorySpaceAccess::Accessor* accessor, arm::Window window);
    ~tIna231PowerMonitorRegMap() override;
};
static_assert(arm::extent(kIna231PowerMonitorMap) == tIna231PowerMonitorRegMap::kSize, "the window's registers");

}  // namespace kzvorn_regmaps
