// One measure unit of the non-isolated FPGA (0x60 bytes), for its three measurements u = 0 to 2:
// a configuration register made of strobes, a CIC filter configuration and two packet header and
// data words each.
#pragma once

#include "kzvorn_regMaps/productRegisterMap.h"
#include "quolinTools/armgen/memorySpaceAccess.h"
#include "quolinTools/armgen/registerMapDeclaration.h"

namespace kzvorn_regmaps {

// clang-format off
#define KZ_NISO_MEASURE_UNIT_REGISTERS(R, TYPE, REG, ARRAY, F, FLAG) \
    /* register type                        width kind initial keep        fields */ \
    TYPE(tNisoMeasureUnitConfigRegType,     32,   WO,  0,      0xFFFFFE3C, F(_, 0) F(_, 1) F(_, 6) F(_, 7) F(_, 8)) \
    TYPE(tCicFilterConfigRegType,           32,   RW,  0,      ALL,        F(_, 21, 0) F(_, 25, 24) F(_, 30, 28) F(_, 31)) \
    TYPE(tMeasurePacketHeaderType,          32,   RO,  0,      ALL,        F(_, 3, 0) F(_, 5, 4) F(_, 8, 6) F(_, 9) F(_, 11, 10)) \
    TYPE(tMeasurePacketDataType,            32,   RO,  0,      ALL,        F(_, 31, 0)) \
    /* register              type                           (offset, keys)                       count stride */ \
    ARRAY(NisoMeasureUnitConfig, tNisoMeasureUnitConfigRegType, (0x00, 0x0BAEC7, 0xFC5103, 0x8C5043), 3, 4) \
    ARRAY(CicFilterConfig,       tCicFilterConfigRegType,       (0x10, 0x6681B5, 0x464D90, 0x268BFE), 3, 4) \
    ARRAY(MeasurePacketHeader0,  tMeasurePacketHeaderType,      (0x20, 0x63E53D, 0x48AFF5, 0xE1DED3), 3, 4) \
    ARRAY(MeasurePacketData0,    tMeasurePacketDataType,        (0x30, 0xB6DABB, 0xCC6DD5, 0x2742DC), 3, 4) \
    ARRAY(MeasurePacketHeader1,  tMeasurePacketHeaderType,      (0x40, 0x987D1B, 0x9899F5, 0x572502), 3, 4) \
    ARRAY(MeasurePacketData1,    tMeasurePacketDataType,        (0x50, 0xFEE40D, 0xF3B223, 0xB714F1), 3, 4)
// clang-format on

namespace nTolvaneNisoMeasureUnitRegMap {
ARM_DECLARE_REGISTERS(KZ_NISO_MEASURE_UNIT_REGISTERS, ::arm::WindowedTableMap)
}  // namespace nTolvaneNisoMeasureUnitRegMap

inline constexpr arm::MapDesc kTolvaneNisoMeasureUnitMap =
    arm::mapDesc(nTolvaneNisoMeasureUnitRegMap::kRows, kProductMapVersion,
                 "kzvorn_regMaps/TolvaneRegisterMap_TolvaneNisoMeasureUnitRegMap", arm::kProductPolicy);

// Allocated and laid out by the non-isolated FPGA map, over its accessor.
class tTolvaneNisoMeasureUnitRegMap : public arm::DeclaredMap<nTolvaneNisoMeasureUnitRegMap::tRegisterSet,
                                                              arm::MemorySpaceAccess, kTolvaneNisoMeasureUnitMap> {
public:
    static constexpr uint32_t kSize = 0x60;

    tTolvaneNisoMeasureUnitRegMap(const arm::MemorySpaceAccess::Accessor* accessor, arm::Window window);
    ~tTolvaneNisoMeasureUnitRegMap() override;
};
static_assert(arm::extent(kTolvaneNisoMeasureUnitMap) <= tTolvaneNisoMeasureUnitRegMap::kSize, "the unit's registers");

}  // namespace kzvorn_regmaps
