// The script commands that show the simulated board (board.*).
//
//   board.fpga    each FPGA configured or not, with its signature; then the configuration port's
//                 last load: port, size, transfers, status reads, bytes received, their CRC-32
//                 and the verdict
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
