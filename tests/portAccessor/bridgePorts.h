// The bridge's register BAR on the simulated board, mapped through the kernel layer, with the
// bridge maps the port drivers sit on.
#pragma once

#include <cstdint>
#include <vector>

#include "board/bar0Map.h"
#include "board/board.h"
#include "board/bridgeCore.h"
#include "kal/sim/registerMemory.h"
#include "kzkal/regmem.h"
#include "quolinTools/armgen/memorySpaceAccess.h"

namespace porttest {

using nKZAPALS100::tStatus;
namespace bar0 = board::bar0;

struct MappedBridge {
    board::Board board;
    uint8_t* mapped = nullptr;
    arm::MemorySpaceAccess::Accessor accessor{};

    MappedBridge() {
        board::installBridgeCore(board);
        kal::sim::attachBoard(board);
        mapped = static_cast<uint8_t*>(
            nKZKAL230_mapPhysicalToKernel(kal::sim::barPhysicalAddress(board, 0), bar0::kSize, 0));
        accessor = {reinterpret_cast<uint64_t>(mapped), bar0::kSize};
    }
    ~MappedBridge() {
        nKZKAL230_unmapPhysicalFromKernel(mapped, 0);
        kal::sim::detachBoard(board);
    }

    std::vector<uint64_t> writesTo(uint64_t offset) const { return const_cast<board::Board&>(board).log().writesTo(offset); }
};

}  // namespace porttest
