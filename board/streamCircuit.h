// A stream circuit's registers as a register file: the additive transfer count at 0x810 is
// written on one side and read as the circuit's count on the other.
#pragma once

#include "board/bar0Map.h"
#include "board/registerFile.h"

namespace board {

class StreamCircuit : public RegisterFile {
public:
    static constexpr uint64_t kAdditiveTransferCount = 0x10;  // page offset 0x810

    explicit StreamCircuit(Board& board) : RegisterFile(board, {kAdditiveTransferCount}) {}
};

// Circuit i's registers, page offsets 0x800 to 0x937.
StreamCircuit& installStreamCircuit(Board& board, unsigned circuit);

}  // namespace board
