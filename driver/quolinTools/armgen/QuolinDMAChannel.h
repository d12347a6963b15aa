// One DMA channel register block of the bridge: command, status and the two halves of the
// transfer count.
#pragma once

#include "quolinTools/armgen/memorySpaceAccess.h"
#include "quolinTools/armgen/Quolin.h"
#include "quolinTools/armgen/registerMapDeclaration.h"

namespace quolintools {

// clang-format off
#define KZ_QUOLIN_DMA_CHANNEL_REGISTERS(R, TYPE, REG, ARRAY, F, FLAG) \
    /* register                 offset width kind initial keep fields */ \
    R(ChannelStatus,             0x60, 32,  RO,  0,      ALL, F(_, 11, 0) F(_, 12) F(_, 13) F(_, 14) F(_, 15) F(_, 23, 16) \
                                                              F(_, 24) F(_, 25) F(_, 26) F(_, 27) F(_, 29, 28) F(_, 30) F(_, 31)) \
    R(ChannelCommand,            0x58, 32,  CMD, 0,      ALL, FLAG(_, 0) FLAG(_, 1) FLAG(_, 2) FLAG(_, 3) FLAG(_, 24) FLAG(_, 25)) \
    R(ChannelTransferCountLow,   0xA0, 32,  RO,  0,      ALL, F(_, 31, 0)) \
    R(ChannelTransferCountHigh,  0xA4, 32,  RO,  0,      ALL, F(_, 31, 0))
// clang-format on

namespace nQuolinDMAChannel {
ARM_DECLARE_REGISTERS(KZ_QUOLIN_DMA_CHANNEL_REGISTERS, ::arm::TableMap)
}  // namespace nQuolinDMAChannel

inline constexpr arm::MapDesc kQuolinDMAChannelMap = arm::mapDesc(
    nQuolinDMAChannel::kRows, kBridgeMapVersion, "quolinTools/armgen/QuolinDMAChannel", arm::kBridgePolicy);

template <uint32_t kOffset>
class tQuolinDMAChannelWithOffset
    : public arm::DeclaredMap<nQuolinDMAChannel::tRegisterSet, arm::MemorySpaceAccess, kQuolinDMAChannelMap> {
public:
    using DeclaredMap::DeclaredMap;
};

}  // namespace quolintools
