// The configuration port's SPI master: transfer formats and opcodes (at the bridge's 0x580).
#pragma once

#include "quolinTools/armgen/memorySpaceAccess.h"
#include "quolinTools/armgen/Quolin.h"
#include "quolinTools/armgen/registerMapDeclaration.h"

namespace quolintools {

// One-bit fields without FLAG take bit 0 of the value.
// clang-format off
#define KZ_QUOLIN_CONFIG_PORT_SPI_REGISTERS(R, TYPE, REG, ARRAY, F, FLAG) \
    /* register   offset width kind initial keep  fields */ \
    R(Register00,    0x0, 32,  RW,  0,      ALL,  F(_, 7, 0) F(_, 13, 8) F(_, 14) F(_, 15) F(_, 21, 16) F(_, 22) F(_, 23) \
                                                  F(_, 29, 24) FLAG(_, 31)) \
    /* the read and the write transfer format */ \
    TYPE(tTransferRegister, 32,  RW,  0,      ALL,  F(OpcodeBitCount, 4, 0) FLAG(_, 5) F(_, 6) FLAG(_, 7) F(_, 13, 8) \
                                                  FLAG(_, 14) F(_, 15) F(AddressBitCount, 21, 16) FLAG(_, 22) FLAG(_, 23) \
                                                  F(DataBitCount, 30, 24) FLAG(Read, 31)) \
    REG(ReadTransferRegister,  tTransferRegister, 0x4) \
    REG(WriteTransferRegister, tTransferRegister, 0x8) \
    R(OpcodeRegister,  0xC, 32,  RW,  0,      ALL,  F(WriteOpcode, 7, 0) F(ReadOpcode, 23, 16))
// clang-format on

namespace nQuolinConfigPortSPI {
ARM_DECLARE_REGISTERS(KZ_QUOLIN_CONFIG_PORT_SPI_REGISTERS, ::arm::TableMap)
}  // namespace nQuolinConfigPortSPI

inline constexpr arm::MapDesc kQuolinConfigPortSPIMap = arm::mapDesc(
    nQuolinConfigPortSPI::kRows, kBridgeMapVersion, "quolinTools/armgen/QuolinConfigPortSPI", arm::kBridgePolicy);

template <uint32_t kOffset>
class tQuolinConfigPortSPIWithOffset
    : public arm::DeclaredMap<nQuolinConfigPortSPI::tRegisterSet, arm::MemorySpaceAccess, kQuolinConfigPortSPIMap> {
public:
    using DeclaredMap::DeclaredMap;
    using tReadTransferRegister = tTransferRegister;
    using tWriteTransferRegister = tTransferRegister;
};

}  // namespace quolintools
