#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "kal/sim/faults.h"
#include "kzgta/algorithms/growOnlyHeap.h"

namespace {

using kzark::GrowOnlyHeap;

TEST(GrowOnlyHeap, CarvesAlignedAreasFromBlocksAndReleasesThemAllAtTheEnd) {
    const int64_t live = kal::sim::liveAllocations();
    {
        GrowOnlyHeap heap(GrowOnlyHeap::kCalculationBlockSize, 8);
        void* context = &heap;
        auto* first = static_cast<uint8_t*>(kzark::growOnlyHeapResizeFn(nullptr, 13, context));
        auto* second = static_cast<uint8_t*>(kzark::growOnlyHeapResizeFn(nullptr, 24, context));
        ASSERT_NE(first, nullptr);
        ASSERT_NE(second, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(first) % 8, 0u);
        EXPECT_EQ(second, first + 16);  // 13 rounded up to the alignment
        EXPECT_EQ(heap.blockCount(), 1u);

        // Releasing does nothing; a resize hands out a fresh area and carries nothing over.
        EXPECT_EQ(kzark::growOnlyHeapResizeFn(second, 0, context), nullptr);
        auto* third = static_cast<uint8_t*>(kzark::growOnlyHeapResizeFn(first, 8, context));
        EXPECT_EQ(third, second + 24);

        // Larger than a block: a block of its own; what was left in the current one is abandoned.
        auto* large = static_cast<uint8_t*>(kzark::growOnlyHeapResizeFn(nullptr, 5000, context));
        ASSERT_NE(large, nullptr);
        std::memset(large, 0xA5, 5000);
        EXPECT_EQ(heap.blockCount(), 2u);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(large) % 8, 0u);
        EXPECT_NE(kzark::growOnlyHeapResizeFn(nullptr, 2016, context), nullptr);  // a full default block
        EXPECT_EQ(heap.blockCount(), 3u);
        EXPECT_EQ(kal::sim::liveAllocations(), live + 3);
    }
    EXPECT_EQ(kal::sim::liveAllocations(), live);
}

TEST(GrowOnlyHeap, RefusedBlockGivesNull) {
    GrowOnlyHeap heap(GrowOnlyHeap::kReservationBlockSize, 8);
    {
        kal::sim::FailAllocations fail(1);
        EXPECT_EQ(kzark::growOnlyHeapResizeFn(nullptr, 16, &heap), nullptr);
    }
    EXPECT_EQ(heap.blockCount(), 0u);
    EXPECT_EQ(kzark::growOnlyHeapResizeFn(nullptr, UINT64_MAX - 4, &heap), nullptr);
    EXPECT_NE(kzark::growOnlyHeapResizeFn(nullptr, 16, &heap), nullptr);
    EXPECT_EQ(kzark::growOnlyHeapResizeFn(nullptr, 16, nullptr), nullptr);
}

TEST(AllocationHelper, AllocatesBeforeFreeingAndKeepsTheOldAreaOnFailure) {
    const int64_t live = kal::sim::liveAllocations();
    void* area = kzark::apalHeapResizeFn(nullptr, 40);
    ASSERT_NE(area, nullptr);
    {
        kal::sim::FailAllocations fail(1);
        EXPECT_EQ(kzark::apalHeapResizeFn(area, 80), nullptr);
    }
    EXPECT_EQ(kal::sim::liveAllocations(), live + 1);  // the old area is still there
    void* grown = kzark::apalHeapResizeFn(area, 80);
    ASSERT_NE(grown, nullptr);
    EXPECT_EQ(kal::sim::liveAllocations(), live + 1);
    EXPECT_EQ(kzark::apalHeapResizeFn(grown, 0), nullptr);
    EXPECT_EQ(kal::sim::liveAllocations(), live);
}

}  // namespace
