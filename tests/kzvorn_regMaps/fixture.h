// The product board with both FPGAs configured from power-up, its register BAR mapped through the
// kernel layer, and the non-isolated FPGA's block as the maps' accessor.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "armgen/fakeAccess.h"
#include "board/bar0Map.h"
#include "board/product.h"
#include "kal/sim/registerMemory.h"
#include "kzkal/regmem.h"
#include "maps.h"

namespace kzmaps {

constexpr uint32_t kNisoSignature = 0x4E150005;

inline board::ProductOptions configuredAtStart() {
    board::ProductOptions options;
    options.fpga.configuredAtStart = {{kNisoSignature, kNisoSignature + 1}};
    return options;
}

struct NisoBoard : ::testing::Test {
    board::Board board{board::productIdentity()};
    board::ProductBlocks blocks = board::installProduct(board, configuredAtStart());
    uint8_t* mapped = nullptr;
    arm::MemorySpaceAccess::Accessor block{};
    nKZAPALS100::tStatus st;

    NisoBoard() {
        kal::sim::attachBoard(board);
        mapped = static_cast<uint8_t*>(
            nKZKAL230_mapPhysicalToKernel(kal::sim::barPhysicalAddress(board, 0), board::bar0::kSize, 0));
        block = {reinterpret_cast<uint64_t>(mapped) + board::bar0::kNonIsolatedFpga, board::bar0::kNonIsolatedFpgaSize};
        board.log().clear();
    }
    ~NisoBoard() override {
        nKZKAL230_unmapPhysicalFromKernel(mapped, 0);
        kal::sim::detachBoard(board);
    }

    board::NonIsolatedFpga& fpga() { return blocks.nonIsolatedFpga; }

    // The board's log at offsets of the non-isolated FPGA's block, widths in bits.
    std::vector<armtest::Access> seen() const {
        std::vector<armtest::Access> out;
        for (const board::Access& a : const_cast<board::Board&>(board).log().entries())
            out.push_back({a.direction == board::Direction::Write, uint32_t(a.offset - board::bar0::kNonIsolatedFpga),
                           a.width * 8, a.value});
        return out;
    }
    std::vector<armtest::Access> seen(bool writes) const {
        std::vector<armtest::Access> out;
        for (const armtest::Access& a : seen())
            if (a.write == writes) out.push_back(a);
        return out;
    }
};

}  // namespace kzmaps
