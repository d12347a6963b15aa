// The isolated channels' charge balancers and sequence engines, driven through the isolated
// register file as the access ports drive it.
#include <gtest/gtest.h>

#include <cstdint>

#include "board/product.h"

namespace {

constexpr uint32_t kSignatures[2] = {0x4E150005, 0x15015006};

struct Channels : ::testing::Test {
    board::Board b{board::productIdentity()};
    board::ProductBlocks blocks = board::installProduct(b, configured());
    uint64_t now = 0;

    Channels() { b.setTimeSource([this] { return now; }); }
    static board::ProductOptions configured() {
        board::ProductOptions options;
        options.fpga.configuredAtStart = {{kSignatures[0], kSignatures[1]}};
        return options;
    }
    board::NonIsolatedFpga& fpga() { return blocks.nonIsolatedFpga; }
    board::IsolatedRegisterFile& registers() { return fpga().isolatedLink().registers(); }
    static uint32_t word(unsigned c, uint32_t offset) { return 0x1000 + 0x200 * c + offset; }
    void write(unsigned c, uint32_t offset, uint32_t value) { registers().write(word(c, offset), value); }
    uint32_t read(unsigned c, uint32_t offset) { return registers().read(word(c, offset), kSignatures[1]); }
    board::ChargeBalancersModel& balancers() { return fpga().chargeBalancers(); }
    board::SequenceEnginesModel::Engine& engine(unsigned c) { return fpga().sequenceEngines().engine(c); }
};

TEST_F(Channels, ABalancerCompletesAnArmedSelectionAfterItsDelayAndFailsAnyOther) {
    balancers().knobs(1).results[2] = 0x2ABC;
    write(1, 0x5A, 0xFFFF0000);
    // Not armed: failed at once.
    write(1, 0x5C, 0x4);
    EXPECT_EQ(read(1, 0x5C), 1u << 10);
    balancers().finish(1);
    EXPECT_EQ(read(1, 0x5C), 0u);

    balancers().arm(1, 2);
    write(1, 0x5C, 0x4);
    now += balancers().delayUs - 1;
    EXPECT_EQ(read(1, 0x5C), 0u);
    EXPECT_EQ(read(1, 0x5A), 0xFFFF0000u);
    now += 1;
    EXPECT_EQ(read(1, 0x5C), 1u << 9);
    EXPECT_EQ(read(1, 0x5A), 0xFFFF2ABCu);
    // The arming was used up; another range was never armed.
    write(1, 0x5C, 0x4 | 0x1);
    EXPECT_EQ(read(1, 0x5C), (1u << 9) | (1u << 10) | (1u << 2));
    EXPECT_EQ(read(0, 0x5C), 0u);
}

TEST_F(Channels, BalancerKnobsFailOrSilenceAnArmedSelection) {
    balancers().knobs(0).fail = true;
    balancers().knobs(3).silent = true;
    for (unsigned c : {0u, 3u}) {
        balancers().arm(c, 3);
        write(c, 0x5C, 0x8);
    }
    now += 1000000;
    EXPECT_EQ(read(0, 0x5C), 1u << 14);
    EXPECT_EQ(read(3, 0x5C), 0u);
    EXPECT_EQ(read(0, 0x5B) | read(3, 0x5B), 0u);
}

TEST_F(Channels, AnEngineStartsOnBit25ThenBit8AndTheResetSubroutineStopsIt) {
    EXPECT_EQ(read(2, 0x00) & (1u << 27), 1u << 27);
    write(2, 0x00, 1u << 8);
    write(2, 0x00, 1u << 25);
    EXPECT_FALSE(engine(2).running);
    write(2, 0x00, 1u << 8);
    EXPECT_TRUE(engine(2).running);
    EXPECT_EQ(read(2, 0x00) & (1u << 27), 0u);
    write(2, 0x00, 1u << 24);
    EXPECT_EQ(engine(2).completionsWhileRunning, 1u);
    fpga().sequenceEngines().stop(2);
    write(2, 0x00, 1u << 24);
    EXPECT_EQ(engine(2).resetCompletions, 2u);
    EXPECT_EQ(engine(2).completionsWhileRunning, 1u);
    EXPECT_EQ(engine(2).starts, 1u);
    EXPECT_FALSE(engine(1).running);

    engine(1).queued = 77;
    engine(1).fault = true;
    EXPECT_EQ(read(1, 0x03), 77u);
    EXPECT_EQ(read(1, 0x00) & (1u << 25), 1u << 25);
    EXPECT_EQ(read(0, 0x00) & (1u << 25), 0u);
}

}  // namespace

namespace {

// A channel's event latch: reads show what is latched, a write clears only the bits written, and
// the channels keep theirs apart.
TEST_F(Channels, EventLatchesShowLatchedEventsAndAWriteClearsTheBitsWritten) {
    fpga().latchEvents(0, 0x0000000A);
    fpga().latchEvents(2, 0x80000001);
    fpga().latchEvents(0, 0x00000100);
    EXPECT_EQ(read(0, 0x4B), 0x10Au);
    EXPECT_EQ(read(1, 0x4B), 0u);
    EXPECT_EQ(read(2, 0x4B), 0x80000001u);

    write(0, 0x4B, 0x00000102);
    EXPECT_EQ(read(0, 0x4B), 0x8u);
    EXPECT_EQ(read(2, 0x4B), 0x80000001u);
    write(2, 0x4B, 0xFFFFFFFF);
    EXPECT_EQ(read(2, 0x4B), 0u);
    EXPECT_EQ(fpga().eventLatches().clears(0), 1u);
    EXPECT_EQ(fpga().eventLatches().clears(2), 1u);
    // The blocks past the board's four channels have no latch.
    write(4, 0x4B, 0x5);
    EXPECT_EQ(read(4, 0x4B), 0u);
}

// The measure FIFO overflow hook adds the channel's bit, 3c, to what the word holds.
TEST_F(Channels, MeasureFifoOverflowAddsTheChannelsBit) {
    fpga().overflowMeasureFifo(2);
    fpga().overflowMeasureFifo(1);
    fpga().overflowMeasureFifo(4);
    std::lock_guard<board::BoardLock> guard(fpga().boardLock());
    EXPECT_EQ(fpga().board::RegisterFile::read(board::NonIsolatedFpga::kMeasureFifoOverflow, 4), (1u << 6) | (1u << 3));
}

}  // namespace
