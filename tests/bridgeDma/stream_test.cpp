// Streams end to end.
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "bridgeDma/streams.h"
#include "kal/sim/faults.h"
#include "kal/sim/interrupt.h"
#include "kzkal/interrupt.h"

namespace bridgedma {
namespace {

TEST_F(Streams, FiniteListFillsTheBuffersInOrderAndStopsAtItsEnd) {
    UserPages user(3);
    std::fill(user.data(), user.data() + user.size(), 0);
    auto s = stream(0);
    tStatus status;
    s->add(SGLController::kFiniteList, user.address(100), 2 * kPage, status);
    s->start(status);
    ASSERT_EQ(status.code, 0);
    s->controller.writeStreamAdditiveTransferCount(1 << 20, status);
    EXPECT_EQ(engine->pump(0, 1000), 1000u);
    EXPECT_EQ(engine->pump(0, 1 <<20), 2 * kPage - 1000);
    EXPECT_EQ(engine->pump(0, 1 <<20), 0u);
    EXPECT_EQ(channelStatus(0), dc::kStatusStopped);
    EXPECT_EQ(s->controller.getTransferCount(status), 2 * kPage);
    for (uint64_t k = 0; k < 2 * kPage; ++k)
        ASSERT_EQ(user.data()[100 + k], board::dmaPatternByte(0, k)) << k;
    EXPECT_EQ(user.data()[99], 0);
    EXPECT_EQ(user.data()[100 + 2 * kPage], 0);
    s->controller.stop(status);
    EXPECT_EQ(status.code, 0);
    EXPECT_FALSE(s->controller.isRunning());
    EXPECT_EQ(engine->dmaFaults(), 0u);
}

TEST_F(Streams, RingAndPrefixDeliverToTheSinkCyclically) {
    UserPages user(2);
    const std::vector<uint8_t> first(user.data(), user.data() + kPage);
    const std::vector<uint8_t> second(user.data() + kPage, user.data() + 2 * kPage);
    struct Case {
        unsigned stream;
        bool prefix;
    };
    for (const Case& c : {Case{1, false}, Case{3, true}}) {
        SCOPED_TRACE(c.stream);
        auto s = stream(c.stream);
        tStatus status;
        if (c.prefix) s->add(SGLController::kFiniteList, user.address(), kPage, status);
        s->add(SGLController::kContinuousList, user.address(kPage), kPage, status);
        s->start(status);
        ASSERT_EQ(status.code, 0);
        s->controller.writeStreamAdditiveTransferCount(3 * kPage + (c.prefix ? kPage : 0), status);
        EXPECT_EQ(engine->pump(c.stream, 1 <<20), 3 * kPage + (c.prefix ? kPage : 0)) << "all the credits";
        std::vector<uint8_t> expected;
        if (c.prefix) expected = first;
        for (int lap = 0; lap < 3; ++lap) expected.insert(expected.end(), second.begin(), second.end());
        const auto sink = engine->sink(c.stream);
        EXPECT_TRUE(std::vector<uint8_t>(sink.begin(), sink.end()) == expected);
        EXPECT_EQ(channelStatus(c.stream), dc::kStatusRunning) << "a ring runs on";
        EXPECT_EQ(s->controller.getTransferCount(status), expected.size());
        s->controller.stop(status);
        EXPECT_EQ(status.code, 0);
        s->lists.reset(status);
    }
    EXPECT_EQ(engine->dmaFaults(), 0u);
}

TEST_F(Streams, CreditsBoundTheBytesMoved) {
    UserPages user(1);
    auto s = stream(1);
    tStatus status;
    s->add(SGLController::kContinuousList, user.address(), kPage, status);
    s->start(status);
    EXPECT_EQ(engine->pump(1, 1000), 0u) << "no credits";
    s->controller.writeStreamAdditiveTransferCount(100, status);
    EXPECT_EQ(engine->pump(1, 1000), 100u);
    s->controller.writeStreamAdditiveTransferCount(50, status);
    engine->faults().creditGateClosed = 1u << 1;
    EXPECT_EQ(engine->pump(1, 1000), 0u) << "the gate is shut";
    engine->faults().creditGateClosed = 0;
    EXPECT_EQ(engine->pump(1, 1000), 50u);
    EXPECT_EQ(s->controller.getTransferCount(status), 150u);
    s->controller.stop(status);
    EXPECT_EQ(engine->pump(1, 1000), 0u) << "stopped";
    EXPECT_EQ(status.code, 0);
}

// Each failure leaves the stream as the table says; the channel's log shows what was written.
TEST_F(Streams, StartAndStopFailures) {
    UserPages user(1);
    const int64_t kRunning = quolintools::kStatusStreamAlreadyRunning;
    const int64_t kNeverRan = quolintools::kStatusChannelStartTimeout;
    const int64_t kHardware = quolintools::kStatusStreamHardwareTimeout;
    struct Case {
        const char* name;
        board::DmaFaults faults;
        bool startTwice;  // a second start without a stop
        int64_t start;
        bool runningAfterStart;
        int64_t stop;
        bool runningAfterStop;
    };
    auto knob = [](uint32_t board::DmaFaults::*member) {
        board::DmaFaults f;
        f.*member = 1u << 2;
        return f;
    };
    const Case cases[] = {
        {"a second start", {}, true, kRunning, true, 0, false},
        {"the channel never runs", knob(&board::DmaFaults::neverRuns), false, kNeverRan, false, 0, false},
        {"the circuit never enables", knob(&board::DmaFaults::circuitNeverEnables), false, kHardware, false, 0, false},
        {"the channel never stops", knob(&board::DmaFaults::neverStops), false, 0, true, kHardware, true},
        {"the circuit drops its enable", knob(&board::DmaFaults::circuitDropsEnable), false, 0, true, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        engine->faults() = c.faults;
        auto s = stream(2);
        tStatus status;
        s->add(SGLController::kContinuousList, user.address(), kPage, status);
        s->lists.commit(status);
        board_.log().clear();
        s->controller.start(s->lists.getLists(), true, status);
        if (c.startTwice) s->controller.start(s->lists.getLists(), true, status);
        EXPECT_EQ(status.code, c.start);
        EXPECT_EQ(s->controller.isRunning(), c.runningAfterStart);
        const uint64_t command = bar0::kDmaChannels + (2u << bar0::kDmaChannelStrideLog2) + dc::kCommand;
        const auto commands = board_.log().writesTo(command);
        EXPECT_EQ(commands.back(), c.start != 0 && !c.startTwice ? dc::kCommandStop : dc::kCommandStartLinked)
            << "a failed start stops the channel again";
        tStatus stopped;
        s->controller.stop(stopped);
        EXPECT_EQ(stopped.code, c.stop);
        EXPECT_EQ(s->controller.isRunning(), c.runningAfterStop);
        engine->faults() = {};
        s->controller.stop(stopped = tStatus{});
        EXPECT_EQ(stopped.code, 0);
        EXPECT_FALSE(s->controller.isRunning());
        s->lists.reset(stopped);
    }
}

// A circuit whose stop timed out is still marked running: the next start reports it and stops
// the stream again, and a stop that finds the circuit disabled clears the mark.
TEST_F(Streams, CircuitStillMarkedRunning) {
    UserPages user(1);
    auto s = stream(4);
    tStatus status;
    s->add(SGLController::kContinuousList, user.address(), kPage, status);
    s->start(status);
    ASSERT_EQ(status.code, 0);
    engine->faults().circuitNeverResets = 1u << 4;
    s->controller.stop(status);
    EXPECT_EQ(status.code, quolintools::kStatusStreamHardwareTimeout);
    EXPECT_FALSE(s->controller.isRunning()) << "the channel stopped all the same";
    EXPECT_TRUE(s->circuit.isRunning());
    engine->faults() = {};
    tStatus again;
    s->controller.start(s->lists.getLists(), true, again);
    EXPECT_EQ(again.code, quolintools::kStatusCircuitAlreadyRunning);
    EXPECT_FALSE(s->controller.isRunning());
    EXPECT_FALSE(s->circuit.isRunning()) << "the stop found the circuit disabled";
    s->controller.start(s->lists.getLists(), true, again = tStatus{});
    EXPECT_EQ(again.code, 0);
    s->controller.stop(again);
    EXPECT_EQ(again.code, 0);
}

TEST_F(Streams, BothListsEmptyIsRefusedUntouched) {
    auto s = stream(0);
    tStatus status;
    s->lists.commit(status);
    board_.log().clear();
    s->controller.start(s->lists.getLists(), true, status);
    EXPECT_EQ(status.code, nKZAPALS100::kStatusBadParameter);
    EXPECT_TRUE(board_.log().entries().empty());
    EXPECT_FALSE(s->controller.isRunning());
}

TEST_F(Streams, ErrorOnEntryTouchesNothing) {
    auto s = stream(0);
    tStatus failed;
    failed.code = nKZAPALS100::kStatusMemoryFull;
    board_.log().clear();
    EXPECT_EQ(s->controller.getTransferCount(failed), 0u);
    s->controller.setNotificationPosition(5, failed);
    s->controller.writeStreamAdditiveTransferCount(5, failed);
    s->controller.stop(failed);
    s->controller.getCleanupOperation()->cleanup(failed);
    EXPECT_TRUE(board_.log().entries().empty());
    EXPECT_EQ(failed.code, nKZAPALS100::kStatusMemoryFull);
}

TEST_F(Streams, DmaFaultStopsTheChannelAndALaterStopSucceeds) {
    UserPages user(1);
    auto s = stream(1);
    tStatus status;
    s->add(SGLController::kContinuousList, user.address(), kPage, status);
    s->start(status);
    s->controller.writeStreamAdditiveTransferCount(kPage, status);
    s->lists.releaseBuffers();
    EXPECT_EQ(engine->pump(1, kPage), 0u);
    EXPECT_EQ(kal::sim::takeDMAFaults().size(), 1u);
    EXPECT_EQ(channelStatus(1), dc::kStatusFault);
    EXPECT_EQ(engine->dmaFaults(), 1u);
    s->controller.stop(status);
    EXPECT_EQ(status.code, 0);
    EXPECT_FALSE(s->controller.isRunning());
}

TEST_F(Streams, NotificationPositionIsStoredBeforeItsCommand) {
    auto s = stream(5);
    tStatus status;
    board_.log().clear();
    s->controller.setNotificationPosition(0x123456789ull, status);
    const uint64_t block = bar0::kDmaChannels + (5u << bar0::kDmaChannelStrideLog2);
    const auto log = board_.log().entries();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].offset, block + dc::kNotificationPosition);
    EXPECT_EQ(log[0].width, 8u);
    EXPECT_EQ(log[0].value, 0x123456789ull);
    EXPECT_EQ(log[1].offset, block + dc::kCommand);
    EXPECT_EQ(log[1].value, dc::kCommandLoadPosition);
}

// The latched position fires once the count reaches it, while the notification is enabled.
TEST_F(Streams, NotificationFiresWhenTheCountReachesThePosition) {
    UserPages user(1);
    auto s = stream(6);
    tStatus status;
    s->add(SGLController::kContinuousList, user.address(), kPage, status);
    s->start(status);
    s->controller.writeStreamAdditiveTransferCount(kPage, status);
    s->controller.setNotificationPosition(100, status);
    s->controller.enableNotification();
    EXPECT_EQ(engine->pump(6, 99), 99u);
    EXPECT_EQ(engine->queueDepth(), 0u);
    EXPECT_EQ(engine->pump(6, 1), 1u);
    EXPECT_EQ(engine->queueDepth(), 1u);
    EXPECT_EQ(engine->pump(6, 50), 50u);
    EXPECT_EQ(engine->queueDepth(), 1u) << "once per latch";
    EXPECT_EQ(nKZKAL100_memoryRead32(mapped + board::interruptBlock::kQueue), board::interruptBlock::kNotificationEntry | 6);
    s->controller.disableNotification();
    s->controller.setNotificationPosition(120, status);
    EXPECT_EQ(engine->queueDepth(), 0u) << "reached, but not enabled";
    s->controller.stop(status);
    EXPECT_EQ(status.code, 0);
}

// A mutex the kernel refuses fails the construction with -52000; nothing else is left behind.
TEST_F(Streams, ConstructionReportsARefusedMutex) {
    kal::sim::FailKernelCall refuse("createMutex");
    tStatus status;
    arm::MemorySpaceAccess::Accessor block{base + bar0::kDmaChannels, 0x200};
    QuolinDMAStreamController::tChannelMap map(&block);
    {
        QuolinDMAStreamController controller(base, &map, nullptr, 0, status);
        EXPECT_EQ(status.code, nKZAPALS100::kStatusMemoryFull);
    }
    tStatus wide;
    QuolinDMAStreamController controller(base, &map, nullptr, uint64_t{1} << 32, wide);
    EXPECT_EQ(wide.code, nKZAPALS100::kStatusValueConflict);
    EXPECT_EQ(controller.index(), 0u) << "channel 0";
}

// The board interrupts through the stand-in's sink on the interrupt thread: legacy on each rise
// of its line, MSI once per message; nothing after the function is unplugged.
TEST_F(Streams, BoardInterruptsReachTheReservedCallback) {
    struct Seen {
        std::atomic<int> calls{0};
        std::atomic<bool> inInterruptContext{true};
    } seen;
    nKZKAL1400_tInterruptCallback callback{[](uint32_t, void* device) -> int32_t {
                                               auto* s = static_cast<Seen*>(device);
                                               if (!kal::sim::inInterruptContext()) s->inInterruptContext = false;
                                               ++s->calls;
                                               return 1;
                                           },
                                           &seen};
    const uint32_t line = function_->record.interrupt;
    ASSERT_EQ(nKZKAL1400_reserveInterrupt(line, &callback, "bridge", 0), 0);
    auto waitFor = [&](int calls) {
        for (int i = 0; i < 2000 && seen.calls.load() < calls; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return seen.calls.load();
    };
    engine->queue(0x10000001);
    nKZKAL100_memoryWrite32(mapped + board::interruptBlock::kControl, board::interruptBlock::kEnabled);
    engine->queue(0x10000002);
    EXPECT_EQ(waitFor(1), 1) << "one rise of the line";
    board_.platform().msiGranted = true;
    engine->queue(0x10000003);
    engine->queue(0x10000004);
    EXPECT_EQ(waitFor(3), 3) << "one message each";
    EXPECT_TRUE(seen.inInterruptContext.load());
    nKZKAL100_relinquishInterrupt(line, &callback);
}

}  // namespace
}  // namespace bridgedma
