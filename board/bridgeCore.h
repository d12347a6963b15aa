// The bridge core's identification: the signature the bring-up checks and the capability and
// DMA-offset registers that place the DMA channel blocks.
#pragma once

#include <cstdint>

#include "board/bar0Map.h"
#include "board/board.h"

namespace board {

struct BridgeCoreConfig {
    uint32_t signature = bar0::kBridgeSignature;
    uint32_t dmaChannelOffset = static_cast<uint32_t>(bar0::kDmaChannels);
    unsigned dmaChannelStrideLog2 = bar0::kDmaChannelStrideLog2;
    bool dma64 = true;                // capability bit 5
    unsigned sglLinkSizeLog2 = 0;     // capability bits 12-15
};

constexpr uint32_t kCapabilityDma64 = 1u << 5;

// Presets the core's read-only registers in BAR0 memory.
void installBridgeCore(Board& board, const BridgeCoreConfig& config = BridgeCoreConfig{});

}  // namespace board
