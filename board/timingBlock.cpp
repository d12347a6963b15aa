#include "board/timingBlock.h"

namespace board {

void TimingBlock::write(uint64_t offset, unsigned width, uint64_t value) {
    RegisterFile::write(offset, width, value);
    if (offset == kWriteProtectRegister && writeProtectListener_) writeProtectListener_(writeProtectLine());
}

TimingBlock& installTimingBlock(Board& board) {
    return board.addRegion<TimingBlock>(0, bar0::kTimingBlock, bar0::kTimingBlockSize, board);
}

}  // namespace board
