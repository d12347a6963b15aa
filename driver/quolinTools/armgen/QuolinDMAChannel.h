// One DMA channel register block of the bridge: command, status and the two halves of the
// transfer count.
#pragma once

#include "quolinTools/armgen/memorySpaceAccess.h"
#include "quolinTools/armgen/registerMap.h"
#include "quolinTools/armgen/Quolin.h"

namespace quolintools {

namespace tables {
using namespace arm::table;
// clang-format off
inline constexpr arm::RegisterDesc kQuolinDMAChannel[] = {
    // offset width kind    fields
    reg(0x60, 32, RO,  "11-0 12 13 14 15 23-16 24 25 26 27 29-28 30 31"),  // tChannelStatus
    reg(0x58, 32, CMD, "0..3f 24f 25f"),                                    // tChannelCommand
    reg(0xA0, 32, RO,  "31-0"),                                             // tChannelTransferCountLow
    reg(0xA4, 32, RO,  "31-0"),                                             // tChannelTransferCountHigh
};
// clang-format on
}  // namespace tables

inline constexpr arm::MapDesc kQuolinDMAChannelMap = arm::mapDesc(
    tables::kQuolinDMAChannel, kBridgeMapVersion, "quolinTools/armgen/QuolinDMAChannel", arm::kBridgePolicy);

template <uint32_t kOffset>
class tQuolinDMAChannelWithOffset
    : public arm::MapOf<arm::rowCount(tables::kQuolinDMAChannel), arm::MemorySpaceAccess> {
public:
    explicit tQuolinDMAChannelWithOffset(arm::MemorySpaceAccess::Accessor* accessor)
        : MapOf(kQuolinDMAChannelMap, accessor) {}

    ARM_REGISTER(tChannelStatus, ChannelStatus, tables::kQuolinDMAChannel, 0x60, true)
    ARM_REGISTER(tChannelCommand, ChannelCommand, tables::kQuolinDMAChannel, 0x58, false)
    ARM_REGISTER(tChannelTransferCountLow, ChannelTransferCountLow, tables::kQuolinDMAChannel, 0xA0, true)
    ARM_REGISTER(tChannelTransferCountHigh, ChannelTransferCountHigh, tables::kQuolinDMAChannel, 0xA4, true)
};

}  // namespace quolintools
