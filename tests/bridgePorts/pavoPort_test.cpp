// The Pavo port accessor and IO port 2 against the board's switched bus interface: the handshake
// words, the port register file behind them, the link states, time-outs, and two maps sharing the
// accessor from two threads.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "board/switchedBusInterface.h"
#include "kal/sim/clock.h"
#include "kal/sim/faults.h"
#include "bridgePorts/bridgePorts.h"
#include "quolinTools/armgen/IOPort2RegMap.h"
#include "quolinTools/armgen/IsolationPortRegMap.h"
#include "quolinTools/ioPort2/ioPort2.h"
#include "quolinTools/portAccessor/pavoPortAccessor.h"
#include "quolinTools/spiController/spiController.h"

namespace {

using board::SwitchedBusInterface;
using porttest::tStatus;
using Transaction = SwitchedBusInterface::Transaction;

constexpr uint64_t kControl = 0x688;
constexpr uint64_t kData = 0x68C;
constexpr uint32_t kPort = SwitchedBusInterface::kIOPort2;
constexpr int64_t kReadTimeout = KZ_DEVICE_CODE(0xBFFA807D);
constexpr int64_t kLinkTimeout = KZ_DEVICE_CODE(0xBFFA807A);

using ProductIOPort2 = quolintools::IOPort2Template<0, 1, 3, quolintools::nIOPort2RegMap::IoPort2PllRange_t(7), 0,
                                                    false, true>;

struct PavoPort : ::testing::Test, porttest::MappedBridge {
    SwitchedBusInterface& bim = board::installSwitchedBusInterface(board);
    quolintools::PavoPortAccessor::tBimMap bimMap{&accessor};
    tStatus built;
    quolintools::PavoPortAccessor port{&bimMap, 0, 2, built};
    quolintools::tIOPort2RegMapWithOffset<0u> ioMap{&port};
    quolintools::tIsolationPortRegMapWithOffset<0u> isoMap{&port};
    tStatus st;

    PavoPort() { board.log().clear(); }
};

TEST_F(PavoPort, HandshakeWords) {
    ASSERT_EQ(built.code, 0);
    port.write32(0x10, 0x1234, st);
    port.write32(0x10, 0x1234, st);
    EXPECT_EQ(port.read32(0x10, st), 0x1234u);
    port.write32(0x1FC, 7, st);  // only the offset's low 8 bits reach the control word
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(writesTo(kData), (std::vector<uint64_t>{0x1234, 7}));
    // Write strobe, write strobe again, then a read strobe alone: the write strobe left the shadow.
    EXPECT_EQ(writesTo(kControl), (std::vector<uint64_t>{0x10000201, 0x10000201, 0x10000202, 0xFC000201}));
    EXPECT_EQ(bim.transactions(), (std::vector<Transaction>{{true, kPort, 0x10, 0x1234},
                                                            {true, kPort, 0x10, 0x1234},
                                                            {false, kPort, 0x10, 0x1234},
                                                            {true, kPort, 0xFC, 7}}));
    port.unsupportedOperation(st);
    EXPECT_EQ(st.code, KZ_DEVICE_CODE(0xBFFA806F));
}

TEST_F(PavoPort, LockThatCannotBeMadeFailsTheBuild) {
    kal::sim::FailKernelCall noMutex("createMutex", 1, 2);
    tStatus portBuilt, spiBuilt;
    quolintools::PavoPortAccessor other(&bimMap, 0, 2, portBuilt);
    uint8_t* window = mapped;
    quolintools::SPIController spi(nullptr, nullptr, &window, spiBuilt);
    EXPECT_EQ(portBuilt.code, nKZAPALS100::kStatusMemoryFull);
    EXPECT_EQ(spiBuilt.code, nKZAPALS100::kStatusMemoryFull);
}

TEST_F(PavoPort, BothMapsReachTheSharedRegisterZero) {
    ioMap.write(0x80000000, 0x44, false, st);
    uint64_t seen = 0;
    isoMap.read(0x80000000, seen, st);
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(seen, 0xC4u);  // disabled: bit 7 reads set
    EXPECT_EQ(bim.ioPort2().stored(0x00), 0x44u);
}

TEST_F(PavoPort, ReadDoneNeverComes) {
    port.write32(0x10, 0x55, st);
    bim.setNeverReady(true);
    const uint64_t start = kal::sim::clock().nowUs();
    EXPECT_EQ(port.read32(0x10, st), 0x55u);  // the data register's shadow
    EXPECT_EQ(st.code, kReadTimeout);
    EXPECT_GE(kal::sim::clock().nowUs() - start, 100000u);
    // Nothing further after the failure, and an incoming error sends nothing.
    const size_t controlWrites = board.log().countWrites(kControl);
    port.write32(0x10, 0x66, st);
    EXPECT_EQ(port.read32(0x10, st), 0x55u);
    EXPECT_EQ(board.log().countWrites(kControl), controlWrites);
    // The next read after the port recovers works again.
    bim.setNeverReady(false);
    tStatus fresh;
    EXPECT_EQ(port.read32(0x10, fresh), 0x55u);
    EXPECT_EQ(fresh.code, 0);
}

TEST_F(PavoPort, IOPort2ConfigureThenEnable) {
    ProductIOPort2 link(&ioMap);
    link.configure(st);
    ASSERT_EQ(st.code, 0);
    EXPECT_TRUE(link.readStatusBit7(st));
    link.enable(st);
    ASSERT_EQ(st.code, 0);
    EXPECT_FALSE(link.readStatusBit7(st));
    EXPECT_EQ(bim.transactions(), (std::vector<Transaction>{{true, kPort, 0x0C, 0x2},
                                                            {true, kPort, 0x08, 0x03010070},
                                                            {true, kPort, 0x00, 0x2},
                                                            {false, kPort, 0x00, 0x82},  // configured
                                                            {false, kPort, 0x00, 0x82},
                                                            {true, kPort, 0x00, 0x83},
                                                            {false, kPort, 0x00, 0x03},  // enabled
                                                            {false, kPort, 0x00, 0x03}}));
    // Configured again: 0x0C always, 0x08 already holds its fields, the control register changes.
    bim.clearTransactions();
    link.configure(st);
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(bim.transactions(), (std::vector<Transaction>{{true, kPort, 0x0C, 0x2},
                                                            {true, kPort, 0x00, 0x02},
                                                            {false, kPort, 0x00, 0x82}}));
}

TEST_F(PavoPort, IOPort2StatesThatNeverCome) {
    for (bool level : {false, true}) {
        SCOPED_TRACE(level);
        bim.forceIOPort2StatusBit7(level);
        ProductIOPort2 link(&ioMap);
        tStatus configured, enabled;
        const uint64_t start = kal::sim::clock().nowUs();
        link.configure(configured);
        link.enable(enabled);
        // Bit 7 stuck low never shows the configured state; stuck high never the enabled one.
        EXPECT_EQ(configured.code, level ? 0 : kLinkTimeout);
        EXPECT_EQ(enabled.code, level ? kLinkTimeout : 0);
        EXPECT_GE(kal::sim::clock().nowUs() - start, 500000u);
    }
    // A read that times out ends the link wait with the port's status.
    bim.forceIOPort2StatusBit7(std::nullopt);
    bim.setNeverReady(true);
    ProductIOPort2 link(&ioMap);
    link.configure(st);
    EXPECT_EQ(st.code, kReadTimeout);
}

// The IO port 2 map and the isolation-port map are registered under different locks; each
// handshake must still reach the port whole while the other map's thread runs its own.
TEST_F(PavoPort, TwoMapsOnTwoThreadsNeverMixTheirHandshakes) {
    kal::sim::ScopedRealTime realTime;
    board.log().setEnabled(false);
    constexpr uint32_t kRounds = 3000;
    std::atomic<uint32_t> wrongReads{0};
    auto run = [&](arm::TableMap& map, uint32_t id, uint32_t tag) {
        for (uint32_t i = 1; i <= kRounds; ++i) {
            tStatus s;
            map.write(id, tag | i, false, s);
            uint64_t back = 0;
            map.read(id, back, s);
            if (s.code != 0 || back != (tag | i)) ++wrongReads;
        }
    };
    std::thread a(run, std::ref<arm::TableMap>(ioMap), 0x80000010u, 0xA0000000u);
    std::thread b(run, std::ref<arm::TableMap>(isoMap), 0x80000004u, 0xB0000000u);
    a.join();
    b.join();
    EXPECT_EQ(wrongReads.load(), 0u);
    uint32_t expectA = 0, expectB = 0;
    for (const Transaction& t : bim.transactions()) {
        // Each thread's port register sees its own values, each written once and read back once.
        const bool first = t.write;
        if (t.offset == 0x10) {
            if (first) ++expectA;
            EXPECT_EQ(t.value, 0xA0000000u | expectA);
        } else {
            ASSERT_EQ(t.offset, 0x04);
            if (first) ++expectB;
            EXPECT_EQ(t.value, 0xB0000000u | expectB);
        }
    }
    EXPECT_EQ(expectA, kRounds);
    EXPECT_EQ(expectB, kRounds);
}

}  // namespace
