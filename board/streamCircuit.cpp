#include "board/streamCircuit.h"

namespace board {

StreamCircuit& installStreamCircuit(Board& board, unsigned circuit) {
    const uint64_t page = bar0::kStreamCircuits + circuit * bar0::kStreamCircuitStride;
    return board.addRegion<StreamCircuit>(0, page + bar0::kStreamCircuitRegisters,
                                          bar0::kStreamCircuitSize - bar0::kStreamCircuitRegisters, board);
}

}  // namespace board
