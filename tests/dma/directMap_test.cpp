// The direct DMA map: physical segments, and the bounce buffer that takes the stretches above
// 4 GiB when the device addresses 32 bits on a machine with memory above 4 GiB.
#include <memory>

#include "dma/fixture.h"

namespace dmatest {
namespace {

constexpr uint64_t kPage = 4096;

// Pinned user pages as a page list record, the range starting `offset` bytes into the first page.
struct Pinned {
    tPageList list;
    Pinned(UserPages& user, size_t pages, uint64_t offset = 0) {
        list.handle = nKZKAL220_tPageList_createFromUser(user.address(), uint32_t(pages), 0x10);
        list.offset = offset;
        list.size = pages * kPage - offset;
    }
};

class DirectMap : public DMAFixture {
protected:
    void SetUp() override {
        DMAFixture::SetUp();
        kal::sim::setMemoryOver4G(true);
    }
    void TearDown() override {
        kal::sim::setMemoryOver4G(false);
        DMAFixture::TearDown();
    }

    static std::vector<tSGLSegment> segments(tDMAMapCore& map) {
        std::vector<tSGLSegment> result;
        for (map.resetSGLIterator(); map.moreSGLSegments();) result.push_back(map.nextSGLSegment());
        return result;
    }
    // The bytes the device reads through the segments, in order.
    std::vector<uint8_t> deviceReads(tDMAMapCore& map) {
        std::vector<uint8_t> bytes;
        for (const tSGLSegment& s : segments(map)) {
            const size_t at = bytes.size();
            bytes.resize(at + s.length);
            EXPECT_TRUE(port().read(s.address, bytes.data() + at, s.length));
        }
        return bytes;
    }
    static uint32_t kernelMappings() {
        uint32_t count = 0;
        for (const auto& list : kal::sim::dmaState().pageLists) count += list.kernelMappings;
        return count;
    }
};

// Which stretches go through the bounce buffer, by addressing and machine: only 32-bit addressing
// on a machine with memory above 4 GiB redirects, and only the stretches that reach above it.
// Pages 0, 1 and 4 of six lie above 4 GiB; the range starts 100 bytes into page 0 and ends 50 bytes
// before the end of page 5. A stretch keeps its offset within the page in the bounce buffer.
TEST_F(DirectMap, StretchesAbove4GiBGoThroughTheBounceBufferBothWays) {
    struct Case {
        const char* name;
        uint32_t type;
        bool memoryOver4G;
        std::vector<tDirectDMAMap::tBounceRecord> records;
    };
    const uint64_t size = 6 * kPage - 100 - 50;
    const Case cases[] = {
        {"32-bit addressing", tDMAConfiguration::kDMAType32, true,
         {{0, 100, 2 * kPage - 100}, {4 * kPage - 100, 2 * kPage, kPage}}},
        {"64-bit addressing", tDMAConfiguration::kDMAType64, true, {}},
        {"no memory above 4 GiB", tDMAConfiguration::kDMAType32, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        configure(c.type);
        kal::sim::setMemoryOver4G(c.memoryOver4G);
        UserPages user(6);
        if (c.memoryOver4G) {
            kal::sim::placeAbove4G(user.data(), 2 * kPage);
            kal::sim::placeAbove4G(user.data() + 4 * kPage, kPage);
        }
        const std::vector<uint8_t> original(user.data() + 100, user.data() + 100 + size);
        Pinned pinned(user, 6, 100);
        tStatus status;
        {
            tDirectDMAMap map(configuration_);
            map.map(pinned.list, 0, size, 0, status);
            ASSERT_EQ(status.code, 0);
            ASSERT_EQ(map.getBounceRecordCount(), c.records.size());
            for (size_t i = 0; i < c.records.size(); ++i) {
                EXPECT_EQ(map.getBounceRecords()[i].rangeOffset, c.records[i].rangeOffset);
                EXPECT_EQ(map.getBounceRecords()[i].bounceOffset, c.records[i].bounceOffset);
                EXPECT_EQ(map.getBounceRecords()[i].length, c.records[i].length);
            }
            uint64_t total = 0;
            bool above = false;
            for (const tSGLSegment& s : segments(map)) {
                total += s.length;
                above = above || s.address + s.length > k4GiB;
            }
            EXPECT_EQ(total, size);
            EXPECT_EQ(above, c.records.empty() && c.memoryOver4G) << "only an unbounced high page lies above";

            // To the device: what it reads is the caller's bytes once prepared.
            map.prepareForDMA();
            EXPECT_EQ(deviceReads(map), original);
            EXPECT_EQ(kernelMappings(), 0u);
            map.unmap();

            // From the device: its bytes reach the caller's pages up to the count completed.
            map.map(pinned.list, 0, size, 1, status);
            ASSERT_EQ(status.code, 0);
            uint64_t at = 0;
            for (const tSGLSegment& s : segments(map)) {
                std::vector<uint8_t> written(s.length);
                for (uint64_t i = 0; i < s.length; ++i) written[i] = uint8_t(~original[at + i]);
                ASSERT_TRUE(port().write(s.address, written.data(), s.length));
                at += s.length;
            }
            const uint64_t count = kPage;  // ends inside the first stretch
            map.completeDMA(count);
            for (uint64_t i = 0; i < size; ++i) {
                bool bounced = false;
                for (const auto& r : c.records) bounced = bounced || (i >= r.rangeOffset && i < r.rangeOffset + r.length);
                const bool copied = !bounced || i < count;
                ASSERT_EQ(user.data()[100 + i], copied ? uint8_t(~original[i]) : original[i]) << "byte " << i;
            }
            map.unmap();
        }
        EXPECT_EQ(kal::sim::dmaState().pageLists.size(), 1u) << "the bounce buffer goes with the map";
    }
}

// Physically contiguous pages are one segment; the bounce buffer grows for a map that needs more
// and is kept for later maps.
TEST_F(DirectMap, SegmentsAndTheBounceBuffersSize) {
    configure(tDMAConfiguration::kDMAType32);
    UserPages user(8);
    kal::sim::placeAbove4G(user.data() + 2 * kPage, 4 * kPage);
    Pinned pinned(user, 8);
    tDirectDMAMap map(configuration_);
    tStatus status;
    map.map(pinned.list, 0, 2 * kPage, 0, status);
    EXPECT_EQ(segments(map).size(), 1u);
    EXPECT_EQ(map.getBounceBufferSize(), 0u);
    map.map(pinned.list, kPage, 2 * kPage, 0, status);
    EXPECT_EQ(map.getBounceBufferSize(), kPage);
    map.map(pinned.list, 0, 8 * kPage, 0, status);
    EXPECT_EQ(map.getBounceBufferSize(), 4 * kPage);
    EXPECT_EQ(map.getBounceRecordCount(), 1u);
    map.map(pinned.list, 2 * kPage, 10, 0, status);
    EXPECT_EQ(map.getBounceBufferSize(), 4 * kPage);
    EXPECT_EQ(status.code, 0);
    map.release();
    EXPECT_EQ(kal::sim::dmaState().pageLists.size(), 1u);
}

// Each refusal is a clear status, leaves the map unmapped and nothing mapped into kernel space;
// what reserve made stays until release.
TEST_F(DirectMap, RefusedMaps) {
    configure(tDMAConfiguration::kDMAType32);
    struct Case {
        const char* name;
        uint64_t offset;
        uint64_t size;
        const char* failingCall;
        uint64_t nth;
        bool failAllocation;
        int64_t code;
    };
    const Case cases[] = {
        {"a range past the list", kPage, 4 * kPage, nullptr, 0, false, nKZAPALS100::kStatusBadParameter},
        {"an empty range", 0, 0, nullptr, 0, false, nKZAPALS100::kStatusBadParameter},
        {"a page without a physical address", 0, 4 * kPage, "tPageList_getPhysicalAddress", 3, false,
         nKZAPALS100::kStatusNoKernelMapping},
        {"a high page that cannot be mapped", 0, 4 * kPage, "tPageList_mapOnePageToKernel", 2, false,
         nKZAPALS100::kStatusNoKernelMapping},
        {"no bounce buffer", 0, 4 * kPage, "tPageList_createFromAllocation", 1, false,
         nKZAPALS100::kStatusMemoryFull},
        {"no segment array", 0, 4 * kPage, nullptr, 0, true, nKZAPALS100::kStatusMemoryFull},
    };
    UserPages user(4);
    kal::sim::placeAbove4G(user.data() + kPage, 2 * kPage);
    Pinned pinned(user, 4);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tDirectDMAMap map(configuration_);
        tStatus status;
        {
            std::unique_ptr<kal::sim::FailKernelCall> refuse;
            if (c.failingCall != nullptr) refuse = std::make_unique<kal::sim::FailKernelCall>(c.failingCall, c.nth);
            std::unique_ptr<kal::sim::FailAllocations> noMemory;
            if (c.failAllocation) noMemory = std::make_unique<kal::sim::FailAllocations>(1);
            map.map(pinned.list, c.offset, c.size, 0, status);
        }
        EXPECT_EQ(status.code, c.code);
        EXPECT_EQ(map.getOffset(), 0u);
        EXPECT_EQ(map.getSize(), 0u);
        EXPECT_EQ(map.numSGLSegments(), 0u);
        EXPECT_EQ(map.getBounceRecordCount(), 0u);
        EXPECT_EQ(kernelMappings(), 0u);
        map.prepareForDMA();
        map.completeDMA(~uint64_t{0});
        EXPECT_EQ(kernelMappings(), 0u);
        // The map works again once nothing is refused.
        map.map(pinned.list, 0, 4 * kPage, 0, status = tStatus{});
        EXPECT_EQ(status.code, 0);
        EXPECT_EQ(map.getBounceRecordCount(), 1u);
    }
    EXPECT_EQ(kal::sim::dmaState().pageLists.size(), 1u);
}

}  // namespace
}  // namespace dmatest
