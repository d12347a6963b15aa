// Streams through the dispatcher over the board: data in both directions, what the sessions'
// cleanup sets hold and undo, the argument checks, and the guards that keep link memory and pinned
// pages alive while a channel may use them.
#include <algorithm>

#include "fixture.h"
#include "kal/sim/faults.h"

namespace dmastreams {
namespace {

using dmatest::UserPages;
using fendreldma::DMADispatcher;

constexpr uint32_t kFinite = 0;
constexpr uint32_t kContinuous = 1;
constexpr uint64_t kPage = 4096;

TEST_F(Streams, MeasureStreamFillsItsBufferAndUndoesEverything) {
    UserPages user(2);
    std::fill(user.data(), user.data() + user.size(), 0);
    EXPECT_EQ(add(0, kFinite, user.address(), 8192).code, 0);
    dispatcher->startDMA(0, true, session, st);
    EXPECT_TRUE(engine.creditGateOpen(0));
    EXPECT_EQ(session.size(), 4u) << "lists, FIFO, stream, credits";
    dispatcher->writeStreamAdditiveTransferCount(0, 8192, st);
    EXPECT_EQ(engine.pump(0, 1 << 20), 8192u);
    EXPECT_EQ(dispatcher->getTransferCount(0, st), 8192u);
    for (uint64_t i = 0; i < 8192; ++i) ASSERT_EQ(user.data()[i], board::dmaPatternByte(0, i)) << i;
    dispatcher->stopDMA(0, session, st);
    EXPECT_FALSE(engine.creditGateOpen(0));
    EXPECT_EQ(blocks.nonIsolatedFpga.fifoResets(0), 1u);
    EXPECT_EQ(session.size(), 1u) << "start and stop leave none of the stream's operations";
    dispatcher->clearTransfers(0, session, st);
    EXPECT_EQ(session.size(), 0u);
    EXPECT_EQ(pinned(), 0u);
    EXPECT_EQ(st.code, 0);
}

TEST_F(Streams, SourceRingRepeatsItsBufferInOrder) {
    UserPages user(1);
    EXPECT_EQ(add(1, kContinuous, user.address(), kPage, 3).code, 0);
    dispatcher->startDMA(1, true, session, st);
    dispatcher->writeStreamAdditiveTransferCount(1, 36864, st);
    EXPECT_EQ(engine.pump(1, 36864), 36864u);
    const auto sink = engine.sink(1);
    ASSERT_EQ(sink.size(), 36864u);
    for (uint64_t i = 0; i < sink.size(); ++i) ASSERT_EQ(sink[i], user.data()[i % kPage]) << i;
    EXPECT_TRUE(running(1)) << "a ring runs on";
    session.cleanup(st);
    EXPECT_EQ(st.code, 0);
}

// A session closing with its stream running: credits off, circuit then channel stopped, FIFO
// cleared, pages released.
TEST_F(Streams, SessionCleanupUndoesARunningStreamInOrder) {
    UserPages user(1);
    add(3, kContinuous, user.address(), kPage);
    dispatcher->startDMA(3, false, session, st);
    dispatcher->writeStreamAdditiveTransferCount(3, 1000, st);
    engine.pump(3, 1000);
    board.log().clear();
    session.cleanup(st);
    EXPECT_EQ(st.code, 0);
    EXPECT_FALSE(engine.creditGateOpen(3));
    EXPECT_FALSE(running(3));
    EXPECT_EQ(blocks.nonIsolatedFpga.fifoResets(3), 1u);
    EXPECT_EQ(pinned(), 0u);
    const uint64_t credit = board::bar0::kNonIsolatedFpga + 0x84;
    const uint64_t circuit = kzvorn_driver::streamCircuitMapAddress(3) + 0x800;
    const uint64_t command = board::bar0::kDmaChannels + (3 << board::bar0::kDmaChannelStrideLog2) + 0x58;
    const uint64_t fifo = board::bar0::kNonIsolatedFpga + 0x64;
    std::vector<uint64_t> order;
    for (const board::Access& a : board.log().entries())
        if (a.direction == board::Direction::Write &&
            (a.offset == credit || a.offset == circuit || a.offset == command || a.offset == fifo))
            order.push_back(a.offset);
    EXPECT_EQ(order, (std::vector<uint64_t>{credit, circuit, command, fifo}));
}

TEST_F(Streams, ClearApplicationFifoKeepsOneCreditCleanup) {
    UserPages user(1);
    add(2, kFinite, user.address(), kPage);
    dispatcher->startDMA(2, false, session, st);
    const size_t before = session.size();
    dispatcher->clearApplicationFIFO(2, session, st);
    dispatcher->enableStreamCredits(2, session, st);
    EXPECT_EQ(session.size(), before);
    EXPECT_TRUE(session.contains(group->getStreamCreditController(2, st)->getCleanupOperation()));
    EXPECT_TRUE(engine.creditGateOpen(2));
    EXPECT_EQ(blocks.nonIsolatedFpga.fifoResets(2), 1u);
    EXPECT_EQ(st.code, 0);
    session.cleanup(st);
}

// As the dispatcher's contract says: a session that did not start the stream takes its credits
// away and then fails, leaving it running.
TEST_F(Streams, StopByAnotherSessionDisablesCreditsThenFails) {
    UserPages user(1);
    add(0, kContinuous, user.address(), kPage);
    dispatcher->startDMA(0, true, session, st);
    tStatus status;
    dispatcher->stopDMA(0, other, status);
    EXPECT_EQ(status.code, -52006);
    EXPECT_FALSE(engine.creditGateOpen(0));
    EXPECT_TRUE(running(0));
    session.cleanup(st);
    EXPECT_FALSE(running(0));
}

TEST_F(Streams, ListsOfARunningStreamAreNeverReleased) {
    UserPages user(1);
    add(0, kContinuous, user.address(), kPage, 1, &other);
    dispatcher->startDMA(0, true, session, st);
    tStatus status;
    dispatcher->clearTransfers(0, session, status);
    EXPECT_EQ(status.code, kStreamRunning);
    EXPECT_EQ(pinned(), 1u) << "nothing changed";
    EXPECT_TRUE(other.contains(&group->getSGLController(0)->getCleanupOperation()));
    // The owner of the lists closes first: its cleanup stops the stream before releasing them.
    other.cleanup(st);
    EXPECT_FALSE(running(0));
    EXPECT_EQ(pinned(), 0u);
    dispatcher->writeStreamAdditiveTransferCount(0, 4096, st);
    EXPECT_EQ(engine.pump(0, 4096), 0u);
    session.cleanup(st);
    EXPECT_EQ(st.code, 0);
}

// A buffer added to a running ring waits for the next start; a start while the stream runs is
// refused before the lists are closed again, which would change the links the channel is walking.
TEST_F(Streams, AStartOfARunningStreamLeavesItsRingAlone) {
    UserPages user(2);
    add(1, kContinuous, user.address(), 64);
    dispatcher->startDMA(1, true, session, st);
    dispatcher->writeStreamAdditiveTransferCount(1, 1 << 20, st);
    EXPECT_EQ(engine.pump(1, 100), 100u);
    add(1, kContinuous, user.address(kPage), 32);
    tStatus status;
    dispatcher->startDMA(1, true, session, status);
    EXPECT_EQ(status.code, kStreamRunning);
    EXPECT_EQ(engine.pump(1, 64 * 200), 64 * 200u);
    const auto sink = engine.sink(1);
    for (uint64_t i = 0; i < sink.size(); ++i) ASSERT_EQ(sink[i], user.data()[i % 64]) << i;
    session.cleanup(st);
    EXPECT_EQ(st.code, 0);
}

TEST_F(Streams, TheGroupStopsRunningStreamsBeforeReleasingThem) {
    UserPages user(1);
    add(0, kContinuous, user.address(), kPage);
    dispatcher->startDMA(0, true, session, st);
    dispatcher.reset();
    group.reset();
    EXPECT_FALSE(running(0));
    EXPECT_EQ(pinned(), 0u);
    EXPECT_EQ(engine.pump(0, 4096), 0u);
    session.clear();
}

TEST_F(Streams, ArgumentChecks) {
    UserPages user(1);
    const int64_t kBadDirection = int64_t(int32_t(0xBFFA806F));
    const int64_t kCountZero = int64_t(int32_t(0xBFFA806C));
    struct Case {
        uint32_t stream;
        uint32_t list;
        uint64_t size;
        uint32_t direction;
        uint32_t count;
        int64_t code;
    };
    for (const Case& c : {Case{8, 0, kPage, 1, 1, -52005}, Case{0xFFFFFFFF, 0, kPage, 1, 1, -52005},
                          Case{0, 0, 0, 1, 1, -52019}, Case{0, 2, 0, 1, 1, -52019}, Case{0, 2, kPage, 1, 1, -52005},
                          Case{1, 0, kPage, 1, 1, kBadDirection}, Case{0, 0, kPage, 0, 1, kBadDirection},
                          Case{1, 0, kPage, 0, 0, kCountZero}}) {
        tStatus status;
        dispatcher->addTransfer(event, c.stream, c.list, user.address(), c.size, c.direction, c.count, session,
                                status);
        EXPECT_EQ(status.code, c.code) << c.stream << " " << c.list << " " << c.size;
    }
    EXPECT_EQ(session.size(), 0u);
    EXPECT_EQ(pinned(), 0u);

    for (uint32_t stream : {8u, 128u, 0xFFFFFFFFu}) {
        std::vector<tStatus> results(7);
        dispatcher->startDMA(stream, true, session, results[0]);
        dispatcher->stopDMA(stream, session, results[1]);
        dispatcher->writeStreamAdditiveTransferCount(stream, 1, results[2]);
        EXPECT_EQ(dispatcher->getTransferCount(stream, results[3]), 0u);
        dispatcher->clearTransfers(stream, session, results[4]);
        dispatcher->clearApplicationFIFO(stream, session, results[5]);
        dispatcher->enableStreamCredits(stream, session, results[6]);
        for (const tStatus& r : results) EXPECT_EQ(r.code, -52005) << stream;
    }
    EXPECT_TRUE(board.log().entries().empty());
}

// Whatever the first add pinned belongs to the session, also when the add failed; a later add
// does not join the set again.
TEST_F(Streams, TheFirstBufferJoinsTheSessionEvenWhenItsAddFailed) {
    UserPages user(1);
    kdut::CleanupOperationInterface* lists = &group->getSGLController(1)->getCleanupOperation();
    {
        kal::sim::FailKernelCall refuse("tSGL_map");
        EXPECT_NE(add(1, kFinite, user.address(), kPage).code, 0);
    }
    EXPECT_TRUE(session.contains(lists));
    EXPECT_EQ(add(1, kFinite, user.address(), kPage).code, 0);
    EXPECT_EQ(session.size(), 1u);
    UserPages notRegistered(1, 0);
    EXPECT_EQ(add(3, kFinite, notRegistered.address(), kPage).code, -52001);
    session.cleanup(st);
    EXPECT_EQ(pinned(), 0u);
}

TEST_F(Streams, AFailedStartKeepsOnlyTheFifoCleanup) {
    UserPages user(1);
    add(0, kFinite, user.address(), kPage);
    engine.faults().neverRuns = 1u << 0;
    tStatus status;
    dispatcher->startDMA(0, true, session, status);
    EXPECT_EQ(status.code, int64_t(int32_t(0xBFFA8079)));
    EXPECT_EQ(session.size(), 2u);
    EXPECT_TRUE(session.contains(group->getDMAFifoController(0)->getCleanupOperation()));
    EXPECT_FALSE(engine.creditGateOpen(0));
    EXPECT_FALSE(group->getDMAStreamController(0)->isStreaming());
    session.cleanup(st);
}

TEST_F(Streams, GroupGettersAndCreditControllersPerStream) {
    tStatus failed;
    KZ_SET_CODE(failed, -9);
    EXPECT_EQ(group->getStreamCreditController(0, failed), nullptr);
    for (unsigned s = 0; s < QuolinDMAControllers::kStreamCount; ++s) {
        board.log().clear();
        group->getStreamCreditController(s, st)->enable(st);
        const uint64_t expected = s % 2 == 0 ? 0x400 + 0x60 * (s / 2) : 0x80 + 4 * (s / 2);
        const auto entries = board.log().entries();
        ASSERT_EQ(entries.size(), 1u) << s;
        EXPECT_EQ(entries[0].offset, board::bar0::kNonIsolatedFpga + expected) << s;
        EXPECT_TRUE(engine.creditGateOpen(s));
    }
    EXPECT_EQ(st.code, 0);
}

// The DMA placement is read again at this level: one that has left the mapping builds nothing.
TEST_F(Streams, APlacementOutsideTheMappingBuildsNoStream) {
    dispatcher.reset();
    group.reset();
    board.bar(0).store(board::bar0::kDmaChannelOffset, 4, board::bar0::kSize - 0x100);
    board.log().clear();
    tStatus status;
    build(status);
    EXPECT_EQ(status.code, -52003);
    for (unsigned s = 0; s < QuolinDMAControllers::kStreamCount; ++s)
        EXPECT_EQ(group->getDMAStreamController(s), nullptr);
    for (const board::Access& a : board.log().entries()) EXPECT_EQ(a.direction, board::Direction::Read);
}

TEST_F(Streams, EveryAllocationFailureLeavesAGroupThatDestroysCleanly) {
    dispatcher.reset();
    group.reset();
    alignas(QuolinDMAControllers) unsigned char storage[sizeof(QuolinDMAControllers)];
    for (uint64_t nth = 1;; ++nth) {
        const int64_t live = kal::sim::liveAllocations();
        tStatus status;
        QuolinDMAControllers* built = nullptr;
        bool triggered = false;
        {
            kal::sim::FailAllocations fail(nth);
            built = new (storage) QuolinDMAControllers(*device, *pavo, *niso, channels, status);
            triggered = fail.triggered();
        }
        built->~QuolinDMAControllers();
        EXPECT_EQ(kal::sim::liveAllocations(), live) << nth;
        if (!triggered) {
            EXPECT_EQ(status.code, 0);
            break;
        }
        EXPECT_EQ(status.code, -52000) << nth;
    }
}

}  // namespace
}  // namespace dmastreams
