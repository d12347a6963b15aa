// The bridge chip's core registers: signature, capabilities, DMA block placement, interrupt mask,
// host bridge control and the FPGA configuration port.
#pragma once

#include "quolinTools/armgen/memorySpaceAccess.h"
#include "quolinTools/armgen/registerMapDeclaration.h"

namespace quolintools {

constexpr const char* kBridgeMapVersion = "23.3.0f121";

// clang-format off
#define KZ_QUOLIN_REGISTERS(R, TYPE, REG, ARRAY, F, FLAG) \
    /* register                  offset width kind initial keep  fields */ \
    R(Signature,                 0x000, 32, RO,      0, ALL, F(_, 31, 0)) \
    R(CapabilityRegister,        0x00C, 32, RO,      0, ALL, F(_, 4) F(_, 5) F(_, 6) F(_, 7) F(_, 15, 12) \
                                                             F(DMAChannelStrideLog2, 19, 16) F(_, 23, 20) F(_, 31, 24)) \
    R(DMAChannelOffsetRegister,  0x01C, 32, RO,      0, ALL, F(_, 31, 0)) \
    R(Register58,                0x058, 32, RW,      0, ALL, F(_, 1, 0) F(_, 19, 16)) \
    R(InterruptMask,             0x05C, 32, RW,      0, ALL, FLAG(_, 0) FLAG(_, 8) FLAG(_, 9) FLAG(_, 10) FLAG(_, 11) \
                                                             FLAG(_, 24) FLAG(_, 25) FLAG(_, 26) FLAG(_, 27) FLAG(_, 28) \
                                                             FLAG(_, 29) FLAG(_, 30) FLAG(_, 31)) \
    R(HBRCR,                     0x0A4, 32, RW,      0, ALL, F(_, 11, 0) FLAG(_, 13) FLAG(_, 14) FLAG(_, 15) F(_, 19, 16) \
                                                             F(_, 23, 20) F(_, 27, 24) FLAG(_, 28) F(_, 30, 29) FLAG(_, 31)) \
    R(FPGALoadControlRegister,   0x440, 32, WO,      0, ALL, FLAG(_, 0) FLAG(_, 1) FLAG(_, 2) FLAG(_, 3)) \
    R(Register444,               0x444, 32, RW,      0, ALL, FLAG(_, 0) FLAG(_, 1)) \
    R(FPGALoadStatusRegister,    0x448, 32, RO,      0, ALL, F(_, 7, 0) F(_, 8)) \
    R(Register450,               0x450, 32, RW,      0, ALL, F(_, 31, 0)) \
    R(FPGALoadSizeRegister,      0x458, 32, RW,      0, ALL, F(_, 31, 0)) \
    /* the data port: the 8-bit port's whole shadow is a strobe; the 64-bit one has no identifier */ \
    R(FPGALoadDataRegister,      0x460,  8, WO,      0, 0,   F(_, 7, 0)) \
    R(FPGALoadDataRegister64,    0x460, 64, WO | NO_ID, 0, 0, ) \
    R(Register510,               0x510, 32, RW,      0, ALL, F(_, 2, 0) F(_, 10, 8) F(_, 18, 16)) \
    R(Register514,               0x514, 32, RW,      0, ALL, F(_, 3, 0) F(_, 7, 4) F(_, 11, 8) F(_, 15, 12) F(_, 19, 16) \
                                                             F(_, 23, 20) F(_, 27, 24) F(_, 31, 28))
// clang-format on

namespace nQuolin {
ARM_DECLARE_REGISTERS(KZ_QUOLIN_REGISTERS, ::arm::TableMap)
}  // namespace nQuolin

inline constexpr arm::MapDesc kQuolinMap =
    arm::mapDesc(nQuolin::kRows, kBridgeMapVersion, "quolinTools/armgen/Quolin", arm::kBridgePolicy);

template <uint32_t kOffset>
class tQuolinWithOffset : public arm::DeclaredMap<nQuolin::tRegisterSet, arm::MemorySpaceAccess, kQuolinMap> {
public:
    using DeclaredMap::DeclaredMap;
};

}  // namespace quolintools
