// Link lists as the bridge walks them through the host-memory port.
#include <iterator>

#include "dma/fixture.h"
#include "quolinTools/dma/sglController.h"

namespace dmatest {
namespace {

using tLink = tQuolinSGLChunkyLink;

class LinkList : public DMAFixture {
protected:
    void SetUp() override {
        DMAFixture::SetUp();
        configure(tDMAConfiguration::kDMAType64);
    }

    // Descriptors with distinct addresses and counts: i-th at 0x1'0000'0000 + i * 0x1000.
    static void fill(tQuolinSGL& list, uint32_t count, tStatus& status, uint32_t first = 0) {
        for (uint32_t i = first; i < first + count; ++i) list.addTransfer(k4GiB + i * 0x1000ull, 64 + i, status, false);
    }

    static std::vector<const tLink*> links(const tQuolinSGL& list) {
        std::vector<const tLink*> result;
        for (const tLink* link = list.getFirstLink(); link != nullptr; link = link->getNext()) {
            result.push_back(link);
            if (link == list.getLastLink()) break;
        }
        return result;
    }

    static size_t blocks(const tQuolinSGL& list) {
        size_t count = 0;
        for (auto* block = list.getNewestBlock(); block != nullptr; block = block->next) ++count;
        return count;
    }
};

TEST_F(LinkList, LayoutOverLinkSizesAndEntryCounts) {
    struct Case {
        uint32_t linkSize;
        uint32_t descriptors;
        size_t links;
        uint64_t stride;  // between neighbouring links of one block
        size_t blocks;
    };
    const Case cases[] = {
        {512, 31, 1, 0, 1},     // 16 + 31 x 16 fills the link
        {512, 32, 2, 512, 1},   // the 32nd opens a second link
        {512, 248, 8, 512, 1},  // a 4096-byte block holds 8
        {512, 249, 9, 512, 2},  // the 9th starts a new block
        {600, 37, 2, 1024, 1},  // 36 fit; links on 512-byte boundaries
        {4096, 256, 2, 0, 2},   // a link per page
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "link size " << c.linkSize << ", " << c.descriptors << " descriptors");
        tStatus status;
        tQuolinSGL list;
        list.initialize(configuration_, c.linkSize, status);
        fill(list, c.descriptors, status);
        ASSERT_TRUE(status.isSuccess());
        list.makeFinite();
        const auto chain = links(list);
        EXPECT_EQ(chain.size(), c.links);
        EXPECT_EQ(blocks(list), c.blocks);
        for (size_t i = 1; i < chain.size() && i < 8 && c.stride != 0; ++i)
            EXPECT_EQ(chain[i]->getBusAddress() - chain[i - 1]->getBusAddress(), c.stride);
        const board::LinkWalk walked = walk(list.getLinkInformation());
        EXPECT_EQ(walked.end, board::WalkEnd::LastLink);
        ASSERT_EQ(walked.entries.size(), c.descriptors);
        for (uint32_t i = 0; i < c.descriptors; ++i) {
            EXPECT_EQ(walked.entries[i].address, k4GiB + i * 0x1000ull);
            EXPECT_EQ(walked.entries[i].count, 64 + i);
        }
    }
}

TEST_F(LinkList, FiniteHeadersOfATwoLinkList) {
    tStatus status;
    tQuolinSGL list;
    list.initialize(configuration_, 512, status);
    fill(list, 32, status);
    list.makeFinite();
    ASSERT_TRUE(status.isSuccess());
    const tLink& first = *list.getFirstLink();
    const tLink& second = *list.getLastLink();
    EXPECT_EQ(word32(first, 0), 32u);
    EXPECT_EQ(word32(first, 4), 0u);
    EXPECT_EQ(word64(first, 8), second.getBusAddress());
    EXPECT_EQ(word32(second, 0), 0u);
    EXPECT_EQ(word32(second, 4), 0x80000000u);
    EXPECT_EQ(word64(second, 8), 0u);
    // The device reads what the processor wrote.
    const board::LinkWalk walked = walk(list.getLinkInformation());
    ASSERT_EQ(walked.links.size(), 2u);
    EXPECT_EQ(walked.links[0].nextUsedLength, 32u);
    EXPECT_EQ(walked.links[1].flags, 0x80000000u);
}

TEST_F(LinkList, StartNewLinkOnlyAfterAnEntry) {
    tStatus status;
    tQuolinSGL list;
    list.initialize(configuration_, 512, status);
    list.addTransfer(0x1000, 16, status, true);
    EXPECT_EQ(links(list).size(), 1u);
    EXPECT_EQ(list.getLastLink()->getUsedLength(), 32u);
    list.addTransfer(0x2000, 16, status, true);
    EXPECT_EQ(links(list).size(), 2u);
    list.addTransfer(0x3000, 0, status, false);
    EXPECT_EQ(status.getCode(), nKZAPALS100::kStatusBadParameter);
    EXPECT_EQ(list.getLastLink()->getUsedLength(), 32u);
}

TEST_F(LinkList, OneLinkRingRepeatsItsEntriesWithoutASeam) {
    tStatus status;
    tQuolinSGL list;
    list.initialize(configuration_, 512, status);
    fill(list, 3, status);
    list.makeContinuous(true, status);
    ASSERT_TRUE(status.isSuccess());
    const auto chain = links(list);
    ASSERT_EQ(chain.size(), 2u);
    // 10 whole copies and 1 descriptor; then 2 descriptors and whole copies while 48 bytes fit.
    EXPECT_EQ(chain[0]->getUsedLength(), 16u + 31 * 16);
    EXPECT_EQ(chain[1]->getUsedLength(), 16u + 2 * 16 + 9 * 48);
    EXPECT_EQ(chain[1]->getNext(), chain[0]);
    const board::LinkWalk walked = walk(list.getLinkInformation(), 3);
    EXPECT_EQ(walked.end, board::WalkEnd::Laps);
    ASSERT_EQ(walked.entries.size(), 3u * (31 + 29));
    for (size_t i = 0; i < walked.entries.size(); ++i)
        ASSERT_EQ(walked.entries[i].address, k4GiB + (i % 3) * 0x1000ull) << "entry " << i;
    EXPECT_EQ(walked.links[1].flags, 0x40000000u);

    // A second close of the unchanged pair changes no byte.
    const std::vector<uint8_t> before(chain[0]->getKernelAddress(), chain[0]->getKernelAddress() + 1024);
    list.makeContinuous(true, status);
    const std::vector<uint8_t> after(chain[0]->getKernelAddress(), chain[0]->getKernelAddress() + 1024);
    EXPECT_EQ(before, after);
    EXPECT_TRUE(status.isSuccess());
}

TEST_F(LinkList, LongRingIsBalancedAndPlaysInOrder) {
    tStatus status;
    tQuolinSGL list;
    list.initialize(configuration_, 512, status);
    fill(list, 31 * 3 + 2, status);
    list.makeContinuous(false, status);
    ASSERT_TRUE(status.isSuccess());
    const auto chain = links(list);
    ASSERT_EQ(chain.size(), 4u);
    // The short last link was filled from the links before it.
    EXPECT_GT(chain[3]->getUsedLength(), 16u + 2 * 16);
    const board::LinkWalk walked = walk(list.getLinkInformation(), 2);
    ASSERT_EQ(walked.entries.size(), 2u * 95);
    for (size_t i = 0; i < walked.entries.size(); ++i)
        ASSERT_EQ(walked.entries[i].address, k4GiB + (i % 95) * 0x1000ull) << "entry " << i;
    EXPECT_EQ(walked.links[3].flags, 0u);
}

// A ring plays every entry once per lap in the order added: entries that a balance pulls into the
// first link before it is repeated, and entries added after the ring was closed, which go behind
// the repeats of a one-link ring.
TEST_F(LinkList, RingPlaysEachEntryOncePerLapInOrder) {
    struct Entry {
        uint32_t index;
        bool startNewLink;
    };
    struct Case {
        const char* name;
        uint32_t linkSize;
        std::vector<std::vector<Entry>> closings;  // entries appended before each makeContinuous
    };
    const Case cases[] = {
        {"C in a link begun on request", 512, {{{0, false}, {1, false}, {2, true}}}},
        {"C pulled into a 64-byte first link", 64, {{{0, false}, {1, false}, {2, true}}}},
        {"one entry a link", 32, {{{0, false}, {1, false}, {2, false}}}},
        {"B added to a closed one-link ring", 512, {{{0, false}}, {{1, false}}}},
        {"B added to a closed 32-byte ring", 32, {{{0, false}}, {{1, false}}}},
        {"B and C in a link begun on request", 512, {{{0, false}}, {{1, true}, {2, false}}}},
        {"closed three times", 32, {{{0, false}}, {{1, false}}, {{2, false}}}},
        {"closed again unchanged", 512, {{{0, false}, {1, false}}, {}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tStatus status;
        tQuolinSGL list;
        list.initialize(configuration_, c.linkSize, status);
        std::vector<uint64_t> added;
        for (const auto& entries : c.closings) {
            for (const Entry& e : entries) {
                added.push_back(k4GiB + e.index * 0x1000ull);
                list.addTransfer(added.back(), 64 + e.index, status, e.startNewLink);
            }
            list.makeContinuous(true, status);
        }
        ASSERT_TRUE(status.isSuccess());
        const board::LinkWalk walked = walk(list.getLinkInformation(), 3);
        EXPECT_EQ(walked.end, board::WalkEnd::Laps);
        ASSERT_FALSE(walked.entries.empty());
        EXPECT_EQ(walked.entries.size() % added.size(), 0u);
        for (size_t i = 0; i < walked.entries.size(); ++i)
            ASSERT_EQ(walked.entries[i].address, added[i % added.size()]) << "entry " << i;
    }
}

// Payload: descriptor (upper address word 0) [0,16), self-configuration [16,24), descriptor with an
// upper address word [24,40), descriptor (upper word 0) [40,56).
TEST_F(LinkList, EntryBoundariesNeverCutADescriptor) {
    tStatus status;
    tQuolinSGL list;
    list.initialize(configuration_, 512, status);
    list.addTransfer(0x1000, 8, status, false);
    list.addSelfConfig(0x10, 1, 4, status, false);
    list.addTransfer(0x200002000ull, 8, status, false);
    list.addTransfer(0x3000, 8, status, false);
    ASSERT_TRUE(status.isSuccess());
    const struct {
        uint32_t offset;
        uint32_t boundary;
    } cases[] = {{0, 0}, {5, 0}, {8, 0}, {16, 16}, {20, 16}, {24, 24}, {32, 24}, {40, 40}, {43, 40}, {48, 40}, {56, 56}};
    for (const auto& c : cases)
        EXPECT_EQ(tLink::findEntryBoundary(*list.getFirstLink(), c.offset), c.boundary) << "offset " << c.offset;
}

TEST_F(LinkList, ClearKeepsTheOldestBlockAndAnEmptyFirstLink) {
    tStatus status;
    tQuolinSGL list;
    list.initialize(configuration_, 512, status);
    const uint64_t firstAddress = list.getLinkInformation().busAddress;
    fill(list, 31 * 16 + 1, status);
    list.makeFinite();
    ASSERT_EQ(blocks(list), 3u);
    list.clear();
    EXPECT_EQ(blocks(list), 1u);
    EXPECT_EQ(list.getNewestBlock()->consumed, 512u);
    EXPECT_EQ(list.getFirstLink(), list.getLastLink());
    EXPECT_EQ(list.getLinkInformation().busAddress, firstAddress);
    EXPECT_EQ(list.getLinkInformation().usedLength, 16u);
    // The whole header is zero, so the empty link points nowhere.
    for (uint32_t offset = 0; offset < 16; offset += 4) EXPECT_EQ(word32(*list.getFirstLink(), offset), 0u);
    EXPECT_EQ(kal::sim::dmaState().pageLists.size(), 1u);

    // Refilling takes the old place; a new link over old link memory starts with a zero header.
    fill(list, 32, status);
    EXPECT_EQ(kal::sim::dmaState().pageLists.size(), 1u);
    const tLink& second = *list.getLastLink();
    EXPECT_EQ(second.getBusAddress(), firstAddress + 512);
    EXPECT_EQ(word32(second, 0), 0u);
    EXPECT_EQ(word32(second, 4), 0u);
    EXPECT_EQ(word64(second, 8), 0u);
}

TEST_F(LinkList, SelfConfigurationEntries) {
    const struct {
        uint32_t offset;
        uint32_t data;
        uint32_t width;
        uint32_t dataWord;
        uint32_t controlWord;
    } cases[] = {
        {0x54, 0xAB, 1, 0xABABABAB, 0x80000054}, {0x54, 0xABCD, 2, 0xABCDABCD, 0x88000054},
        {0x60, 0x12345678, 4, 0x12345678, 0x90000060}, {0x60, 0x123456, 3, 0x123456, 0x98000060},
        {0x7FFFFFF, 7, 0, 7, 0x9FFFFFFF},
    };
    tStatus status;
    tQuolinSGL list;
    list.initialize(configuration_, 512, status);
    for (const auto& c : cases) list.addSelfConfig(c.offset, c.data, c.width, status, false);
    list.makeFinite();
    ASSERT_TRUE(status.isSuccess());
    const board::LinkWalk walked = walk(list.getLinkInformation());
    ASSERT_EQ(walked.entries.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_TRUE(walked.entries[i].selfConfig);
        EXPECT_EQ(walked.entries[i].data, cases[i].dataWord);
        EXPECT_EQ(walked.entries[i].control, cases[i].controlWord);
    }
}

// A width beyond the code table, or an offset that would reach the width code, appends nothing,
// not even a link.
TEST_F(LinkList, SelfConfigurationRefusesWhatTheControlWordCannotHold) {
    for (const auto& bad : {std::pair<uint32_t, uint32_t>{0x54, 5}, {0x54, 0xFFFFFFFF}, {0x8000000, 4}}) {
        tStatus status;
        tQuolinSGL list;
        list.initialize(configuration_, 32, status);
        list.addTransfer(0x1000, 4, status, false);
        list.addSelfConfig(bad.first, 1, bad.second, status, false);
        EXPECT_EQ(status.getCode(), nKZAPALS100::kStatusBadParameter);
        EXPECT_EQ(links(list).size(), 1u);
        EXPECT_EQ(list.getLastLink()->getUsedLength(), 32u);
    }
}

TEST_F(LinkList, LinkMemoryNeedsDMAAndAWholePageOfLinks) {
    {
        tStatus status;
        tQuolinSGL list;
        kal::sim::setPageSize(1000);
        list.initialize(configuration_, 512, status);
        kal::sim::setPageSize(0);
        EXPECT_EQ(status.getCode(), nKZAPALS100::kStatusBadParameter);
        EXPECT_EQ(list.getFirstLink(), nullptr);
    }
    tStatus status;
    tDMAConfiguration none;
    tQuolinSGL list;
    list.initialize(none, 512, status);
    EXPECT_EQ(status.getCode(), nKZAPALS100::kStatusFeatureNotSupported);
    EXPECT_EQ(list.getFirstLink(), nullptr);
}

// Link memory the kernel layer maps in several segments: links only fit into the first.
TEST_F(LinkList, FirstSegmentShorterThanALinkIsRefused) {
    struct Scattered : tDMAConfiguration {
        void allocateDMABuffer(tPageList& pages, uint64_t size, uint32_t flags, tStatus& status,
                               uint64_t alignment) override {
            tDMAConfiguration::allocateDMABuffer(pages, size, flags & ~1u, status, alignment);
        }
    } scattered;
    scattered.type = configuration_.type;
    scattered.description = configuration_.description;
    tStatus status;
    tQuolinSGL list;
    list.initialize(scattered, 8192, status);
    EXPECT_EQ(status.getCode(), nKZAPALS100::kStatusMemoryFull);
    EXPECT_EQ(list.getFirstLink(), nullptr);
    EXPECT_TRUE(kal::sim::dmaState().pageLists.empty());
}

// A list without a first link (its initialize failed) appends, commits and closes nothing.
TEST_F(LinkList, UninitializedListRefusesUse) {
    quolintools::tFiniteSGL finite;
    quolintools::tContinuousSGL continuous;
    tStatus failed;
    {
        kal::sim::FailKernelCall refuse("tPageList_createFromAllocation");
        finite.initialize(configuration_, 512, failed);
    }
    ASSERT_EQ(failed.getCode(), nKZAPALS100::kStatusMemoryFull);
    tStatus status;
    continuous.initialize(configuration_, 512, status);
    continuous.tQuolinSGL::addTransfer(0x1000, 8, status, false);
    ASSERT_TRUE(status.isSuccess());

    const auto expectNotInitialized = [](auto operation) {
        tStatus s;
        operation(s);
        EXPECT_EQ(s.getCode(), nKZAPALS100::kStatusNoKernelMapping);
    };
    expectNotInitialized([&](tStatus& s) { finite.tQuolinSGL::addTransfer(0x1000, 8, s, false); });
    expectNotInitialized([&](tStatus& s) { finite.addSelfConfig(0x10, 1, 4, s, false); });
    expectNotInitialized([&](tStatus& s) { finite.commit(s); });
    expectNotInitialized([&](tStatus& s) { finite.makeFinite(s); });
    expectNotInitialized([&](tStatus& s) { finite.connect(continuous, s); });
    expectNotInitialized([&](tStatus& s) { finite.tQuolinSGL::makeContinuous(true, s); });
    finite.tQuolinSGL::commit();
    finite.disconnect();
    EXPECT_TRUE(finite.isEmpty());
    EXPECT_EQ(finite.getLinkInformation().busAddress, 0u);
}

// A list closed, extended and closed again runs to its new end.
TEST_F(LinkList, RestartAfterAppendReachesTheNewEnd) {
    tStatus status;
    quolintools::tFiniteSGL finite;
    finite.initialize(configuration_, 512, status);
    fill(finite, 20, status);
    finite.makeFinite(status);
    EXPECT_EQ(walk(finite).entries.size(), 20u);
    fill(finite, 20, status, 20);
    finite.makeFinite(status);
    ASSERT_TRUE(status.isSuccess());
    const board::LinkWalk walked = walk(finite);
    EXPECT_EQ(walked.end, board::WalkEnd::LastLink);
    ASSERT_EQ(walked.entries.size(), 40u);
    EXPECT_EQ(walked.entries[39].address, k4GiB + 39 * 0x1000ull);
    EXPECT_EQ(walked.links[0].flags, 0u);
}

// A finite list that ran alone, then chained into a ring, enters the ring; cut again, it ends.
TEST_F(LinkList, ClosedFiniteListEntersTheRingItIsConnectedTo) {
    tStatus status;
    quolintools::tFiniteSGL finite;
    quolintools::tContinuousSGL continuous;
    quolintools::tFiniteAndContinuousSGL lists(&finite, &continuous, false);
    finite.initialize(configuration_, 512, status);
    continuous.initialize(configuration_, 512, status);
    fill(finite, 2, status);
    lists.commit(status);
    EXPECT_EQ(walk(finite).end, board::WalkEnd::LastLink);
    fill(continuous, 3, status, 100);
    lists.commit(status);
    ASSERT_TRUE(status.isSuccess());
    EXPECT_TRUE(finite.isConnected());
    board::LinkWalk walked = walk(finite, 2);
    EXPECT_EQ(walked.end, board::WalkEnd::Laps);
    ASSERT_GT(walked.entries.size(), 5u);
    EXPECT_EQ(walked.entries[1].address, k4GiB + 1 * 0x1000ull);
    EXPECT_EQ(walked.entries[2].address, k4GiB + 100 * 0x1000ull);
    // Without the ring-pair marking when a finite list leads in.
    EXPECT_EQ(walked.links.back().flags & 0x40000000u, 0u);

    finite.disconnect();
    walked = walk(finite);
    EXPECT_EQ(walked.end, board::WalkEnd::LastLink);
    EXPECT_EQ(walked.entries.size(), 2u);
}

// Descriptors count 32 bits; longer segments are split.
TEST_F(LinkList, LongSegmentsBecomeSeveralDescriptors) {
    struct Segments : tDMAMapCore {
        explicit Segments(tDMAConfiguration& configuration) : tDMAMapCore(configuration) {}
        void reserve(uint64_t, tStatus&) override {}
        void release() override {}
        void map(tPageList&, uint64_t, uint64_t, uint32_t, tStatus&) override {}
        void unmap() override {}
        void prepareForDMA() override {}
        void completeDMA(uint64_t) override {}
        uint32_t numSGLSegments() const override { return 3; }
        void resetSGLIterator() override { index = 0; }
        bool moreSGLSegments() const override { return index < 3; }
        tSGLSegment nextSGLSegment() override {
            const tSGLSegment segments[] = {{0x10000, 0x100000005ull}, {0x20000, 0xFFFFFFFF}, {0x30000, 0x200000000ull}};
            return index < 3 ? segments[index++] : tSGLSegment{0, 0};
        }
        uint32_t index = 0;
    } map(configuration_);
    tStatus status;
    tQuolinSGL list;
    list.initialize(configuration_, 512, status);
    list.addTransfer(map, status);
    ASSERT_TRUE(status.isSuccess());
    const struct {
        uint32_t count;
        uint64_t address;
    } expected[] = {{0xFFFFFFFF, 0x10000},          {6, 0x10000 + 0xFFFFFFFFull},   {0xFFFFFFFF, 0x20000},
                    {0xFFFFFFFF, 0x30000},          {0xFFFFFFFF, 0x30000 + 0xFFFFFFFFull},
                    {2, 0x30000 + 0x1FFFFFFFEull}};
    ASSERT_EQ(list.getFirstLink()->getUsedLength(), 16u + 16 * std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(word32(*list.getFirstLink(), 16 + 16 * i), expected[i].count);
        EXPECT_EQ(word64(*list.getFirstLink(), 24 + 16 * i), expected[i].address);
    }
}

// The three operations nothing in the system calls.
TEST_F(LinkList, RingAndEndWithoutCommit) {
    const auto prepares = [] {
        uint64_t count = 0;
        for (const auto& sgl : kal::sim::dmaState().sgls) count += sgl.prepares;
        return count;
    };
    tStatus status;
    tQuolinSGL list;
    list.initialize(configuration_, 512, status);
    fill(list, 32, status);
    list.makeContinuous(status);
    EXPECT_EQ(word32(*list.getLastLink(), 4), 0x40000000u);

    fill(list, 31, status, 32);
    const uint64_t before = prepares();
    list.linkLastToFirst();
    EXPECT_EQ(list.getLastLink()->getNext(), list.getFirstLink());
    EXPECT_EQ(word32(*list.getLastLink(), 4), 0u);
    list.endAtLastLink();
    EXPECT_EQ(list.getLastLink()->getNext(), nullptr);
    EXPECT_EQ(word32(*list.getLastLink(), 4), 0x80000000u);
    EXPECT_EQ(prepares(), before);
    EXPECT_TRUE(status.isSuccess());
}

TEST_F(LinkList, EmptyListIsNoRing) {
    tStatus status;
    tQuolinSGL list;
    list.initialize(configuration_, 512, status);
    list.makeContinuous(true, status);
    EXPECT_EQ(status.getCode(), nKZAPALS100::kStatusBadParameter);
    EXPECT_EQ(list.getFirstLink(), list.getLastLink());
}

}  // namespace
}  // namespace dmatest
