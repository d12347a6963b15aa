// The DMA level's interrupt path over the board: the group builds the bridge interrupt controller
// and the waiter table after the streams, a wait on a stream the dispatcher started is released
// by the board's notification, and the teardown masks the bridge interrupt.
#include <atomic>
#include <thread>

#include "dmaWaits/fixture.h"
#include "fixture.h"
#include "kal/sim/faults.h"
#include "kzkal/sync.h"
#include "quolinTools/dma/statusCodes.h"

namespace dmastreams {
namespace {

using dmatest::UserPages;
namespace ib = board::interruptBlock;

constexpr uint32_t kContinuous = 1;
constexpr uint64_t kPage = 4096;

using dmawaits::eventually;

TEST_F(Streams, TheGroupEnablesTheBridgeInterruptAndItsTeardownMasksIt) {
    dispatcher.reset();
    group.reset();
    board.log().clear();
    build(st);
    ASSERT_EQ(st.code, 0);
    EXPECT_EQ(board.log().writesTo(ib::kControl), (std::vector<uint64_t>{0x54000500, 0x94000500, 0x80000000}));
    for (unsigned s = 0; s < 8; ++s)
        EXPECT_EQ(board.log().writesTo(board::bar0::kDmaChannels + (s << board::bar0::kDmaChannelStrideLog2) + 0x58),
                  (std::vector<uint64_t>{2}))
            << "channel " << s << " reset";
    EXPECT_NE(group->getDMAInterruptController(), nullptr);
    board.log().clear();
    dispatcher.reset();
    group.reset();
    EXPECT_EQ(board.log().writesTo(ib::kControl), (std::vector<uint64_t>{0x40000000}));
}

TEST_F(Streams, AGroupWithoutItsWaiterTableStillDestroysEverything) {
    dispatcher.reset();
    group.reset();
    uint64_t mutexes = 0;
    {
        kal::sim::RecordKernelCalls record;
        tStatus status;
        QuolinDMAControllers built(*device, *pavo, *niso, channels, status);
        for (const auto& call : record.calls())
            if (call.name == "createMutex") mutexes += call.count;
    }
    // The waiter table's locks are the last made.
    kal::sim::FailKernelCall refuse("createMutex", mutexes);
    const int64_t live = kal::sim::liveAllocations();
    tStatus status;
    build(status);
    EXPECT_TRUE(status.isFatal());
    EXPECT_EQ(group->getDMAInterruptController(), nullptr);
    EXPECT_NE(group->getDMAStreamController(7), nullptr);
    dispatcher.reset();
    group.reset();
    EXPECT_EQ(kal::sim::liveAllocations(), live);
}

// A stream the dispatcher started; a thread waits for its bytes, the board moves them and its
// notification interrupt releases the wait.
TEST_F(Streams, AWaitIsReleasedByTheBoardsNotification) {
    UserPages user(1);
    add(0, kContinuous, user.address(), kPage);
    dispatcher->startDMA(0, true, session, st);
    dispatcher->writeStreamAdditiveTransferCount(0, 1 << 20, st);
    quolintools::QuolinDMAInterruptController& waits = *group->getDMAInterruptController();
    std::atomic<bool> done{false};
    tStatus waited;
    bool timedOut = true;
    std::thread waiter([&] {
        waits.waitUntilBytesTransferred(*group->getDMAStreamController(0), 0, 0, 8192, 0xFFFFFFFF, timedOut, waited);
        done = true;
    });
    ASSERT_TRUE(eventually([&] { return engine.channel(0).armed; }));
    EXPECT_EQ(engine.pump(0, 8191), 8191u);
    EXPECT_FALSE(done.load());
    const uint64_t sent = engine.interruptsSent();
    EXPECT_EQ(engine.pump(0, 1), 1u);
    waiter.join();
    EXPECT_EQ(waited.code, 0);
    EXPECT_FALSE(timedOut);
    EXPECT_GT(engine.interruptsSent(), sent);
    // Time-out 0 before the bytes moved: timed out, no failure.
    tStatus status;
    waits.waitUntilBytesTransferred(*group->getDMAStreamController(0), 0, 8192, 100, 0, timedOut, status);
    EXPECT_EQ(status.code, 0);
    EXPECT_TRUE(timedOut);
    session.cleanup(st);
}

}  // namespace
}  // namespace dmastreams
