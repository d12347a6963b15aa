#include "board/timingBlock.h"

namespace board {

TimingBlock& installTimingBlock(Board& board) {
    return board.addRegion<TimingBlock>(0, bar0::kTimingBlock, bar0::kTimingBlockSize, board);
}

}  // namespace board
