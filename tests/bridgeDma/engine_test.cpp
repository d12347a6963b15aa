// The board's DMA channel blocks, interrupt block and stream circuits, driven through the
// kernel layer's register calls.
#include "bridgeDma/fixture.h"

namespace bridgedma {
namespace {

namespace dc = board::dmaChannel;
namespace ib = board::interruptBlock;
namespace sc = board::streamCircuit;

struct Engine : BridgeBoard {
    unsigned sunk = 0;
    Engine() {
        engine->setInterruptSink([this] { ++sunk; });
    }
    uint32_t status(unsigned i) { return read32(channelBlock(i) + dc::kStatus); }
    void command(unsigned i, uint32_t value) { write32(channelBlock(i) + dc::kCommand, value); }
    void reset(unsigned i) {
        write32(channelBlock(i) + dc::kControl, dc::kControlResetBegin);
        command(i, dc::kCommandStop);
        write32(channelBlock(i) + dc::kControl, dc::kControlResetEnd);
    }
    void arm(unsigned i, uint64_t position) {
        nKZKAL100_simMemoryWrite64(mapped + channelBlock(i) + dc::kNotificationPosition, position);
        command(i, dc::kCommandLoadPosition);
    }
};

TEST_F(Engine, ChannelCommandsRunAndStop) {
    nKZKAL100_simMemoryWrite64(mapped + channelBlock(2) + dc::kLinkAddress, 0xABC000);
    write32(channelBlock(2) + dc::kLinkLength, 0x30);
    command(2, dc::kCommandStartLinked);
    EXPECT_EQ(status(2), dc::kStatusRunning);
    board::DmaEngine::Channel state = engine->channel(2);
    EXPECT_TRUE(state.running);
    EXPECT_EQ(state.linkAddress, 0xABC000u);
    EXPECT_EQ(state.linkLength, 0x30u);
    command(2, dc::kCommandStop);
    EXPECT_EQ(status(2), dc::kStatusStopped);
    EXPECT_FALSE(engine->channel(2).running);
    // A stop finds an idle channel stopped too; the reset handshake leaves it idle.
    command(5, dc::kCommandStop);
    EXPECT_EQ(status(5), dc::kStatusStopped);
    command(6, dc::kCommandStart);
    reset(6);
    EXPECT_EQ(status(6), dc::kStatusStopped);
    EXPECT_EQ(nKZKAL100_simMemoryRead64(mapped + channelBlock(6) + dc::kTransferCount), 0u);
    // The other channels still read what tells them apart.
    EXPECT_EQ(status(7), board::dmaChannelStatusAtReset(7));
}

TEST_F(Engine, StartAndStopKnobs) {
    engine->faults().neverRuns = 1u << 1;
    engine->faults().neverStops = 1u << 3;
    command(1, dc::kCommandStartLinked);
    EXPECT_EQ(status(1), board::dmaChannelStatusAtReset(1));
    command(3, dc::kCommandStartLinked);
    command(3, dc::kCommandStop);
    EXPECT_EQ(status(3), dc::kStatusRunning);
}

TEST_F(Engine, LatchedPositionFiresOnceWhenEnabledAndReached) {
    write32(ib::kControl, ib::kEnabled);
    arm(4, 0);
    EXPECT_EQ(engine->queueDepth(), 0u) << "notification not enabled";
    write32(channelBlock(4) + dc::kControl, dc::kControlNotify);
    EXPECT_EQ(engine->queueDepth(), 1u) << "enabling fires the latched position";
    write32(channelBlock(4) + dc::kControl, dc::kControlNotify);
    EXPECT_EQ(engine->queueDepth(), 1u) << "once per latch";
    arm(4, 100);
    EXPECT_EQ(engine->queueDepth(), 1u) << "not reached";
    arm(4, 0);
    EXPECT_EQ(engine->queueDepth(), 2u);
    EXPECT_EQ(read32(ib::kQueue), ib::kMoreQueued | ib::kNotificationEntry | 4);
    EXPECT_EQ(read32(ib::kQueue), ib::kNotificationEntry | 4);
    EXPECT_EQ(read32(ib::kQueue), ib::kQueueEmpty);
    EXPECT_EQ(engine->entriesQueued(), 2u);
}

TEST_F(Engine, ControlPairsSetClearOrLeaveAlone) {
    write32(ib::kControl, 0x94000500);
    EXPECT_EQ(engine->interruptControl(), 0x80000000u);
    write32(ib::kControl, 0x20000A00);
    EXPECT_EQ(engine->interruptControl(), 0xA0000A00u);
    write32(ib::kControl, 0x10000000);
    EXPECT_EQ(engine->interruptControl(), 0x80000A00u);
    write32(ib::kControl, 0x40000000);
    EXPECT_FALSE(engine->interruptEnabled());
}

TEST_F(Engine, LegacyLineRisesWhileQueuedAndEnabled) {
    engine->queue(0x10000001);
    EXPECT_EQ(sunk, 0u) << "disabled";
    EXPECT_EQ(read32(ib::kStatus), ib::kPending);
    write32(ib::kControl, ib::kEnabled);
    EXPECT_EQ(sunk, 1u) << "enabling with entries queued raises the line";
    engine->queue(0x10000002);
    EXPECT_EQ(sunk, 1u) << "the line is already up";
    write32(ib::kControl, 0x40000000);
    write32(ib::kControl, ib::kEnabled);
    EXPECT_EQ(sunk, 2u) << "unmasking with entries queued raises it again";
    read32(ib::kQueue);
    read32(ib::kQueue);
    EXPECT_EQ(read32(ib::kStatus), 0u);
    engine->queue(0x10000003);
    EXPECT_EQ(sunk, 3u);
    EXPECT_EQ(engine->interruptsSent(), 3u);
}

TEST_F(Engine, MsiSendsOneMessagePerEntryWhileEnabled) {
    board.platform().msiGranted = true;
    engine->queue(0x10000001);
    write32(ib::kControl, ib::kEnabled);
    EXPECT_EQ(sunk, 0u);
    engine->queue(0x10000002);
    engine->queue(0x10000003);
    EXPECT_EQ(sunk, 2u);
    EXPECT_EQ(engine->queueDepth(), 3u);
}

TEST_F(Engine, StreamCircuitResetEnableStopAndCredits) {
    const uint64_t control = circuitControl(3);
    write32(control, 1);
    EXPECT_EQ(circuits[3]->mode(), 1u);
    write32(control, sc::kEnable);
    EXPECT_EQ(read32(control) & (sc::kTransferEnabled | sc::kResetComplete), sc::kTransferEnabled);
    write32(control, sc::kStopB);
    EXPECT_EQ(read32(control) & (sc::kTransferEnabled | sc::kResetComplete), sc::kResetComplete);
    write32(control, sc::kEnable);
    write32(control, sc::kStopA);
    EXPECT_EQ(read32(control) & (sc::kTransferEnabled | sc::kResetComplete), sc::kResetComplete);
    write32(control, sc::kReset);
    EXPECT_EQ(read32(control) & (sc::kTransferEnabled | sc::kResetComplete), 0u);
    write32(control + 0x10, 100);
    write32(control + 0x10, 28);
    EXPECT_EQ(circuits[3]->credits(), 128u);
}

TEST_F(Engine, StreamCircuitKnobs) {
    engine->faults().circuitNeverEnables = 1u << 0;
    engine->faults().circuitNeverResets = 1u << 1;
    engine->faults().circuitDropsEnable = 1u << 2;
    write32(circuitControl(0), sc::kEnable);
    EXPECT_FALSE(read32(circuitControl(0)) & sc::kTransferEnabled);
    write32(circuitControl(1), sc::kStopB);
    EXPECT_FALSE(read32(circuitControl(1)) & sc::kResetComplete);
    write32(circuitControl(2), sc::kEnable);
    EXPECT_TRUE(read32(circuitControl(2)) & sc::kTransferEnabled);
    EXPECT_FALSE(read32(circuitControl(2)) & sc::kTransferEnabled);
    EXPECT_FALSE(circuits[2]->transferEnabled());
}

}  // namespace
}  // namespace bridgedma
