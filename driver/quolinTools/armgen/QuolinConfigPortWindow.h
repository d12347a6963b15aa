// The configuration window: its size and place in the bridge BAR (0xC0) and what it shows (0xE0).
#pragma once

#include "quolinTools/armgen/memorySpaceAccess.h"
#include "quolinTools/armgen/Quolin.h"
#include "quolinTools/armgen/registerMapDeclaration.h"

namespace quolintools {

// clang-format off
#define KZ_QUOLIN_CONFIG_PORT_WINDOW_REGISTERS(R, TYPE, REG, ARRAY, F, FLAG) \
    /* register            offset width kind initial keep  fields */ \
    /* the window's size (log2 of bytes), whether it shows the bridge's registers, its offset in 256 bytes */ \
    R(WindowRegister,        0xC0, 32,  RW,  0,      ALL,  F(WindowSizeLog2, 4, 0) FLAG(_, 7) F(WindowOffset, 31, 8)) \
    R(WindowAddressRegister, 0xE0, 32,  RW,  0,      ALL,  F(_, 31, 0))
// clang-format on

namespace nQuolinConfigPortWindow {
ARM_DECLARE_REGISTERS(KZ_QUOLIN_CONFIG_PORT_WINDOW_REGISTERS, ::arm::TableMap)
}  // namespace nQuolinConfigPortWindow

inline constexpr arm::MapDesc kQuolinConfigPortWindowMap =
    arm::mapDesc(nQuolinConfigPortWindow::kRows, kBridgeMapVersion, "quolinTools/armgen/QuolinConfigPortWindow",
                 arm::kBridgePolicy);

template <uint32_t kOffset>
class tQuolinConfigPortWindowWithOffset
    : public arm::DeclaredMap<nQuolinConfigPortWindow::tRegisterSet, arm::MemorySpaceAccess,
                              kQuolinConfigPortWindowMap> {
public:
    using DeclaredMap::DeclaredMap;
};

}  // namespace quolintools
