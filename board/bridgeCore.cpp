#include "board/bridgeCore.h"

#include <mutex>

#include "board/dmaEngine.h"
#include "board/registerFile.h"

namespace board {

namespace {
void addCoreRegisters(Board& board, uint64_t offset, uint64_t size) {
    if (!board.bar(0).hasRegionIn(offset, size)) board.addRegion<RegisterFile>(0, offset, size, board);
}
}  // namespace

// The FPGA configuration port inside the core's range is a block of its own on a board that has
// one (installed first); on a board without it, it is core register memory like the rest. The
// interrupt block is the DMA engine's, and so is the status ring's block on a bridge that offers
// the ring (otherwise plain core registers).
void installBridgeCoreRegisters(Board& board, bool statusRing) {
    std::lock_guard<BoardLock> guard(board.lock());
    const uint64_t interrupts = interruptBlock::kBase;
    const uint64_t afterInterrupts = interrupts + interruptBlock::kSize;
    const uint64_t ring = statusRing::kBase;
    const uint64_t afterRing = ring + statusRing::kSize;
    const uint64_t port = bar0::kFpgaConfigurationPort;
    const uint64_t afterPort = port + bar0::kFpgaConfigurationPortSize;
    addCoreRegisters(board, bar0::kBridgeCore, interrupts - bar0::kBridgeCore);
    if (!board.bar(0).hasRegionIn(interrupts, interruptBlock::kSize))
        board.addRegion<DmaEngine>(0, interrupts, interruptBlock::kSize, board);
    addCoreRegisters(board, afterInterrupts, ring - afterInterrupts);
    if (statusRing && !board.bar(0).hasRegionIn(ring, statusRing::kSize))
        findDmaEngine(board)->attachStatusRing(
            board.addRegion<StatusRingBlock>(0, ring, statusRing::kSize, *findDmaEngine(board)));
    addCoreRegisters(board, ring, statusRing::kSize);
    addCoreRegisters(board, afterRing, port - afterRing);
    addCoreRegisters(board, port, bar0::kFpgaConfigurationPortSize);
    addCoreRegisters(board, afterPort, bar0::kBridgeCore + bar0::kBridgeCoreSize - afterPort);
}

void installBridgeCore(Board& board, const BridgeCoreConfig& config) {
    std::lock_guard<BoardLock> guard(board.lock());
    installBridgeCoreRegisters(board, config.statusRing);
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
        DmaEngine& engine = *findDmaEngine(board);
        engine.attachChannel(i, board.addRegion<DmaChannelBlock>(0, block, bar0::kDmaChannelSize, engine, i));
        bar.store(block + kDmaChannelStatus, 4, dmaChannelStatusAtReset(i));
    }
}

}  // namespace board
