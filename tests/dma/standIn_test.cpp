// The kernel-layer stand-in's DMA memory: what the driver may rely on, and the misuse it turns
// into a test failure.
#include <iterator>
#include <string>

#include "dma/fixture.h"

namespace dmatest {
namespace {

using StandIn = DMAFixture;

// One allocated page, mapped into kernel space and for the device to read.
struct MappedPage {
    MappedPage()
        : list(nKZKAL220_tPageList_createFromAllocation(1, 5)),
          memory(static_cast<uint8_t*>(nKZKAL220_tPageList_mapToKernel(list, 0, 1))),
          sgl(nKZKAL220_tSGL_createForPCI(nullptr, 1)) {
        EXPECT_EQ(nKZKAL220_tSGL_map(sgl, list, 0, 4096, 0), 0);
        nKZKAL220_tSGL_iterate(sgl);
        bus = nKZKAL220_tSGL_getSegmentAddress(sgl);
    }
    ~MappedPage() {
        nKZKAL220_tSGL_unmap(sgl);
        nKZKAL220_tSGL_destroy(sgl);
        nKZKAL220_tPageList_unmapFromKernel(list, memory);
        nKZKAL220_tPageList_destroy(list);
    }

    void* list;
    uint8_t* memory;
    void* sgl;
    uint64_t bus = 0;
};

TEST_F(StandIn, PinsOnlyRegisteredPages) {
    UserPages user(3);
    uint8_t* outside = user.data() + 3 * 4096;
    const struct {
        const char* why;
        uint64_t address;
        uint32_t pages;
        bool pinned;
    } cases[] = {
        {"registered pages", user.address(), 3, true},
        {"not page aligned", user.address(8), 1, false},
        {"no pages", user.address(), 0, false},
        {"a page beyond the registration", user.address(), 4, false},
        {"unregistered", reinterpret_cast<uint64_t>(outside) + 4096 * 16, 1, false},
    };
    for (const auto& c : cases) {
        void* list = nKZKAL220_tPageList_createFromUser(c.address, c.pages, 0x10);
        EXPECT_EQ(list != nullptr, c.pinned) << c.why;
        if (list == nullptr) continue;
        EXPECT_EQ(kal::sim::dmaState().pinnedPages, c.pages);
        nKZKAL220_tPageList_destroy(list);
    }
    nKZKAL220_tPageList_destroy(nullptr);
}

TEST_F(StandIn, MappingsStayInsideTheirPagesAndUserMemory) {
    UserPages user(2, 4096 + 100);  // the second page only in part
    void* allocated = nKZKAL220_tPageList_createFromAllocation(2, 4);
    void* pinned = nKZKAL220_tPageList_createFromUser(user.address(), 2, 0x10);
    void* sgl = nKZKAL220_tSGL_createForPCI(nullptr, 2);
    ASSERT_TRUE(allocated != nullptr && pinned != nullptr && sgl != nullptr);
    const struct {
        const char* why;
        void* list;
        uint64_t offset;
        uint64_t size;
        int32_t code;
    } cases[] = {
        {"whole allocation", allocated, 0, 8192, 0},
        {"beyond the page list", allocated, 4096, 4097, KZKAL_ERR_BAD_PARAMETER},
        {"offset beyond it", allocated, 8193, 1, KZKAL_ERR_BAD_PARAMETER},
        {"no bytes", allocated, 0, 0, KZKAL_ERR_BAD_PARAMETER},
        {"pinned and registered", pinned, 10, 4000, 0},
        {"pinned but not all registered", pinned, 0, 8192, KZKAL_ERR_BAD_PARAMETER},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(nKZKAL220_tSGL_map(sgl, c.list, c.offset, c.size, 0), c.code) << c.why;
        nKZKAL220_tSGL_unmap(sgl);
    }
    void* small = nKZKAL220_tSGL_createForPCI(nullptr, 1);
    EXPECT_EQ(nKZKAL220_tSGL_map(small, allocated, 4000, 200, 0), KZKAL_ERR_BAD_PARAMETER);  // two pages
    EXPECT_EQ(nKZKAL220_tSGL_map(small, allocated, 4096, 200, 0), 0);
    EXPECT_EQ(nKZKAL220_tSGL_map(small, allocated, 0, 200, 0), KZKAL_ERR_VALUE_CONFLICT);
    nKZKAL220_tSGL_unmap(small);
    nKZKAL220_tSGL_destroy(small);
    nKZKAL220_tSGL_destroy(sgl);
    nKZKAL220_tPageList_destroy(pinned);
    nKZKAL220_tPageList_destroy(allocated);
}

TEST_F(StandIn, BusAddressesAndSegments) {
    configure(tDMAConfiguration::kDMAType64);
    void* pci = function_->record.pciHandle;
    const struct {
        const char* why;
        bool forPCI;
        uint32_t flags;
        kal::sim::SGLSplit split;
        bool below4G;
        std::vector<uint64_t> pages;  // per segment
    } cases[] = {
        {"64-bit mask", true, 0, kal::sim::SGLSplit::Page, false, {1, 1, 1, 1}},
        {"no function: the default mask", false, 0, kal::sim::SGLSplit::Page, true, {1, 1, 1, 1}},
        {"flag 2", true, 2, kal::sim::SGLSplit::Runs, true, {4}},
        {"flag 1", true, 1, kal::sim::SGLSplit::Page, false, {40}},
        {"runs", true, 0, kal::sim::SGLSplit::Runs, false, {16, 16, 8}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        kal::sim::setSGLSplit(c.split);
        uint64_t pages = 0;
        for (uint64_t p : c.pages) pages += p;
        void* list = nKZKAL220_tPageList_createFromAllocation(pages, c.flags);
        void* sgl = nKZKAL220_tSGL_createForPCI(c.forPCI ? pci : nullptr, pages);
        ASSERT_EQ(nKZKAL220_tSGL_map(sgl, list, 0, pages * 4096, 1), 0);
        ASSERT_EQ(nKZKAL220_tSGL_numSegments(sgl), c.pages.size());
        nKZKAL220_tSGL_iterate(sgl);
        for (uint64_t segmentPages : c.pages) {
            EXPECT_EQ(nKZKAL220_tSGL_getSegmentSize(sgl), segmentPages * 4096);
            EXPECT_EQ(nKZKAL220_tSGL_getSegmentAddress(sgl) + segmentPages * 4096 <= k4GiB, c.below4G);
            nKZKAL220_tSGL_nextSegment(sgl);
        }
        EXPECT_EQ(nKZKAL220_tSGL_getSegmentSize(sgl), 0u);
        nKZKAL220_tSGL_unmap(sgl);
        nKZKAL220_tSGL_destroy(sgl);
        nKZKAL220_tPageList_destroy(list);
    }
}

// Allocated memory reaches the device as it stood at the latest prepareForDMA.
TEST_F(StandIn, DeviceAccessesOutsideTheirMappingAreFaults) {
    MappedPage page;
    void* sgl = page.sgl;
    const uint64_t bus = page.bus;
    uint8_t bytes[4] = {};
    page.memory[0] = 0x5A;
    EXPECT_TRUE(port().read(bus, bytes, 4));
    EXPECT_EQ(bytes[0], 0);
    nKZKAL220_tSGL_prepareForDMA(page.sgl);
    EXPECT_TRUE(port().read(bus, bytes, 4));
    EXPECT_EQ(bytes[0], 0x5A);
    EXPECT_FALSE(port().read(bus + 4094, bytes, 4));
    EXPECT_FALSE(port().write(bus, bytes, 4));
    nKZKAL220_tSGL_unmap(sgl);
    EXPECT_FALSE(port().read(bus, bytes, 4));
    const kal::sim::DMAFaultKind expected[] = {kal::sim::DMAFaultKind::Stale, kal::sim::DMAFaultKind::Unmapped,
                                               kal::sim::DMAFaultKind::Direction, kal::sim::DMAFaultKind::Unmapped};
    const auto faults = kal::sim::takeDMAFaults();
    ASSERT_EQ(faults.size(), std::size(expected));
    for (size_t i = 0; i < faults.size(); ++i) EXPECT_EQ(faults[i].kind, expected[i]) << i;
    EXPECT_TRUE(faults[2].deviceWrite);

    // The device writes a caller's pages only while they are registered.
    UserPages user(1);
    void* pinned = nKZKAL220_tPageList_createFromUser(user.address(), 1, 0x10);
    ASSERT_EQ(nKZKAL220_tSGL_map(sgl, pinned, 0, 4096, 1), 0);
    nKZKAL220_tSGL_iterate(sgl);
    const uint64_t userBus = nKZKAL220_tSGL_getSegmentAddress(sgl);
    const uint8_t data[2] = {0xC3, 0x3C};
    EXPECT_TRUE(port().write(userBus + 10, data, 2));
    EXPECT_EQ(user.data()[11], 0x3C);
    EXPECT_FALSE(port().read(userBus, bytes, 1));
    kal::sim::unregisterUserMemory(user.data());
    EXPECT_FALSE(port().write(userBus, data, 2));
    const auto userFaults = kal::sim::takeDMAFaults();
    ASSERT_EQ(userFaults.size(), 2u);
    EXPECT_EQ(userFaults[0].kind, kal::sim::DMAFaultKind::Direction);
    EXPECT_EQ(userFaults[1].kind, kal::sim::DMAFaultKind::UserMemoryGone);
    kal::sim::registerUserMemory(user.data(), 4096);
    nKZKAL220_tSGL_unmap(sgl);
    nKZKAL220_tPageList_destroy(pinned);
}

TEST_F(StandIn, DestroyingWhatIsStillMappedAborts) {
    MappedPage page;
    EXPECT_DEATH(nKZKAL220_tPageList_destroy(page.list), "still maps");
    EXPECT_DEATH(nKZKAL220_tSGL_destroy(page.sgl), "still mapped");
    nKZKAL220_tSGL_unmap(page.sgl);
    EXPECT_DEATH(nKZKAL220_tPageList_destroy(page.list), "kernel space");
}

// Links the bridge could not follow end the walk instead of being guessed at.
TEST_F(StandIn, WalkerStopsAtWhatItCannotFollow) {
    MappedPage page;
    uint8_t* memory = page.memory;
    const uint64_t bus = page.bus;
    const auto put32 = [&](uint32_t offset, uint32_t value) { std::memcpy(memory + offset, &value, 4); };
    const auto put64 = [&](uint32_t offset, uint64_t value) { std::memcpy(memory + offset, &value, 8); };
    // Link at 0: one descriptor, then a link at 512 with an entry of neither kind.
    put32(0, 24);
    put64(8, bus + 512);
    put32(16, 8);
    put64(24, 0x1000);
    put32(512 + 4, 0x80000000);
    put32(512 + 20, 0x1234);
    nKZKAL220_tSGL_prepareForDMA(page.sgl);
    const struct {
        uint32_t usedLength;
        board::WalkEnd end;
        size_t entries;
    } cases[] = {{32, board::WalkEnd::BadLink, 1}, {8, board::WalkEnd::BadLink, 0}, {20, board::WalkEnd::BadLink, 0},
                 {16, board::WalkEnd::BadLink, 0}};
    for (const auto& c : cases) {
        const board::LinkWalk walked = board::walkLinks(port(), bus, c.usedLength);
        EXPECT_EQ(walked.end, c.end) << c.usedLength;
        EXPECT_EQ(walked.entries.size(), c.entries) << c.usedLength;
    }
    // A header-only link at 0 follows to 512 with used length 24; at the next link, the walk
    // reads beyond the mapping.
    put32(0, 24);
    put64(8, bus + 4096);
    nKZKAL220_tSGL_prepareForDMA(page.sgl);
    EXPECT_EQ(board::walkLinks(port(), bus, 16).end, board::WalkEnd::Fault);
    EXPECT_EQ(kal::sim::takeDMAFaults().size(), 1u);
}

// The live counts a leak check compares: each kind of DMA object counts on its own, and describe
// names it.
TEST_F(StandIn, LiveObjectsCountPageListsPinsAndScatterGatherLists) {
    UserPages user(1);
    const kal::sim::LiveObjects before = kal::sim::liveObjects();
    void* allocated = nKZKAL220_tPageList_createFromAllocation(2, 0);
    void* pinned = nKZKAL220_tPageList_createFromUser(user.address(), 1, 0x10);
    void* sgl = nKZKAL220_tSGL_createForPCI(nullptr, 1);
    const kal::sim::LiveObjects live = kal::sim::liveObjects();
    EXPECT_EQ(live.pageLists, before.pageLists + 1);
    EXPECT_EQ(live.pinnedPageLists, before.pinnedPageLists + 1);
    EXPECT_EQ(live.scatterGatherLists, before.scatterGatherLists + 1);
    EXPECT_NE(live, before);
    {
        const std::string text = kal::sim::describe(live);
        for (const char* count : {", page lists 1", "pinned page lists 1", "scatter-gather lists 1"})
            EXPECT_NE(text.find(count), std::string::npos) << text;
    }
    nKZKAL220_tSGL_destroy(sgl);
    nKZKAL220_tPageList_destroy(pinned);
    nKZKAL220_tPageList_destroy(allocated);
    EXPECT_EQ(kal::sim::liveObjects(), before);
}

}  // namespace
}  // namespace dmatest
