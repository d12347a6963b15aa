// DMA buffers and device mappings over the kernel layer's page and scatter-gather lists.
#include <iterator>
#include <memory>

#include "dma/fixture.h"

namespace dmatest {
namespace {

using DMAMap = DMAFixture;

kal::sim::SGLRecord onlySGL() {
    const kal::sim::DMAState state = kal::sim::dmaState();
    EXPECT_EQ(state.sgls.size(), 1u);
    return state.sgls.empty() ? kal::sim::SGLRecord{} : state.sgls.front();
}

TEST_F(DMAMap, AllocationFlagsFollowTheAddressingAndTheNode) {
    const struct {
        uint32_t type;
        int32_t node;
        uint32_t flags;
        uint32_t kernelFlags;
    } cases[] = {
        {tDMAConfiguration::kDMAType32, -1, 5, 7}, {tDMAConfiguration::kDMAType64, -1, 5, 5},
        {tDMAConfiguration::kDMAType32, -1, 4, 6}, {tDMAConfiguration::kDMAType64, 1, 5, 5},
        {tDMAConfiguration::kDMAType32, 0, 0, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "type " << c.type << ", node " << c.node << ", flags " << c.flags);
        configure(c.type, c.node);
        tStatus status;
        tPageList pages;
        configuration_.allocateDMABuffer(pages, 1, c.flags, status, 512);
        ASSERT_TRUE(status.isSuccess());
        EXPECT_EQ(pages.size, 4096u);
        EXPECT_EQ(pages.offset, 0u);
        const auto state = kal::sim::dmaState();
        ASSERT_EQ(state.pageLists.size(), 1u);
        EXPECT_EQ(state.pageLists[0].flags, c.kernelFlags);
        EXPECT_EQ(state.pageLists[0].pages, 1u);
        EXPECT_EQ(state.pageLists[0].numaForm, c.node != -1);
        if (c.node != -1) {
            EXPECT_EQ(state.pageLists[0].node, c.node);
        }
        configuration_.freeDMABuffer(pages);
        EXPECT_EQ(pages.handle, nullptr);
    }
}

TEST_F(DMAMap, AllocationFailures) {
    const struct {
        const char* why;
        uint32_t type;
        uint64_t alignment;
        const char* failingCall;
        int64_t code;
    } cases[] = {
        {"no DMA", tDMAConfiguration::kDMATypeNone, 512, nullptr, nKZAPALS100::kStatusFeatureNotSupported},
        {"alignment 0", tDMAConfiguration::kDMAType64, 0, nullptr, nKZAPALS100::kStatusBadParameter},
        {"alignment above the page", tDMAConfiguration::kDMAType64, 8192, nullptr, nKZAPALS100::kStatusBadParameter},
        {"no pages", tDMAConfiguration::kDMAType64, 512, "tPageList_createFromAllocation",
         nKZAPALS100::kStatusMemoryFull},
    };
    configure(tDMAConfiguration::kDMAType64);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        configuration_.type = c.type;
        std::unique_ptr<kal::sim::FailKernelCall> refuse;
        if (c.failingCall != nullptr) refuse = std::make_unique<kal::sim::FailKernelCall>(c.failingCall);
        tStatus status;
        tPageList pages;
        configuration_.allocateDMABuffer(pages, 4096, 5, status, c.alignment);
        EXPECT_EQ(status.getCode(), c.code);
        EXPECT_EQ(pages.size, 0u);
        EXPECT_EQ(pages.handle, nullptr);
    }
}

TEST_F(DMAMap, ReserveGrowsOnly) {
    configure(tDMAConfiguration::kDMAType64);
    const struct {
        uint64_t size;
        uint64_t capacity;
        bool newList;
    } cases[] = {{1, 1, true},     {2, 2, true},     {4096, 2, false}, {4097, 3, true},
                 {1, 3, false},    {8192, 3, false}, {8193, 4, true}};
    tStandardDMAMap map(configuration_);
    uint64_t list = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "size " << c.size);
        tStatus status;
        map.reserve(c.size, status);
        EXPECT_TRUE(status.isSuccess());
        EXPECT_EQ(map.getCapacity(), c.capacity);
        const auto& sgl = onlySGL();
        EXPECT_EQ(sgl.capacity, c.capacity);
        EXPECT_EQ(sgl.id != list, c.newList);
        list = sgl.id;
    }
    {
        kal::sim::FailKernelCall refuse("tSGL_createForPCI");
        tStatus status;
        map.reserve(1 << 20, status);
        EXPECT_EQ(status.getCode(), nKZAPALS100::kStatusMemoryFull);
        EXPECT_EQ(map.getCapacity(), 4u);
        EXPECT_EQ(onlySGL().id, list);
    }
    map.release();
    EXPECT_EQ(map.getCapacity(), 0u);
    EXPECT_TRUE(kal::sim::dmaState().sgls.empty());
}

TEST_F(DMAMap, SegmentsInOrderThenNothing) {
    configure(tDMAConfiguration::kDMAType64);
    tStatus status;
    tPageList pages;
    configuration_.allocateDMABuffer(pages, 3 * 4096, 0, status, 4096);
    tStandardDMAMap map(configuration_);
    map.map(pages, 100, 2 * 4096, 1, status);
    ASSERT_TRUE(status.isSuccess());
    EXPECT_EQ(map.numSGLSegments(), 3u);
    const uint64_t lengths[] = {4096 - 100, 4096, 100};
    for (int pass = 0; pass < 2; ++pass) {
        map.resetSGLIterator();
        for (uint64_t length : lengths) {
            ASSERT_TRUE(map.moreSGLSegments());
            const tSGLSegment segment = map.nextSGLSegment();
            EXPECT_EQ(segment.length, length);
            EXPECT_GE(segment.address, k4GiB);
        }
        EXPECT_FALSE(map.moreSGLSegments());
        const tSGLSegment none = map.nextSGLSegment();
        EXPECT_EQ(none.address, 0u);
        EXPECT_EQ(none.length, 0u);
        EXPECT_EQ(map.getSegmentIndex(), 3u);
    }
    const auto& sgl = onlySGL();
    EXPECT_TRUE(sgl.fromDevice);
    EXPECT_EQ(sgl.byteOffset, 100u);

    // Nothing to give back for no bytes.
    map.completeDMA(0);
    EXPECT_EQ(onlySGL().completions, 0u);
    map.completeDMA(5);
    EXPECT_EQ(onlySGL().completions, 1u);
    map.unmap();
    EXPECT_EQ(map.numSGLSegments(), 0u);
    configuration_.freeDMABuffer(pages);
}

// A failed map is unmapped again, but keeps the list the earlier maps reserved.
TEST_F(DMAMap, FailedMapKeepsTheList) {
    configure(tDMAConfiguration::kDMAType64);
    const struct {
        int32_t kernelCode;  // 0: a range beyond the page list
        int64_t code;
    } cases[] = {{0, nKZAPALS100::kStatusBadParameter},
                 {KZKAL_ERR_MEMORY_FULL, nKZAPALS100::kStatusMemoryFull},
                 {KZKAL_ERR_TIMEOUT, nKZAPALS100::kStatusTimeout},
                 {-51999, nKZAPALS100::kStatusSoftwareFault}};
    tStatus status;
    tPageList pages;
    configuration_.allocateDMABuffer(pages, 2 * 4096, 0, status, 4096);
    tStandardDMAMap map(configuration_);
    map.map(pages, 0, 2 * 4096, 0, status);
    map.unmap();
    ASSERT_TRUE(status.isSuccess());
    for (const auto& c : cases) {
        std::unique_ptr<kal::sim::FailKernelCall> refuse;
        if (c.kernelCode != 0) refuse = std::make_unique<kal::sim::FailKernelCall>("tSGL_map", 1, 1, c.kernelCode);
        tStatus failed;
        map.map(pages, 4096, c.kernelCode != 0 ? 4096 : 2 * 4096, 0, failed);
        EXPECT_EQ(failed.getCode(), c.code);
        EXPECT_EQ(map.getOffset(), 0u);
        EXPECT_EQ(map.getSize(), 0u);
        EXPECT_EQ(map.getSegmentIndex(), 0u);
        EXPECT_EQ(map.getCapacity(), 3u);
        EXPECT_FALSE(onlySGL().mapped);
    }
    configuration_.freeDMABuffer(pages);
}

}  // namespace
}  // namespace dmatest
