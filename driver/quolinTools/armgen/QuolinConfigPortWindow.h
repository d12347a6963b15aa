// The configuration window: its size and place in the bridge BAR (0xC0) and what it shows (0xE0).
#pragma once

#include "quolinTools/armgen/memorySpaceAccess.h"
#include "quolinTools/armgen/registerMap.h"
#include "quolinTools/armgen/Quolin.h"

namespace quolintools {

namespace tables {
using namespace arm::table;
// clang-format off
inline constexpr arm::RegisterDesc kQuolinConfigPortWindow[] = {
    reg(0xC0, 32, RW, "4-0 7f 31-8"),  // tWindowRegister
    reg(0xE0, 32, RW, "31-0"),         // tWindowAddressRegister
};
// clang-format on
}  // namespace tables

inline constexpr arm::MapDesc kQuolinConfigPortWindowMap =
    arm::mapDesc(tables::kQuolinConfigPortWindow, kBridgeMapVersion, "quolinTools/armgen/QuolinConfigPortWindow",
                 arm::kBridgePolicy);

template <uint32_t kOffset>
class tQuolinConfigPortWindowWithOffset
    : public arm::MapOf<arm::rowCount(tables::kQuolinConfigPortWindow), arm::MemorySpaceAccess> {
public:
    explicit tQuolinConfigPortWindowWithOffset(arm::MemorySpaceAccess::Accessor* accessor)
        : MapOf(kQuolinConfigPortWindowMap, accessor) {}

    ARM_REGISTER(tWindowRegister, WindowRegister, tables::kQuolinConfigPortWindow, 0xC0, false)
    ARM_REGISTER(tWindowAddressRegister, WindowAddressRegister, tables::kQuolinConfigPortWindow, 0xE0, false)
};

}  // namespace quolintools
