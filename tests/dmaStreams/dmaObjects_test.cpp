// Level 14's objects over the board: the addressing first, then the streams and the dispatcher.
#include "device/dmaObjects.h"
#include "fixture.h"
#include "kal/sim/faults.h"

namespace dmastreams {
namespace {

constexpr uint64_t k4GiB = uint64_t{1} << 32;

struct Level14 : Streams {
    void SetUp() override {}  // the objects under test build the group
};

TEST_F(Level14, AddressingThenStreamsThenTheDispatcher) {
    board.bar(0).store(0xA4, 4, 0x00000011);
    board.log().clear();
    {
        kzvorn_driver::DMAObjects objects(*device, *pavo, *niso, channels, st);
        EXPECT_EQ(st.code, 0);
        EXPECT_EQ(board.log().writesTo(0xA4), (std::vector<uint64_t>{0x8000C011}));
        ASSERT_NE(objects.getDispatcher(), nullptr);
        EXPECT_EQ(objects.getDispatcher()->getStreamCount(), 8u);
        EXPECT_NE(objects.getControllers()->getDMAStreamController(7), nullptr);
    }
    EXPECT_EQ(kal::sim::dmaState().pageLists.size(), 0u) << "the teardown releases the link memory";
}

// The platform refuses the 64-bit mask: every bus address the streams use lies below 4 GiB.
TEST_F(Level14, A32BitPlatformKeepsEveryBusAddressLow) {
    board.platform().dma64Accepted = false;
    kzvorn_driver::DMAObjects objects(*device, *pavo, *niso, channels, st);
    EXPECT_EQ(device->getDMAConfiguration().type, 1u);
    dmatest::UserPages user(2);
    tStatus status;
    objects.getDispatcher()->addTransfer(event, 0, 0, user.address(), 8192, 1, 1, session, status);
    EXPECT_EQ(status.code, 0);
    const auto state = kal::sim::dmaState();
    ASSERT_FALSE(state.sgls.empty());
    for (const auto& sgl : state.sgls)
        for (const auto& segment : sgl.segments) EXPECT_LE(segment.busAddress + segment.size, k4GiB);
    session.cleanup(status);
}

TEST_F(Level14, AFailureLeavesNoDispatcher) {
    board.bar(0).store(board::bar0::kDmaChannelOffset, 4, board::bar0::kSize);
    kzvorn_driver::DMAObjects objects(*device, *pavo, *niso, channels, st);
    EXPECT_EQ(st.code, -52003);
    EXPECT_EQ(objects.getDispatcher(), nullptr);
}

// Every kernel call the level makes, the DMA mask among them, failed one at a time: a failing
// status, and nothing left allocated, pinned or mapped once its objects are gone.
TEST_F(Level14, EveryKernelCallFailureLeavesObjectsThatDestroyCleanly) {
    std::vector<kal::sim::RecordKernelCalls::Calls> calls;
    {
        kal::sim::RecordKernelCalls record;
        tStatus status;
        kzvorn_driver::DMAObjects built(*device, *pavo, *niso, channels, status);
        ASSERT_EQ(status.code, 0);
        calls = record.calls();
    }
    ASSERT_FALSE(calls.empty());
    for (const auto& call : calls) {
        for (uint64_t nth = 1; nth <= call.count; ++nth) {
            kal::sim::FailKernelCall fail(call.name, nth);
            const int64_t live = kal::sim::liveAllocations();
            tStatus status;
            { kzvorn_driver::DMAObjects built(*device, *pavo, *niso, channels, status); }
            // A refused 64-bit mask is no failure: the device goes on with 32-bit addresses.
            if (call.name == "pciSetDMAMask" && nth == 1)
                EXPECT_EQ(device->getDMAConfiguration().type, 1u);
            else
                EXPECT_TRUE(status.isFatal()) << call.name << " " << nth;
            EXPECT_EQ(kal::sim::liveAllocations(), live) << call.name << " " << nth;
            EXPECT_TRUE(kal::sim::dmaState().pageLists.empty()) << call.name << " " << nth;
        }
    }
}

}  // namespace
}  // namespace dmastreams
