#include "board/registerFile.h"

#include <mutex>

namespace board {

namespace {
uint64_t widthMask(unsigned width) { return width >= 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * width)) - 1; }
}  // namespace

RegisterFile::RegisterFile(Board& board, std::initializer_list<uint64_t> separateReadSides)
    : board_(board), separate_(separateReadSides) {}

uint64_t RegisterFile::read(uint64_t offset, unsigned width) {
    if (separate_.count(offset) == 0) return memory(offset, width);
    auto it = readSide_.find(offset);
    return it == readSide_.end() ? 0 : it->second & widthMask(width);
}

void RegisterFile::write(uint64_t offset, unsigned width, uint64_t value) {
    written_[offset] = value & widthMask(width);
    if (separate_.count(offset) == 0) setMemory(offset, width, value);
}

void RegisterFile::present(uint64_t offset, uint64_t value) {
    std::lock_guard<BoardLock> guard(board_.lock());
    separate_.insert(offset);
    readSide_[offset] = value;
}

uint64_t RegisterFile::written(uint64_t offset) const {
    std::lock_guard<BoardLock> guard(board_.lock());
    auto it = written_.find(offset);
    return it == written_.end() ? 0 : it->second;
}

}  // namespace board
