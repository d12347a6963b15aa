#include "board/registerFile.h"

#include <mutex>

namespace board {

namespace {
uint64_t widthMask(unsigned width) { return width >= 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * width)) - 1; }

// Slot `offset` of a table kept by offset, made when first needed.
template <class T>
T& slot(HostVector<T>& table, uint64_t offset) {
    if (offset >= table.size()) table.resize(offset + 1);
    return table[offset];
}

}  // namespace

RegisterFile::RegisterFile(Board& board, std::initializer_list<uint64_t> separateReadSides) : board_(board) {
    for (uint64_t offset : separateReadSides) slot(separate_, offset) = 1;
}

uint64_t RegisterFile::read(uint64_t offset, unsigned width) {
    if (!separate(offset)) return memory(offset, width);
    auto it = readSide_.find(offset);
    return it == readSide_.end() ? 0 : it->second & widthMask(width);
}

void RegisterFile::write(uint64_t offset, unsigned width, uint64_t value) {
    slot(written_, offset) = value & widthMask(width);
    if (!separate(offset)) setMemory(offset, width, value);
}

void RegisterFile::present(uint64_t offset, uint64_t value) {
    std::lock_guard<BoardLock> guard(board_.lock());
    slot(separate_, offset) = 1;
    readSide_[offset] = value;
}

uint64_t RegisterFile::written(uint64_t offset) const {
    std::lock_guard<BoardLock> guard(board_.lock());
    return offset < written_.size() ? written_[offset] : 0;
}

}  // namespace board
