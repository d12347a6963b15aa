#include "kzgta/algorithms/growOnlyHeap.h"

#include "kzapal/protons/memory.h"
#include "kzkal/memory.h"

namespace kzark {

GrowOnlyHeap::GrowOnlyHeap(uint64_t blockSize, uint32_t alignment)
    : _blockSize(blockSize),
      _alignment(alignment == 0 ? 1 : alignment),
      _unevenBits((_alignment & (_alignment - 1)) == 0 ? _alignment - 1 : ~uint64_t(0)) {}

void* GrowOnlyHeap::allocateInNewBlock(uint64_t size) {
    const uint64_t header = sizeof(GrowOnlyHeapBlock);
    if (size > UINT64_MAX - _alignment - header) return nullptr;
    const uint64_t blockSize = size > _blockSize - header ? size + _alignment + header : _blockSize;
    auto* block = static_cast<GrowOnlyHeapBlock*>(nKZKAL100_malloc(blockSize));
    if (block == nullptr) return nullptr;
    block->size = blockSize;
    block->heap = this;
    if (_blocks == nullptr) {
        block->next = block->previous = block;
        _blocks = block;
    } else {
        block->next = _blocks;
        block->previous = _blocks->previous;
        _blocks->previous->next = block;
        _blocks->previous = block;
    }
    uint8_t* start = reinterpret_cast<uint8_t*>(block);
    const uint64_t offset = header + Cursor{nullptr, 0, _alignment, _unevenBits}.paddingAfter(start + header);
    _free = start + offset;
    _left = blockSize - offset;
    return size <= _left ? carve(size) : nullptr;
}

void GrowOnlyHeap::releaseBlocks() {
    GrowOnlyHeapBlock* block = _blocks;
    while (block != nullptr) {
        GrowOnlyHeapBlock* next = block->next == _blocks ? nullptr : block->next;
        nKZKAL100_free(block);
        block = next;
    }
    _blocks = nullptr;
    _free = nullptr;
    _left = 0;
}

uint64_t GrowOnlyHeap::blockCount() const {
    uint64_t count = 0;
    for (const GrowOnlyHeapBlock* block = _blocks; block != nullptr;
         block = block->next == _blocks ? nullptr : block->next)
        ++count;
    return count;
}

void* apalHeapResizeFn(void* oldArea, uint64_t size) {
    void* area = nullptr;
    if (size != 0) {
        nKZAPALS100::tStatus unreported;
        area = ::operator new(static_cast<size_t>(size), unreported);
        if (area == nullptr) return nullptr;
    }
    ::operator delete(oldArea);
    return area;
}

}  // namespace kzark
