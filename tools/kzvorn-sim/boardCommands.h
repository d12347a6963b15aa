// The script commands that show the simulated board (board.*).
//
//   board.fpga    each FPGA configured or not, with its signature; then the configuration port's
//                 last load: port, size, transfers, status reads, bytes received, their CRC-32
//                 and the verdict
//   board.dma     per stream: channel state and status, link, transfer count, armed notification
//                 position, stream circuit bits and credits left; the interrupt block (enabled,
//                 control, queue depth, entries queued, interrupts sent); DMA faults
//   board.pump STREAM BYTES          moves at most BYTES bytes on the stream
//   board.sink STREAM OFFSET COUNT   COUNT bytes an odd stream has read, from OFFSET
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "board/product.h"

namespace kzvornsim {

// False when the command is not a board command taking these arguments.
bool runBoardCommand(const std::string& command, const std::vector<std::string>& arguments,
                     board::ProductBlocks& board, std::FILE* out);

}  // namespace kzvornsim
