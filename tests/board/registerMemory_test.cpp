#include <gtest/gtest.h>

#include "board/board.h"
#include "board/plainMemory.h"
#include "kal/sim/faults.h"
#include "kal/sim/registerMemory.h"
#include "kzkal/regmem.h"

namespace {

// The mappings are tested over the BARs' plain memory.
struct Attached {
    boardtest::PlainMemoryAllowed plain;
    board::Board board{{}, {0x40000, 0, 0x1000}};
    std::array<uint64_t, board::kBarCount> phys = kal::sim::attachBoard(board);
    ~Attached() { kal::sim::detachBoard(board); }
};

TEST(RegisterMemory, AttachedBarsResolveToTheBoard) {
    Attached a;
    ASSERT_NE(a.phys[0], 0u);
    EXPECT_EQ(a.phys[1], 0u);
    ASSERT_NE(a.phys[2], 0u);
    EXPECT_EQ(kal::sim::barPhysicalAddress(a.board, 2), a.phys[2]);

    auto* bar0 = static_cast<uint8_t*>(nKZKAL230_mapPhysicalToKernel(a.phys[0], 0x40000, 0));
    auto* bar2 = static_cast<uint8_t*>(nKZKAL230_mapPhysicalToKernel(a.phys[2], 0x1000, 1));
    ASSERT_NE(bar0, nullptr);
    ASSERT_NE(bar2, nullptr);
    nKZKAL100_memoryWrite32(bar0 + 0x10, 0xCAFEF00D);
    nKZKAL100_memoryWrite16(bar0 + 0x20, 0xBEEF);
    nKZKAL100_memoryWrite8(bar2 + 0x3, 0x5A);
    nKZKAL100_simMemoryWrite64(bar0 + 0x460, 0x0102030405060708ull);
    EXPECT_EQ(nKZKAL100_memoryRead32(bar0 + 0x10), 0xCAFEF00Du);
    EXPECT_EQ(nKZKAL100_memoryRead16(bar0 + 0x20), 0xBEEFu);
    EXPECT_EQ(nKZKAL100_memoryRead8(bar2 + 0x3), 0x5Au);
    EXPECT_EQ(nKZKAL100_simMemoryRead64(bar0 + 0x460), 0x0102030405060708ull);
    EXPECT_EQ(a.board.log().writesTo(0x460), (std::vector<uint64_t>{0x0102030405060708ull}));
    EXPECT_EQ(a.board.log().writesTo(0x3, 2), (std::vector<uint64_t>{0x5A}));
    EXPECT_EQ(a.board.log().entries()[3].width, 8u);

    // A sub-range maps at its offset within the BAR.
    auto* window = static_cast<uint8_t*>(nKZKAL230_mapPhysicalToKernel(a.phys[0] + 0x4000, 0x1000, 0));
    EXPECT_EQ(window, bar0 + 0x4000);
    nKZKAL100_memoryWrite32(window + 4, 9);
    EXPECT_EQ(a.board.log().writesTo(0x4004), (std::vector<uint64_t>{9}));

    EXPECT_EQ(kal::sim::liveMappings(a.board), 3u);
    nKZKAL230_unmapPhysicalFromKernel(window, 0);
    nKZKAL230_unmapPhysicalFromKernel(bar2, 1);
    nKZKAL230_unmapPhysicalFromKernel(bar0, 0);
    EXPECT_EQ(kal::sim::liveMappings(a.board), 0u);
}

TEST(RegisterMemory, MappingABarTwiceAliases) {
    Attached a;
    void* first = nKZKAL230_mapPhysicalToKernel(a.phys[0], 0x40000, 1);
    void* second = nKZKAL230_mapPhysicalToKernel(a.phys[0], 0x40000, 0);
    EXPECT_EQ(first, second);
    nKZKAL230_unmapPhysicalFromKernel(second, 0);
    // The first mapping still holds after the second is gone.
    nKZKAL100_memoryWrite32(static_cast<uint8_t*>(first) + 8, 1);
    EXPECT_EQ(a.board.log().countWrites(8), 1u);
    nKZKAL230_unmapPhysicalFromKernel(first, 1);
}

TEST(RegisterMemory, UnknownRangesAreNotMapped) {
    Attached a;
    EXPECT_EQ(nKZKAL230_mapPhysicalToKernel(a.phys[0] + 0x3F000, 0x2000, 0), nullptr);  // past the BAR's end
    EXPECT_EQ(nKZKAL230_mapPhysicalToKernel(a.phys[0] + 0x1000000, 0x1000, 0), nullptr);  // BAR 1 is absent
    EXPECT_EQ(nKZKAL230_mapPhysicalToKernel(0x1000, 0x1000, 0), nullptr);
    {
        kal::sim::FailKernelCall refuse("mapPhysicalToKernel");
        EXPECT_EQ(nKZKAL230_mapPhysicalToKernel(a.phys[0], 0x1000, 0), nullptr);
    }
    EXPECT_EQ(kal::sim::liveMappings(a.board), 0u);
}

// The driver's allocator fails on demand; what the board and the kernel layer record while the
// driver calls them must not depend on it.
TEST(RegisterMemory, WorksWhileTheSystemsAllocationsFail) {
    Attached a;
    kal::sim::FailAllocations failAll(1, true);
    auto* bar0 = static_cast<uint8_t*>(nKZKAL230_mapPhysicalToKernel(a.phys[0], 0x40000, 0));
    ASSERT_NE(bar0, nullptr);
    for (uint32_t i = 0; i < 100; ++i) nKZKAL100_memoryWrite32(bar0 + 4 * i, i);
    EXPECT_EQ(nKZKAL100_memoryRead32(bar0 + 4 * 99), 99u);
    nKZKAL230_unmapPhysicalFromKernel(bar0, 0);
    EXPECT_FALSE(failAll.triggered());
}

TEST(RegisterMemoryDeath, AccessOutsideEveryMappedBarAborts) {
    Attached a;
    auto* bar2 = static_cast<uint8_t*>(nKZKAL230_mapPhysicalToKernel(a.phys[2], 0x1000, 0));
    EXPECT_DEATH(nKZKAL100_memoryRead32(bar2 + 0xFFE), "outside every mapped BAR");
    uint32_t local = 0;
    EXPECT_DEATH(nKZKAL100_memoryWrite32(&local, 1), "outside every mapped BAR");
    nKZKAL230_unmapPhysicalFromKernel(bar2, 0);
    EXPECT_DEATH(nKZKAL100_memoryRead8(bar2), "outside every mapped BAR");
}

}  // namespace
