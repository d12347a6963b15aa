// The eight registers of one INA231 current and power monitor chip (register pointers 0 to 7),
// reached through a chassis power-monitor front-end accessor. The chip's registers are 16 bits
// wide: the accessor sends the low 16 bits of a write and returns a read zero-extended.
#pragma once

#include "kzvoltixSharedSource/frontEndAccessorInterface.h"
#include "kzvorn_regMaps/productRegisterMap.h"
#include "quolinTools/armgen/registerMapDeclaration.h"

namespace kzvorn_regmaps {

// clang-format off
#define KZ_INA231_REGISTERS(R, TYPE, REG, ARRAY, F, FLAG) \
    /* register type                     width kind initial keep  fields */ \
    TYPE(t_Ina231ConfigReg,              32,   RW,  0,      ALL,  F(_, 2, 0) F(_, 5, 3) F(_, 8, 6) F(_, 11, 9) F(_, 15)) \
    TYPE(t_Ina231MeasurementRegType,     32,   RO,  0,      ALL,  F(_, 15, 0)) \
    TYPE(t_Ina231CalibrationReg,         32,   RW,  0,      ALL,  F(_, 15, 0)) \
    TYPE(t_Ina231MaskEnableReg,          32,   RW,  0,      ALL,  F(_, 0) F(_, 1) F(_, 2) F(_, 3) F(_, 4) F(_, 10) F(_, 11) \
                                                                  F(_, 12) F(_, 13) F(_, 14) F(_, 15)) \
    TYPE(t_Ina231AlertLimitReg,          32,   RW,  0,      ALL,  F(_, 15, 0)) \
    /* register          type                         (pointer, keys)                               count stride */ \
    REG(Ina231Config,      t_Ina231ConfigReg,          (0, 0xBB1955)) \
    ARRAY(Ina231Measurement, t_Ina231MeasurementRegType, (1, 0xE2E837, 0x0953C7, 0x01201B, 0xECF693), 4, 1) \
    REG(Ina231Calibration, t_Ina231CalibrationReg,     (5, 0xE12FD5)) \
    REG(Ina231MaskEnable,  t_Ina231MaskEnableReg,      (6, 0x81E6E6)) \
    REG(Ina231AlertLimit,  t_Ina231AlertLimitReg,      (7, 0x608A95))
// clang-format on

namespace nIna231RegMap {
ARM_DECLARE_REGISTERS(KZ_INA231_REGISTERS, ::arm::WindowedTableMap)
}  // namespace nIna231RegMap

inline constexpr arm::MapDesc kIna231Map =
    arm::mapDesc(nIna231RegMap::kRows, kProductMapVersion, "kzvorn_regMaps/Ina231RegMap", arm::kProductPolicy);

// Laid out by its owner with base 0, first 0 and the whole window, so register k is pointer k.
class tIna231RegMap
    : public arm::DeclaredMap<nIna231RegMap::tRegisterSet, kzvoltixsharedsource::FrontEndAccess, kIna231Map> {
public:
    explicit tIna231RegMap(kzvoltixsharedsource::FrontEndAccessorInterface* accessor,
                           arm::Window window = arm::kWholeWindow);
    ~tIna231RegMap() override;

    // The accessor of every later access; null refuses them (-52006).
    void setAccessor(kzvoltixsharedsource::FrontEndAccessorInterface* accessor) { access_.bind(accessor); }
};

}  // namespace kzvorn_regmaps
