#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

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

// Carving a run of areas at once gives what as many single allocations give, across blocks and
// with any alignment, and stops where the kernel heap refuses a block.
TEST(GrowOnlyHeap, RunsOfAreasMatchSingleAllocations) {
    struct Carved {
        uintptr_t address;
        uint64_t block;  // the heap's block count when the area came
    };
    for (uint32_t alignment : {8u, 12u, 1u}) {
        for (uint64_t refused : {uint64_t(0), uint64_t(3)}) {
            SCOPED_TRACE(testing::Message() << "alignment " << alignment << ", block refused " << refused);
            // Reserved first: the test's own allocations must not count among the heap's.
            std::vector<Carved> singles;
            std::vector<Carved> run;
            singles.reserve(60);
            run.reserve(60);
            GrowOnlyHeap single(GrowOnlyHeap::kReservationBlockSize, alignment);
            GrowOnlyHeap whole(GrowOnlyHeap::kReservationBlockSize, alignment);
            {
                kal::sim::FailAllocations fail(refused == 0 ? UINT64_MAX : refused);
                for (uint32_t i = 0; i < 60; ++i) {
                    void* area = single.allocate(21);
                    if (area == nullptr) break;
                    singles.push_back({reinterpret_cast<uintptr_t>(area), single.blockCount()});
                }
            }
            uint64_t given = 0;
            {
                kal::sim::FailAllocations fail(refused == 0 ? UINT64_MAX : refused);
                given = whole.allocateEach(60, 21, [&](uint64_t index, void* area) {
                    EXPECT_EQ(index, run.size());
                    run.push_back({reinterpret_cast<uintptr_t>(area), whole.blockCount()});
                });
            }
            EXPECT_EQ(given, run.size());
            if (refused == 0) {
                EXPECT_EQ(given, 60u);
            }
            if (alignment % 12 != 0) {
                ASSERT_EQ(run.size(), singles.size());
                EXPECT_EQ(whole.blockCount(), single.blockCount());
            }
            for (size_t i = 0; i < run.size(); ++i) {
                EXPECT_EQ(run[i].address % alignment, 0u) << i;
                const bool sameBlock = i > 0 && run[i].block == run[i - 1].block;
                if (sameBlock) {
                    EXPECT_GE(run[i].address - run[i - 1].address, 21u) << i;
                }
                // Blocks start 16-byte aligned, so a power-of-two alignment lays both heaps out alike;
                // another one depends on where each block lies.
                if (alignment % 12 == 0) continue;
                EXPECT_EQ(run[i].block, singles[i].block) << i;
                if (sameBlock) {
                    EXPECT_EQ(run[i].address - run[i - 1].address, singles[i].address - singles[i - 1].address) << i;
                }
            }
        }
    }
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
