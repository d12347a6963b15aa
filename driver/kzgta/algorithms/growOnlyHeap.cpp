#include "kzgta/algorithms/growOnlyHeap.h"

#include "kzapal/protons/memory.h"
#include "kzkal/memory.h"

namespace kzark {
namespace {

uint64_t roundUp(uint64_t value, uint32_t alignment) { return (value + alignment - 1) / alignment * alignment; }

}  // namespace

GrowOnlyHeap::GrowOnlyHeap(uint64_t blockSize, uint32_t alignment)
    : _blockSize(blockSize), _alignment(alignment == 0 ? 1 : alignment) {}

void* GrowOnlyHeap::carve(uint64_t size) {
    if (_free == nullptr || _left < size) return nullptr;
    uint8_t* area = _free;
    _free += size;
    _left -= size;
    const uint64_t padding =
        roundUp(reinterpret_cast<uintptr_t>(_free), _alignment) - reinterpret_cast<uintptr_t>(_free);
    const uint64_t skipped = padding < _left ? padding : _left;
    _free += skipped;
    _left -= skipped;
    return area;
}

void* GrowOnlyHeap::allocate(uint64_t size) {
    if (void* area = carve(size)) return area;
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
    const uint64_t offset =
        roundUp(reinterpret_cast<uintptr_t>(start + header), _alignment) - reinterpret_cast<uintptr_t>(start);
    _free = start + offset;
    _left = blockSize - offset;
    return carve(size);
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

void* growOnlyHeapResizeFn(void* oldArea, uint64_t size, void* heap) {
    if (size == 0 || heap == nullptr) return nullptr;
    return static_cast<GrowOnlyHeap*>(heap)->allocate(size);
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
