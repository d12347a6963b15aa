// A direct DMA map under 32-bit addressing on a machine with memory above 4 GiB, end to end: the
// bridge's channel walks a finite list of the map's segments, and the bytes of the page above
// 4 GiB reach the device through the bounce buffer, and come back from it.
#include <algorithm>

#include "bridgeDma/streams.h"
#include "quolinTools/dma/sglController.h"

namespace bridgedma {
namespace {

using kzvorn_driver::nKZAPAL000::tDirectDMAMap;
using kzvorn_driver::nKZAPAL000::tDMAConfiguration;
using kzvorn_driver::nKZAPAL000::tPageList;

class DirectStreams : public Streams {
protected:
    void SetUp() override {
        Streams::SetUp();
        configure(tDMAConfiguration::kDMAType32);
        kal::sim::setMemoryOver4G(true);
    }
    void TearDown() override {
        kal::sim::setMemoryOver4G(false);
        Streams::TearDown();
    }
};

TEST_F(DirectStreams, ThePageAbove4GiBReachesTheDeviceThroughTheBounceBufferAndComesBack) {
    for (unsigned index : {1u, 0u}) {
        const bool fromDevice = index % 2 == 0;
        SCOPED_TRACE(fromDevice ? "from the device" : "to the device");
        UserPages user(3);
        if (fromDevice) std::fill(user.data(), user.data() + user.size(), 0);
        const std::vector<uint8_t> original(user.data(), user.data() + user.size());
        kal::sim::placeAbove4G(user.data() + kPage, kPage);
        tPageList pages;
        pages.handle = nKZKAL220_tPageList_createFromUser(user.address(), 3, 0x10);
        pages.size = user.size();
        auto s = stream(index);
        tStatus status;
        tDirectDMAMap map(configuration_);
        map.map(pages, 0, user.size(), fromDevice ? 1 : 0, status);
        ASSERT_EQ(map.getBounceRecordCount(), 1u);
        map.prepareForDMA();
        quolintools::tFiniteSGL finite;
        quolintools::tContinuousSGL continuous;
        quolintools::tFiniteAndContinuousSGL lists(&finite, &continuous, false);
        finite.initialize(configuration_, 512, status);
        continuous.initialize(configuration_, 512, status);
        map.resetSGLIterator();
        finite.addTransfer(map, status);
        lists.commit(status);
        s->controller.start(lists, true, status);
        s->controller.writeStreamAdditiveTransferCount(1 << 20, status);
        ASSERT_EQ(status.code, 0);
        for (const board::LinkEntry& entry : walk(finite.getLinkInformation()).entries)
            EXPECT_LE(entry.address + entry.count, dmatest::k4GiB);
        EXPECT_EQ(engine->pump(index, 1 << 20), user.size());

        if (fromDevice) {
            // The page above 4 GiB is the caller's again once the transfer is complete.
            for (uint64_t k = 0; k < kPage; ++k) ASSERT_EQ(user.data()[kPage + k], 0) << k;
            map.completeDMA(s->controller.getTransferCount(status));
            for (uint64_t k = 0; k < user.size(); ++k) ASSERT_EQ(user.data()[k], board::dmaPatternByte(0, k)) << k;
        } else {
            const auto sink = engine->sink(index);
            EXPECT_TRUE(std::vector<uint8_t>(sink.begin(), sink.end()) == original);
        }
        s->controller.stop(status);
        EXPECT_EQ(status.code, 0);
        map.unmap();
    }
    EXPECT_EQ(engine->dmaFaults(), 0u);
}

}  // namespace
}  // namespace bridgedma
