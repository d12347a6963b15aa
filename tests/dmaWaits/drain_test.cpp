// The deferred call's drain of the bridge's interrupt queue.
#include <algorithm>

#include "dmaWaits/fixture.h"
#include "kal/sim/debug.h"
#include "quolinTools/dma/statusCodes.h"

namespace dmawaits {
namespace {

using Drain = Interrupts;

size_t noWorkLines() {
    const std::string text = "\"Interrupt handled, but no work was done\": Interrupt handled, but no work was done";
    const auto lines = kal::sim::debugLines();
    return std::count_if(lines.begin(), lines.end(),
                         [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

// Entries queued while the interrupt is off, then one interrupt: an entry without bit 28 is
// skipped, but its bit 30 carries the drain on to the next, which has no notifier and is printed
// once; the queue's all-ones answer ends the drain.
TEST_P(Drain, SkipsInvalidEntriesFollowsBit30AndPrintsEntriesWithoutNotifier) {
    const uint32_t interrupt = device->getPCIDescription().interruptNumber;
    nKZKAL100_memoryWrite32(mapped + ib::kControl, 0x40000000);
    engine->queue(0x00000003);
    engine->queue(ib::kNotificationEntry | 4);
    kal::sim::clearDebugLines();
    const uint64_t sent = engine->interruptsSent();
    nKZKAL100_memoryWrite32(mapped + ib::kControl, ib::kEnabled);
    if (msi()) {
        EXPECT_TRUE(kal::sim::raiseInterrupt(interrupt));
    }
    ASSERT_TRUE(eventually([&] { return engine->queueDepth() == 0; }));
    kal::sim::waitForDeferredCalls();
    EXPECT_EQ(noWorkLines(), 1u);
    EXPECT_EQ(engine->interruptsSent() - sent, msi() ? 0u : 1u) << "one interrupt drained both";
    EXPECT_TRUE(engine->interruptEnabled());
}

// While the worker is stuck on the waiter lock behind another item, two entries for one id queue
// that id's work item once: its waiter is woken once.
TEST_P(Drain, TwoEntriesBeforeTheWorkerRunsQueueTheItemOnce) {
    FakeStream counted, blocker, holder;
    Waiter waiter(*table, counted, 5, 0, 100);
    Waiter other(*table, blocker, 7, 0, 100);
    ASSERT_TRUE(listed(2));
    ASSERT_TRUE(eventually([&] { return counted.reads.load() == 1 && blocker.reads.load() == 1; }));
    holder.hold = true;
    Waiter holding(*table, holder, 6, 0, 100);
    ASSERT_TRUE(eventually([&] { return holder.entered.load(); }));
    engine->queue(ib::kNotificationEntry | 7);  // the worker takes this one and waits for the lock
    ASSERT_TRUE(eventually([&] { return engine->queueDepth() == 0; }));
    kal::sim::waitForDeferredCalls();
    engine->queue(ib::kNotificationEntry | 5);
    engine->queue(ib::kNotificationEntry | 5);
    ASSERT_TRUE(eventually([&] { return engine->queueDepth() == 0; }));
    kal::sim::waitForDeferredCalls();
    holder.hold = false;
    ASSERT_TRUE(eventually([&] { return counted.reads.load() >= 2; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(counted.reads.load(), 2) << "one wake";
    ASSERT_TRUE(listed(3));
    table->signalAll(int32_t(quolintools::kStatusWaitCancelled));
    for (Waiter* w : {&waiter, &other, &holding}) EXPECT_EQ(w->result(), quolintools::kStatusWaitCancelled);
}

// The controller goes while the board keeps queuing entries for a stream with a waiter: the
// interrupt is relinquished, no deferred call or work item runs on freed memory.
TEST_P(Drain, DestructionWhileTheBoardKeepsQueuing) {
    FakeStream stream;
    Waiter waiter(*table, stream, 2, 0, 100);
    ASSERT_TRUE(listed(1));
    std::atomic<bool> stop{false};
    std::thread feeder([&] {
        for (uint32_t i = 0; !stop.load(); ++i) {
            engine->queue(ib::kNotificationEntry | (i % 4));
            std::this_thread::sleep_for(std::chrono::microseconds(20));
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    table.reset();
    EXPECT_EQ(waiter.result(), nKZAPALS100::kStatusValueConflict);
    controller.reset();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    stop = true;
    feeder.join();
    EXPECT_EQ(kal::sim::reservedInterruptCount(), 0u);
    EXPECT_FALSE(engine->interruptEnabled());
}

INSTANTIATE_TEST_SUITE_P(LegacyAndMSI, Drain, queueModes(), modeName);

}  // namespace
}  // namespace dmawaits
