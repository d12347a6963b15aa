// kzvorn-sim's request scripts: one request a line, sent through the real ioctl envelope of a
// session on "smu_kzvorn"; '#' starts a comment. The requests and what each prints are listed by
// printScriptRequests (kzvorn-sim --help), the board's own (board.*, boardCommands.h) with them.
// Names are given as registered, with "_Ver" and the version where the registry has one
// ("Quolin_Ver23.3.0f121"). A request that succeeded prints its bytes in hexadecimal.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "board/product.h"
#include "kal/sim/harness.h"

namespace kzvornsim {

// Runs every line of the script; false when a line could not be understood or sent, or the
// script could not be read to its end (a read error, a line longer than 1 MiB). With the board,
// its board.* commands run too.
bool runScript(kal::sim::Kernel& kernel, std::FILE* script, std::FILE* out, board::ProductBlocks* board = nullptr);

// A status as the lines print it: device codes (0xBFFAxxxx) in hexadecimal, the others in decimal.
std::string statusText(int64_t status);

// A number as kzvorn-sim reads one: decimal, or hexadecimal after "0x" (a leading zero does not
// make it octal), at most `limit`.
bool parseNumber(const std::string& word, uint64_t limit, uint64_t& value);

// The requests a script can hold, with their arguments and what each prints.
void printScriptRequests(std::FILE* out);

}  // namespace kzvornsim
