// A board with the bridge core and its stream circuits, attached to the kernel layer, its
// register BAR mapped; the log starts empty.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "armgen/fakeAccess.h"
#include "board/bar0Map.h"
#include "board/board.h"
#include "board/bridgeCore.h"
#include "board/dmaEngine.h"
#include "kal/sim/registerMemory.h"
#include "kzkal/regmem.h"

namespace bridgedma {

namespace bar0 = board::bar0;

struct BridgeBoard : ::testing::Test {
    board::Board board;
    uint8_t* mapped = nullptr;
    uint64_t base = 0;
    board::DmaEngine* engine = nullptr;
    board::StreamCircuit* circuits[board::kDmaStreamCount] = {};

    BridgeBoard() {
        board::installBridgeCore(board);
        engine = board::findDmaEngine(board);
        for (unsigned i = 0; i < board::kDmaStreamCount; ++i) circuits[i] = &board::installStreamCircuit(board, i);
        kal::sim::attachBoard(board);
        mapped = static_cast<uint8_t*>(
            nKZKAL230_mapPhysicalToKernel(kal::sim::barPhysicalAddress(board, 0), bar0::kSize, 0));
        base = reinterpret_cast<uint64_t>(mapped);
        board.log().clear();
    }
    ~BridgeBoard() override {
        nKZKAL230_unmapPhysicalFromKernel(mapped, 0);
        kal::sim::detachBoard(board);
    }

    // The board's log, widths in bits.
    std::vector<armtest::Access> seen() {
        std::vector<armtest::Access> out;
        for (const board::Access& a : board.log().entries())
            out.push_back({a.direction == board::Direction::Write, uint32_t(a.offset), a.width * 8, a.value});
        board.log().clear();
        return out;
    }

    uint32_t read32(uint64_t offset) { return nKZKAL100_memoryRead32(mapped + offset); }
    void write32(uint64_t offset, uint32_t value) { nKZKAL100_memoryWrite32(mapped + offset, value); }
    static uint64_t channelBlock(unsigned i) { return bar0::kDmaChannels + (uint64_t{i} << bar0::kDmaChannelStrideLog2); }
    static uint64_t circuitControl(unsigned i) {
        return bar0::kStreamCircuits + i * bar0::kStreamCircuitStride + bar0::kStreamCircuitRegisters;
    }
};

}  // namespace bridgedma
