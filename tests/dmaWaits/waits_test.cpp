// Waits for stream progress, woken by the board's notification through the interrupt path, or
// ended by a cancel, a suspension, an interruption or the table's destruction.
#include <algorithm>
#include <vector>

#include "dmaWaits/fixture.h"
#include "kal/sim/debug.h"
#include "fendrelSharedSource/statusCodes.h"
#include "quolinTools/dma/statusCodes.h"

namespace dmawaits {
namespace {

const int32_t kCancelled = int32_t(quolintools::kStatusWaitCancelled);
const int32_t kSuspended = int32_t(fendrelsharedsource::kStatusSessionInvalidated);

using Waits = Interrupts;

TEST_P(Waits, APositionAlreadyPassedReturnsAtOnceAndLeavesNothingArmed) {
    UserPages user(1);
    auto s = running(0, user);
    ASSERT_EQ(engine->pump(0, 3000), 3000u);
    tStatus status;
    bool timedOut = true;
    table->waitUntilBytesTransferred(s->controller, 0, 1000, 2000, kWaitNoLimit, timedOut, status);
    EXPECT_EQ(status.code, 0);
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(controller->listedNotifiers(), 0u);
    EXPECT_FALSE(notificationEnabled(0));
    // Time-out 0 on a position not reached: timed out, not failed.
    table->waitUntilBytesTransferred(s->controller, 0, 3000, 1, 0, timedOut, status);
    EXPECT_EQ(status.code, 0);
    EXPECT_TRUE(timedOut);
    EXPECT_EQ(controller->listedNotifiers(), 0u);
    s->controller.stop(status);
}

// The notification queues an entry (or writes it into the status ring), the interrupt is claimed
// and the drain wakes the waiter. In legacy mode the bridge interrupt is masked at the acknowledge
// and unmasked after the drain; with MSI the queue's drain touches neither the status nor the
// control register.
TEST_P(Waits, TheBoardsNotificationWakesTheWaiter) {
    UserPages user(1);
    auto s = running(0, user);
    Waiter waiter(*table, s->controller, 0, 0, 1000);
    ASSERT_TRUE(listed(1));
    EXPECT_TRUE(notificationEnabled(0));
    board_.log().clear();
    EXPECT_EQ(engine->pump(0, 999), 999u);
    EXPECT_FALSE(waiter.done.load());
    EXPECT_EQ(engine->pump(0, 1), 1u);
    EXPECT_EQ(waiter.result(), 0);
    EXPECT_FALSE(waiter.timedOut);
    EXPECT_EQ(controller->listedNotifiers(), 0u);
    EXPECT_FALSE(notificationEnabled(0));
    // The waiter may be woken before the drain has unmasked the interrupt.
    kal::sim::waitForDeferredCalls();
    std::vector<std::pair<uint64_t, uint64_t>> block;  // {offset, value written or ~0 for a read}
    for (const board::Access& a : board_.log().entries())
        if (a.offset >= ib::kBase && a.offset < ib::kBase + ib::kSize)
            block.push_back({a.offset, a.direction == board::Direction::Write ? a.value : ~uint64_t{0}});
    using Seen = std::vector<std::pair<uint64_t, uint64_t>>;
    // Through the status ring the claim reads the control register, the entry comes from host
    // memory and re-enabling hands the ring back; the queue register is never read.
    const uint64_t read = ~uint64_t{0};
    if (msi() && ring()) {
        EXPECT_EQ(block, (Seen{{ib::kControl, 0x80000001}}));
    } else if (msi()) {
        EXPECT_EQ(block, (Seen{{ib::kQueue, read}}));
    } else if (ring()) {
        EXPECT_EQ(block, (Seen{{ib::kControl, read}, {ib::kControl, 0x40000000}, {ib::kControl, 0x80000001}}));
    } else {
        EXPECT_EQ(block, (Seen{{ib::kStatus, read}, {ib::kControl, 0x40000000}, {ib::kQueue, read},
                               {ib::kControl, 0x80000000}}));
    }
    EXPECT_EQ(engine->ring().posts != 0, ring());
    tStatus status;
    s->controller.stop(status);
}

// What ends a wait on a position never reached, and what it reports.
TEST_P(Waits, CancelSuspensionInterruptionAndDestruction) {
    UserPages user(1);
    auto s = running(0, user);
    struct Case {
        const char* name;
        int64_t expected;
        void (*end)(Interrupts& f, Waiter& w);
    };
    const Case cases[] = {
        {"a cancel", quolintools::kStatusWaitCancelled,
         [](Interrupts& f, Waiter&) { f.table->signal(0, kCancelled); }},
        {"a suspension", fendrelsharedsource::kStatusSessionInvalidated,
         [](Interrupts& f, Waiter&) { f.table->signalAll(kSuspended); }},
        {"an interruption", nKZAPALS100::kStatusWaitInterrupted,
         [](Interrupts&, Waiter& w) { EXPECT_TRUE(kal::sim::interruptThread(w.handle.load())); }},
        {"the table's destruction", nKZAPALS100::kStatusValueConflict, [](Interrupts& f, Waiter&) { f.table.reset(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tableAcceptingWaits();
        Waiter waiter(*table, s->controller, 0, 0, 1 << 30);
        ASSERT_TRUE(listed(1));
        ASSERT_TRUE(eventually([&] { return waiter.handle.load() != nullptr; }));
        c.end(*this, waiter);
        EXPECT_EQ(waiter.result(), c.expected);
        EXPECT_FALSE(waiter.timedOut);
        EXPECT_EQ(controller->listedNotifiers(), 0u);
        EXPECT_FALSE(notificationEnabled(0));
    }
    tStatus status;
    s->controller.stop(status);
}

// Every waiter wakes; waits that begin afterwards fail at once until the waits are resumed.
TEST_P(Waits, ASuspensionWakesEveryWaiterAndRefusesNewWaitsUntilResumed) {
    UserPages user(2);
    auto s0 = running(0, user);
    auto s1 = running(1, user);
    Waiter first(*table, s0->controller, 0, 0, 1 << 30);
    Waiter second(*table, s1->controller, 1, 0, 1 << 30);
    ASSERT_TRUE(listed(2));
    table->signalAll(kSuspended);
    EXPECT_EQ(first.result(), fendrelsharedsource::kStatusSessionInvalidated);
    EXPECT_EQ(second.result(), fendrelsharedsource::kStatusSessionInvalidated);
    tStatus status;
    bool timedOut = true;
    table->waitUntilBytesTransferred(s0->controller, 0, 0, 1 << 30, kWaitNoLimit, timedOut, status);
    EXPECT_EQ(status.code, fendrelsharedsource::kStatusSessionInvalidated) << "a wait that came too late";
    EXPECT_EQ(controller->listedNotifiers(), 0u);
    table->resumeWaits();
    table->waitUntilBytesTransferred(s0->controller, 0, 0, 1 << 30, 0, timedOut, status = tStatus{});
    EXPECT_EQ(status.code, 0);
    EXPECT_TRUE(timedOut);
    s0->controller.stop(status);
    s1->controller.stop(status);
}

// A second waiter on a stream is refused at once; the first keeps its position and notifier.
TEST_P(Waits, ASecondWaiterIsRefusedAndTheFirstIsUntouched) {
    UserPages user(1);
    auto s = running(0, user);
    Waiter first(*table, s->controller, 0, 0, 1000);
    ASSERT_TRUE(listed(1));
    tStatus status;
    bool timedOut = true;
    table->waitUntilBytesTransferred(s->controller, 0, 0, 5000, kWaitNoLimit, timedOut, status);
    EXPECT_EQ(status.code, nKZAPALS100::kStatusValueConflict);
    EXPECT_EQ(controller->listedNotifiers(), 1u);
    EXPECT_TRUE(notificationEnabled(0));
    EXPECT_EQ(engine->channel(0).position, 1000u);
    EXPECT_EQ(engine->pump(0, 1000), 1000u);
    EXPECT_EQ(first.result(), 0);
    EXPECT_FALSE(first.timedOut);
    s->controller.stop(status = tStatus{});
}

// A finite time-out passes in real time: timed out, the status good, nothing left armed.
TEST_P(Waits, AFiniteTimeOutPasses) {
    UserPages user(1);
    auto s = running(0, user);
    const auto begun = std::chrono::steady_clock::now();
    tStatus status;
    bool timedOut = false;
    table->waitUntilBytesTransferred(s->controller, 0, 0, 1000, 20000, timedOut, status);
    EXPECT_GE(std::chrono::steady_clock::now() - begun, std::chrono::milliseconds(20));
    EXPECT_EQ(status.code, 0);
    EXPECT_TRUE(timedOut);
    EXPECT_EQ(controller->listedNotifiers(), 0u);
    s->controller.stop(status);
}

// A queue entry left from an earlier notification wakes the waiter before its position: it waits
// on, and a cancel afterwards is still reported.
TEST_P(Waits, AStaleEntryDoesNotEndTheWait) {
    UserPages user(1);
    auto s = running(0, user);
    Waiter waiter(*table, s->controller, 0, 0, 1000);
    ASSERT_TRUE(listed(1));
    const uint64_t sent = engine->interruptsSent();
    engine->queue(ib::kNotificationEntry | 0);
    ASSERT_TRUE(eventually([&] { return engine->interruptsSent() > sent && engine->queueDepth() == 0; }));
    kal::sim::waitForDeferredCalls();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(waiter.done.load());
    EXPECT_EQ(controller->listedNotifiers(), 1u);
    table->signal(0, kCancelled);
    EXPECT_EQ(waiter.result(), quolintools::kStatusWaitCancelled);
}

// What a wait reports for the wakes given to it, with its position reached by then or not. The
// first status recorded is the one reported: a cancel after the interrupt path's signal leaves
// success, while a cancel, a suspension or the table's destruction is reported even when the
// position has been reached. A success before the position is stale: the wait goes on and reports
// the cancel after it. The board's answers are cut off so that the test gives every wake itself.
TEST_P(Waits, WhatAWaitReportsForItsWakes) {
    UserPages user(1);
    auto s = running(0, user);
    auto removed = [&](bool value) {
        std::lock_guard<board::BoardLock> guard(board_.lock());
        engine->faults().deviceRemoved = value;
    };
    removed(true);
    using Wake = void (*)(Interrupts& f);
    const Wake success = [](Interrupts& f) { f.table->signal(0, 0); };
    const Wake cancel = [](Interrupts& f) { f.table->signal(0, kCancelled); };
    const Wake suspend = [](Interrupts& f) { f.table->signalAll(kSuspended); };
    const Wake destroy = [](Interrupts& f) { f.table.reset(); };
    struct Case {
        const char* name;
        bool reached;
        std::vector<Wake> wakes;
        int64_t expected;
    };
    const Case cases[] = {
        {"a cancel after the position", true, {cancel}, quolintools::kStatusWaitCancelled},
        {"a suspension after the position", true, {suspend}, fendrelsharedsource::kStatusSessionInvalidated},
        {"the table's destruction after the position", true, {destroy}, nKZAPALS100::kStatusValueConflict},
        {"success, then a cancel", true, {success, cancel}, 0},
        {"a cancel, then success", true, {cancel, success}, quolintools::kStatusWaitCancelled},
        {"a cancel, then success, before the position", false, {cancel, success},
         quolintools::kStatusWaitCancelled},
        {"a stale success, then a cancel", false, {success, cancel}, quolintools::kStatusWaitCancelled},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tableAcceptingWaits();
        tStatus status;
        const uint64_t start = s->controller.getTransferCount(status);
        // Bounded, so that a lost wake fails the case instead of hanging it.
        Waiter waiter(*table, s->controller, 0, start, 1000, 5000000);
        ASSERT_TRUE(listed(1));
        // Blocked, so that it read its position before the bytes moved.
        ASSERT_TRUE(eventually([&] { return waiter.handle.load() != nullptr; }));
        ASSERT_TRUE(kal::sim::awaitBlocked(waiter.handle.load()));
        if (c.reached) {
            EXPECT_EQ(engine->pump(0, 1000), 1000u);
        }
        for (Wake wake : c.wakes) wake(*this);
        EXPECT_EQ(waiter.result(), c.expected);
        EXPECT_FALSE(waiter.timedOut);
        EXPECT_EQ(controller->listedNotifiers(), 0u);
    }
    removed(false);
    tStatus status;
    s->controller.stop(status);
}

// Notifications on several streams while a drain runs: every waiter wakes.
TEST_P(Waits, ABurstOnSeveralStreamsLosesNone) {
    UserPages user(4);
    std::vector<std::unique_ptr<Stream>> streams;
    std::vector<std::unique_ptr<Waiter>> waiters;
    for (unsigned i = 0; i < 4; ++i) {
        streams.push_back(running(i, user));
        waiters.push_back(std::make_unique<Waiter>(*table, streams[i]->controller, i, 0, 100));
    }
    ASSERT_TRUE(listed(4));
    for (int round = 0; round < 2; ++round)
        for (unsigned i = 0; i < 4; ++i) engine->pump(i, 50);
    for (auto& w : waiters) EXPECT_EQ(w->result(), 0);
    EXPECT_EQ(controller->listedNotifiers(), 0u);
    tStatus status;
    for (auto& s : streams) s->controller.stop(status);
    EXPECT_EQ(status.code, 0);
}

// Registering and unregistering a notifier per wait frees everything, also while stale entries
// keep the worker running the stream's work item.
TEST_P(Waits, ManyWaitsLeaveNoAllocation) {
    UserPages user(1);
    auto s = running(0, user);
    ASSERT_EQ(engine->pump(0, 100), 100u);
    const int64_t before = kal::sim::liveAllocations();
    for (int i = 0; i < 10000; ++i) {
        tStatus status;
        bool timedOut = false;
        if (i % 2 == 0) engine->queue(ib::kNotificationEntry | 0);
        table->waitUntilBytesTransferred(s->controller, 0, 0, i % 2 == 0 ? 100 : 200, 0, timedOut, status);
        ASSERT_EQ(status.code, 0);
        ASSERT_EQ(timedOut, i % 2 != 0);
    }
    kal::sim::waitForDeferredCalls();
    EXPECT_TRUE(eventually([&] { return kal::sim::liveAllocations() == before; }))
        << kal::sim::liveAllocations() - before << " blocks left";
    tStatus status;
    s->controller.stop(status);
}

size_t slowWaiterLines() {
    const auto lines = kal::sim::debugLines();
    return std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.find("DMA waiters: 1 still waiting after 1 s") != std::string::npos;
    });
}

// A waiter slow to leave (held registered, before it blocks) holds up the table's destruction,
// which says so once a second.
TEST_P(Waits, DestructionWaitsForASlowWaiter) {
    FakeStream stream;
    stream.holdFrom = 1;
    stream.holdReads = true;
    Waiter waiter(*table, stream, 3, 0, 100);
    ASSERT_TRUE(listed(1));
    kal::sim::clearDebugLines();
    std::thread release([&] {
        eventually([] { return slowWaiterLines() != 0; });
        stream.holdReads = false;
    });
    table.reset();
    release.join();
    EXPECT_EQ(waiter.result(), nKZAPALS100::kStatusValueConflict);
    EXPECT_EQ(slowWaiterLines(), 1u);
}

INSTANTIATE_TEST_SUITE_P(LegacyAndMSI, Waits, allModes(), modeName);

}  // namespace
}  // namespace dmawaits
