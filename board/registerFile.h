// A block of registers that behaves as memory, except at offsets whose read side is a register
// of its own (a status beside a command, a read register beside a write register of another
// width): writes there do not reach what reads return.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>

#include "board/board.h"
#include "board/hostAllocator.h"

namespace board {

class RegisterFile : public Region {
public:
    RegisterFile(Board& board, std::initializer_list<uint64_t> separateReadSides = {});

    uint64_t read(uint64_t offset, unsigned width) override;
    void write(uint64_t offset, unsigned width, uint64_t value) override;

    // What the read side of a separate read register shows. Both take the board's lock, so a test
    // may call them while the driver runs.
    void present(uint64_t offset, uint64_t value);
    // The last value written at the offset, 0 if none.
    uint64_t written(uint64_t offset) const;
    // Whether the offset's reads show a presented value.
    bool presented(uint64_t offset) const {
        std::lock_guard<BoardLock> guard(board_.lock());
        return separate(offset);
    }

private:
    bool separate(uint64_t offset) const { return offset < separate_.size() && separate_[offset] != 0; }

    Board& board_;
    // By offset, grown as offsets are used: a region spans a few KiB at most.
    HostVector<uint8_t> separate_;
    HostMap<uint64_t, uint64_t> readSide_;
    HostVector<uint64_t> written_;
};

}  // namespace board
