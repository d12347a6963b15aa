#include "board/bridgeCore.h"

namespace board {

void installBridgeCore(Board& board, const BridgeCoreConfig& config) {
    Bar& bar = board.bar(0);
    bar.store(bar0::kSignature, 4, config.signature);
    const uint32_t capability = ((config.dmaChannelStrideLog2 & 0xF) << 16) | ((config.sglLinkSizeLog2 & 0xF) << 12) |
                                (config.dma64 ? kCapabilityDma64 : 0);
    bar.store(bar0::kCapability, 4, capability);
    bar.store(bar0::kDmaChannelOffset, 4, config.dmaChannelOffset);
}

}  // namespace board
