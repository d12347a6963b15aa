#include "board/bridgeCore.h"

#include <mutex>

#include "board/registerFile.h"

namespace board {

void installBridgeCoreRegisters(Board& board) {
    std::lock_guard<std::recursive_mutex> guard(board.lock());
    if (!board.bar(0).hasRegionIn(bar0::kBridgeCore, bar0::kBridgeCoreSize))
        board.addRegion<RegisterFile>(0, bar0::kBridgeCore, bar0::kBridgeCoreSize, board);
}

void installBridgeCore(Board& board, const BridgeCoreConfig& config) {
    std::lock_guard<std::recursive_mutex> guard(board.lock());
    installBridgeCoreRegisters(board);
    Bar& bar = board.bar(0);
    bar.store(bar0::kSignature, 4, config.signature);
    const uint32_t capability = ((config.dmaChannelStrideLog2 & 0xF) << 16) | ((config.sglLinkSizeLog2 & 0xF) << 12) |
                                (config.dma64 ? kCapabilityDma64 : 0);
    bar.store(bar0::kCapability, 4, capability);
    bar.store(bar0::kDmaChannelOffset, 4, config.dmaChannelOffset);
    const uint64_t stride = uint64_t{1} << (config.dmaChannelStrideLog2 & 0xF);
    const uint64_t end =
        uint64_t{config.dmaChannelOffset} + (bar0::kDmaChannelCount - 1) * stride + bar0::kDmaChannelSize;
    if (end > bar.size() || stride < bar0::kDmaChannelSize) return;
    for (unsigned i = 0; i < bar0::kDmaChannelCount; ++i) {
        const uint64_t block = config.dmaChannelOffset + i * stride;
        if (bar.hasRegionIn(block, bar0::kDmaChannelSize)) continue;
        board.addRegion<RegisterFile>(0, block, bar0::kDmaChannelSize, board);
        bar.store(block + kDmaChannelStatus, 4, dmaChannelStatusAtReset(i));
    }
}

}  // namespace board
