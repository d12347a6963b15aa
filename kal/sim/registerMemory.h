// Simulated boards on the bus: their BARs at physical addresses that the kernel layer's
// mapPhysicalToKernel and register accesses resolve.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "board/board.h"

namespace kal::sim {

// Places the board's BARs at fresh physical addresses (0 for a BAR the board does not have).
std::array<uint64_t, board::kBarCount> attachBoard(board::Board& board);
// Takes the board off the bus; every mapping of it must have been unmapped.
void detachBoard(board::Board& board);
// The physical address of a BAR of an attached board, 0 if none.
uint64_t barPhysicalAddress(const board::Board& board, int bar);

// Mappings made by mapPhysicalToKernel and not yet unmapped.
size_t liveMappings();
size_t liveMappings(const board::Board& board);
// The mode a live mapping starting at address was made with; -1 when none starts there.
int64_t mappingMode(const void* address);

}  // namespace kal::sim
