// One DMA stream circuit (the FPGA side of a stream): control/status, additive transfer count,
// counters and stream parameters in its 8 KB page.
#pragma once

#include "quolinTools/armgen/memorySpaceAccess.h"
#include "quolinTools/armgen/registerMapDeclaration.h"

namespace quolintools {

constexpr const char* kTimingMapVersion = "200a13081315";

// Every one-bit field of this map takes bit 0 of the value.
// clang-format off
#define KZ_STREAM_CIRCUIT_REGISTERS(R, TYPE, REG, ARRAY, F, FLAG) \
    /* register                 offset width kind    initial keep fields */ \
    R(StreamControlStatusReg,    0x800, 32,  CMD,    0,      ALL, F(_, 0) F(_, 1) F(_, 2) F(_, 3) F(DataTransferEnable, 8) F(_, 9) \
                                                                  F(StreamCircuitResetComplete, 10) F(_, 11) F(_, 13) F(_, 14) \
                                                                  F(_, 15) F(_, 16) F(_, 17) F(_, 18)) \
    R(Register808,               0x808, 32,  CMD,    0,      ALL, F(_, 7, 0) F(_, 15, 8) F(_, 23, 16)) \
    R(AdditiveTransferCount,     0x810, 32,  CMD_WO, 0,      ALL, F(_, 31, 0)) \
    R(ReadRegister810,           0x810, 32,  CMD_RO, 0,      ALL, F(_, 31, 0)) \
    R(ReadRegister814,           0x814, 32,  RO,     0,      ALL, F(_, 31, 0)) \
    R(Register818,               0x818, 32,  RW,     0,      ALL, F(_, 31, 0)) \
    R(Register81C,               0x81C, 32,  RW,     0,      ALL, F(_, 15, 0) F(_, 31, 16)) \
    R(Register820,               0x820, 32,  RW,     0,      ALL, F(_, 9, 0) F(_, 31)) \
    R(Register824,               0x824, 32,  RW,     0,      ALL, F(_, 7, 0) F(_, 15, 8)) \
    R(Register828,               0x828, 32,  RW,     0,      ALL, F(_, 1, 0)) \
    R(Register82C,               0x82C, 32,  RW,     0,      ALL, F(_, 31, 0)) \
    R(Register830,               0x830, 32,  RW,     0,      ALL, F(_, 15, 0)) \
    R(Register840,               0x840, 32,  RW,     0,      ALL, F(_, 1, 0) F(_, 2) F(_, 3)) \
    R(Register844,               0x844, 32,  RW,     0,      ALL, F(_, 31, 0)) \
    R(Register848,               0x848, 32,  RW,     0,      ALL, F(_, 31, 0)) \
    R(ReadRegister880,           0x880, 32,  CMD_RO, 0,      ALL, F(_, 3, 0) F(_, 7, 4) F(_, 8) F(_, 9) F(_, 10) F(_, 11) \
                                                                  F(_, 31, 16)) \
    R(ReadRegister884,           0x884, 32,  CMD_RO, 0,      ALL, F(_, 11, 8) F(_, 15, 12) F(_, 31, 16)) \
    R(ReadRegister888,           0x888, 32,  CMD_RO, 0,      ALL, F(_, 0) F(_, 1) F(_, 2) F(_, 3) F(_, 7, 4) F(_, 31, 16)) \
    TYPE(tReadHalfWords,                32,  CMD_RO, 0,      ALL, F(_, 15, 0) F(_, 31, 16)) \
    ARRAY(ReadRegister88C, tReadHalfWords, 0x88C, 3, 4) \
    R(ReadRegister8A0,           0x8A0, 32,  CMD_RO, 0,      ALL, F(_, 3, 0) F(_, 7, 4) F(_, 8) F(_, 9) F(_, 10) F(_, 11) \
                                                                  F(_, 15, 12) F(_, 31, 16)) \
    R(ReadRegister8A4,           0x8A4, 32,  CMD_RO, 0,      ALL, F(_, 1) F(_, 2) F(_, 3) F(_, 7, 4) F(_, 11) F(_, 31, 16)) \
    ARRAY(ReadRegister8A8, tReadHalfWords, 0x8A8, 2, 4) \
    R(ReadRegister8B0,           0x8B0, 32,  CMD_RO, 0,      ALL, F(_, 15, 0)) \
    /* four blocks of 16 bytes; the word at 4 of each is two register objects with shadows of */ \
    /* their own, the second reached only by its field */ \
    TYPE(tRegister900,                  32,  RW,     0,      ALL, F(_, 0)) \
    TYPE(tRegister904,                  32,  RW,     0,      ALL, F(_, 27, 0) F(_, 31, 28)) \
    TYPE(tRegister904View2,             32,  RW | SECOND_VIEW, 0, ALL, F(_, 21, 12)) \
    ARRAY(Register900,      tRegister900,      0x900, 4, 0x10) \
    ARRAY(Register904,      tRegister904,      0x904, 4, 0x10) \
    ARRAY(Register904View2, tRegister904View2, 0x904, 4, 0x10)
// clang-format on

namespace nStreamCircuitRegMap {
ARM_DECLARE_REGISTERS(KZ_STREAM_CIRCUIT_REGISTERS, ::arm::TableMap)
}  // namespace nStreamCircuitRegMap

inline constexpr arm::MapDesc kStreamCircuitMap = arm::mapDesc(
    nStreamCircuitRegMap::kRows, kTimingMapVersion, "quolinTools/armgen/StreamCircuitRegMap", arm::kFamilyPolicy);

template <uint32_t kOffset>
class tStreamCircuitRegMapWithOffset
    : public arm::DeclaredMap<nStreamCircuitRegMap::tRegisterSet, arm::MemorySpaceAccess, kStreamCircuitMap> {
public:
    using DeclaredMap::DeclaredMap;
};

}  // namespace quolintools
