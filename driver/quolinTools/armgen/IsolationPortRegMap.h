// The isolation port's registers, reached one word at a time through the port accessor.
#pragma once

#include "quolinTools/armgen/registerMap.h"
#include "quolinTools/armgen/Quolin.h"
#include "quolinTools/portAccessor/portAccessorInterface.h"

namespace quolintools {

namespace tables {
using namespace arm::table;
// clang-format off
inline constexpr arm::RegisterDesc kIsolationPort[] = {
    // offset width kind fields                                            initial     keep
    reg(0x00, 32, RW, "31-0"),                                                          // tIsolationPortReg00
    reg(0x04, 32, RW, "0f 1f 5-4 7f 8f 9f 10f 15-12 19-16 23-22 27-24", 0x0F000203),  // tIsolationPortReg04
    reg(0x14, 32, RO, "31-0"),                                                          // tIsolationPortReadReg14
    reg(0x18, 32, RW, "0f 1f 2f 3f 12-4 23-16 31-24",                  0,          0xFFFFFFFC),  // tIsolationPortReg18
};
// clang-format on
}  // namespace tables

inline constexpr arm::MapDesc kIsolationPortMap = arm::mapDesc(
    tables::kIsolationPort, kBridgeMapVersion, "quolinTools/armgen/IsolationPortRegMap", arm::kBridgePolicy);

template <uint32_t kOffset>
class tIsolationPortRegMapWithOffset : public arm::MapOf<arm::rowCount(tables::kIsolationPort), PortAccess> {
public:
    explicit tIsolationPortRegMapWithOffset(PortAccessorInterface* accessor) : MapOf(kIsolationPortMap, accessor) {}

    ARM_REGISTER(tIsolationPortReg00, IsolationPortReg00, tables::kIsolationPort, 0x00, false)
    ARM_REGISTER(tIsolationPortReg04, IsolationPortReg04, tables::kIsolationPort, 0x04, false)
    ARM_REGISTER(tIsolationPortReadReg14, IsolationPortReadReg14, tables::kIsolationPort, 0x14, true)
    ARM_REGISTER(tIsolationPortReg18, IsolationPortReg18, tables::kIsolationPort, 0x18, false)
};

}  // namespace quolintools
