// The isolation port's registers, reached one word at a time through the port accessor.
#pragma once

#include "quolinTools/armgen/Quolin.h"
#include "quolinTools/armgen/registerMapDeclaration.h"
#include "quolinTools/portAccessor/portAccessorInterface.h"

namespace quolintools {

// clang-format off
#define KZ_ISOLATION_PORT_REGISTERS(R, TYPE, REG, ARRAY, F, FLAG) \
    /* register               offset width kind initial     keep        fields */ \
    R(IsolationPortReg00,      0x00, 32,  RW,  0,          ALL,        F(_, 31, 0)) \
    R(IsolationPortReg04,      0x04, 32,  RW,  0x0F000203, ALL,        FLAG(_, 0) FLAG(_, 1) F(_, 5, 4) FLAG(_, 7) FLAG(_, 8) \
                                                                       FLAG(_, 9) FLAG(_, 10) F(_, 15, 12) F(_, 19, 16) F(_, 23, 22) \
                                                                       F(_, 27, 24)) \
    R(IsolationPortReadReg14,  0x14, 32,  RO,  0,          ALL,        F(_, 31, 0)) \
    /* bits 0 and 1 are strobes */ \
    R(IsolationPortReg18,      0x18, 32,  RW,  0,          0xFFFFFFFC, FLAG(_, 0) FLAG(_, 1) FLAG(_, 2) FLAG(_, 3) F(_, 12, 4) \
                                                                       F(_, 23, 16) F(_, 31, 24))
// clang-format on

namespace nIsolationPortRegMap {
ARM_DECLARE_REGISTERS(KZ_ISOLATION_PORT_REGISTERS, ::arm::TableMap)
}  // namespace nIsolationPortRegMap

inline constexpr arm::MapDesc kIsolationPortMap = arm::mapDesc(
    nIsolationPortRegMap::kRows, kBridgeMapVersion, "quolinTools/armgen/IsolationPortRegMap", arm::kBridgePolicy);

template <uint32_t kOffset>
class tIsolationPortRegMapWithOffset
    : public arm::DeclaredMap<nIsolationPortRegMap::tRegisterSet, PortAccess, kIsolationPortMap> {
public:
    using DeclaredMap::DeclaredMap;
};

}  // namespace quolintools
