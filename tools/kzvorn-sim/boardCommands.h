// The script commands that show the simulated board (board.*).
//
// printBoardCommands lists them with what each prints (kzvorn-sim --help).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "board/product.h"

namespace kzvornsim {

// False when the command is not a board command taking these arguments.
bool runBoardCommand(const std::string& command, const std::vector<std::string>& arguments,
                     board::ProductBlocks& board, std::FILE* out);

// Waits for the board commands still running on threads of their own (delayed pumps).
void finishBoardCommands();

// One entry per board command, as the script requests are listed.
void printBoardCommands(std::FILE* out);

}  // namespace kzvornsim
