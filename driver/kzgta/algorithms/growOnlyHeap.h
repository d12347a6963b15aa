// Scratch allocation for one routing operation: areas are carved from large blocks and never
// given back one by one; every block is released when the heap goes away.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kzark {

// The engine's allocation convention: size 0 releases the old area and returns null; otherwise a
// fresh area (the old one's contents are not carried over) or null on failure.
using ResizeFn = void* (*)(void* oldArea, uint64_t size, void* context);

class GrowOnlyHeap;

struct GrowOnlyHeapBlock {
    GrowOnlyHeapBlock* next;
    GrowOnlyHeapBlock* previous;
    uint64_t size;
    GrowOnlyHeap* heap;
};
static_assert(sizeof(GrowOnlyHeapBlock) == 32, "blocks start with a 32-byte header");

class GrowOnlyHeap {
public:
    static constexpr uint64_t kCalculationBlockSize = 2048;
    static constexpr uint64_t kReservationBlockSize = 512;
    static constexpr uint32_t kAlignment = 8;

    GrowOnlyHeap(uint64_t blockSize, uint32_t alignment);
    ~GrowOnlyHeap() { releaseBlocks(); }
    GrowOnlyHeap(const GrowOnlyHeap&) = delete;
    GrowOnlyHeap& operator=(const GrowOnlyHeap&) = delete;

    // Null when the kernel heap refuses a block.
    void* allocate(uint64_t size);
    void releaseBlocks();
    uint64_t blockCount() const;

private:
    void* carve(uint64_t size);

    GrowOnlyHeapBlock* _blocks = nullptr;  // first block of the circular list
    uint8_t* _free = nullptr;
    uint64_t _left = 0;
    uint64_t _blockSize;
    uint32_t _alignment;
};

// Context: the GrowOnlyHeap.
void* growOnlyHeapResizeFn(void* oldArea, uint64_t size, void* heap);

// The platform heap; used for every array handed back to a caller.
void* apalHeapResizeFn(void* oldArea, uint64_t size);

}  // namespace kzark
