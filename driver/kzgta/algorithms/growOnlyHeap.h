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

    // Null when the kernel heap refuses a block. A calculation allocates hundreds of areas, so the
    // common case, an area that fits the current block, is inline.
    void* allocate(uint64_t size) {
        if (_free != nullptr && size <= _left) return carve(size);
        return allocateInNewBlock(size);
    }

private:
    struct Cursor {
        uint8_t* free;
        uint64_t left;
        uint32_t alignment;
        uint64_t unevenBits;

        // The current block holds at least size bytes.
        void* carve(uint64_t size) {
            uint8_t* area = free;
            free += size;
            left -= size;
            // While bytes are left the free pointer is aligned, so a whole number of alignment
            // units keeps it so (the search's routes and segments all are).
            if ((size & unevenBits) == 0) return area;
            const uint64_t padding = paddingAfter(free);
            const uint64_t skipped = padding < left ? padding : left;
            free += skipped;
            left -= skipped;
            return area;
        }
        // A power-of-two alignment (the usual one) rounds with a mask instead of a division.
        uint64_t paddingAfter(const uint8_t* position) const {
            const uintptr_t address = reinterpret_cast<uintptr_t>(position);
            if (unevenBits != ~uint64_t(0)) return (0 - address) & unevenBits;
            return (alignment - address % alignment) % alignment;
        }
    };

public:
    // Allocates as the heap does, with the free pointer held in the carver until it goes away, so
    // that the areas' own writes do not make it reload. Nothing else may allocate from the heap
    // meanwhile.
    class Carver {
    public:
        explicit Carver(GrowOnlyHeap& heap)
            : heap_(heap), cursor_{heap._free, heap._left, heap._alignment, heap._unevenBits} {}
        ~Carver() { handBack(); }
        Carver(const Carver&) = delete;
        Carver& operator=(const Carver&) = delete;

        // As allocate(size); null for size 0.
        void* allocate(uint64_t size) {
            // No bytes are left while there is no block, so this also says there is one.
            if (size - 1 < cursor_.left) return cursor_.carve(size);
            if (size == 0) return nullptr;
            handBack();
            void* area = heap_.allocateInNewBlock(size);
            cursor_.free = heap_._free;
            cursor_.left = heap_._left;
            return area;
        }

        // As count calls of allocate(size), handing each area to take(index, area) in turn; returns
        // how many areas it gave (fewer only when the kernel heap refused a block).
        template <class tTake>
        uint64_t allocateEach(uint64_t count, uint64_t size, tTake take) {
            // Whole alignment units follow each other with no rounding while the block lasts.
            const bool even = size != 0 && (size & cursor_.unevenBits) == 0;
            for (uint64_t i = 0; i < count;) {
                void* area = allocate(size);
                if (area == nullptr) return i;
                take(i++, area);
                if (!even) continue;
                uint8_t* free = cursor_.free;
                uint64_t left = cursor_.left;
                for (; i < count && size <= left; ++i, free += size, left -= size) take(i, free);
                cursor_.free = free;
                cursor_.left = left;
            }
            return count;
        }

    private:
        void handBack() {
            heap_._free = cursor_.free;
            heap_._left = cursor_.left;
        }

        GrowOnlyHeap& heap_;
        Cursor cursor_;
    };

    // As the carver's.
    template <class tTake>
    uint64_t allocateEach(uint64_t count, uint64_t size, tTake take) {
        return Carver(*this).allocateEach(count, size, take);
    }
    void releaseBlocks();
    uint64_t blockCount() const;

private:
    void* carve(uint64_t size) {
        Cursor cursor{_free, _left, _alignment, _unevenBits};
        void* area = cursor.carve(size);
        _free = cursor.free;
        _left = cursor.left;
        return area;
    }
    void* allocateInNewBlock(uint64_t size);

    GrowOnlyHeapBlock* _blocks = nullptr;  // first block of the circular list
    uint8_t* _free = nullptr;
    uint64_t _left = 0;
    uint64_t _blockSize;
    uint32_t _alignment;
    // The bits of a size that would leave the free pointer unaligned: alignment - 1 for a power of
    // two, all of them otherwise.
    uint64_t _unevenBits;
};

// Context: the GrowOnlyHeap.
inline void* growOnlyHeapResizeFn(void* oldArea, uint64_t size, void* heap) {
    if (size == 0 || heap == nullptr) return nullptr;
    return static_cast<GrowOnlyHeap*>(heap)->allocate(size);
}

// The platform heap; used for every array handed back to a caller.
void* apalHeapResizeFn(void* oldArea, uint64_t size);

}  // namespace kzark
