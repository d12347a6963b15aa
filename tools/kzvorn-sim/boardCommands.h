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

// An error source of one block: "BLOCK:ID" (BLOCK niso, iso, ch0 to ch3; a block as
// NonIsolatedFpga's error hooks take it) or, when bareIsNiso, a bare "ID" for the non-isolated board.
struct BlockError {
    int block;
    uint16_t id;
    // As one number, for a fault knob's value.
    uint64_t packed() const { return uint64_t(block + 1) << 16 | id; }
    static BlockError unpacked(uint64_t value) { return {int(value >> 16) - 1, uint16_t(value)}; }
};
bool parseBlockError(const std::string& text, bool bareIsNiso, BlockError& error);

// Waits for the board commands still running on threads of their own (delayed pumps).
void finishBoardCommands();

// One entry per board command, as the script requests are listed.
void printBoardCommands(std::FILE* out);

}  // namespace kzvornsim
