// The bridge core's registers (BAR0 0x000-0x517): the signature the bring-up checks, the
// capability and DMA-offset registers that place the DMA channel blocks, the configuration
// window's registers; and the DMA channel blocks where those registers place them.
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
    unsigned sglLinkSizeLog2 = 9;     // capability bits 12-15: 512-byte links
    bool statusRing = true;           // the interrupt status ring's registers (0x3B4-0x3FF)
};

constexpr uint32_t kCapabilityDma64 = 1u << 5;

// A DMA channel block's status register (0x60) reads, at reset, a value that tells the channels
// apart.
constexpr uint64_t kDmaChannelStatus = 0x60;
constexpr uint32_t dmaChannelStatusAtReset(unsigned channel) { return 0x00D40000u | channel; }

// The core's registers as a block, added once; with the status ring's block or without it.
void installBridgeCoreRegisters(Board& board, bool statusRing = true);
// Presets the core's read-only registers and models the DMA channel blocks where they place
// them (when all of them lie inside the BAR); again on the same board it changes the presets.
void installBridgeCore(Board& board, const BridgeCoreConfig& config = BridgeCoreConfig{});

}  // namespace board
