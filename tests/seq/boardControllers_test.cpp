// The route controller's PXI trigger outputs, the temperature sensor and the external PLL loader.
#include <gtest/gtest.h>

#include <vector>

#include "controllers/routeController.h"
#include "controllers/sequencerStatusCodes.h"
#include "controllers/temperatureSensorController.h"
#include "device/statusCodes.h"
#include "fendrelSharedSource/externalPLLController/externalPLLController.h"
#include "kal/sim/clock.h"
#include "seq/countingChecker.h"
#include "kal/sim/faults.h"
#include "kzvorn_regMaps/fakeFrontEnd.h"
#include "kzvorn_regMaps/fixture.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoChannelRegMap.h"

namespace {

using armtest::Access;
using armtest::R;
using armtest::W;
using kzvorn_regmaps::tTolvaneIsoChannelRegMap;
using kzvorn_regmaps::tTolvaneNisoFpgaRegMap;
using nKZAPALS100::tStatus;

using Checker = seqtest::CountingChecker;

struct NisoControllers : kzmaps::NisoBoard {
    tTolvaneNisoFpgaRegMap map{&block, st, 0, 0, 0xFFFFFFFF};
    NisoControllers() { kal::sim::clock().reset(); }
    ~NisoControllers() override { kal::sim::clock().reset(); }
};

TEST_F(NisoControllers, TriggerOutputsTakeTheBufferFirstOnAndLastOff) {
    kzvorn_driver::RouteController route(map);
    route.enableTriggerOutput(8, st);
    EXPECT_EQ(seen(true), (std::vector<Access>{W(0xC0, 32, 1u << 30), W(0xC0, 32, 0xC0000019)}));
    board.log().clear();
    route.disableTriggerLine(8, st);
    EXPECT_EQ(seen(true), (std::vector<Access>{W(0xC0, 32, 0x40000019), W(0xC0, 32, 0x19)}));
    board.log().clear();
    route.enableTriggerLine(0, st);
    route.routeConnected(0x1234, st);
    route.routeDisconnecting(0x1234, st);
    EXPECT_EQ(seen(true), (std::vector<Access>{W(0xA0, 32, 1u << 30), W(0xA0, 32, 0xC0000019)}));
    EXPECT_EQ(st.code, 0);
}

// The pause is a deadline on the precise counter: the sleep is only ever asked for 0.
TEST_F(NisoControllers, ThePauseBetweenBufferAndOutputSleepsNoWholeMillisecond) {
    kzvorn_driver::RouteController route(map);
    kal::sim::clock().recordSleeps(true);
    kal::sim::clock().setReadStepNs(10);
    const uint64_t start = kal::sim::clock().nowNs();
    route.enableTriggerOutput(3, st);
    EXPECT_GE(kal::sim::clock().nowNs() - start, 25u);
    for (uint32_t us : kal::sim::clock().sleeps()) EXPECT_EQ(us, 0u);
    EXPECT_FALSE(kal::sim::clock().sleeps().empty());
}

TEST_F(NisoControllers, ATriggerIndexBeyondTheNineOutputsTouchesNothing) {
    kzvorn_driver::RouteController route(map);
    kal::sim::clock().recordSleeps(true);
    for (uint64_t index : {9ull, 10ull, 1ull << 40}) {
        for (int enable = 0; enable < 2; ++enable) {
            tStatus status;
            enable ? route.enableTriggerOutput(index, status) : route.disableTriggerOutput(index, status);
            EXPECT_EQ(status.code, kzvorn_driver::kStatusArgumentOutOfRange) << index;
        }
    }
    EXPECT_TRUE(seen().empty());
    EXPECT_TRUE(kal::sim::clock().sleeps().empty());
}

// The sensor configuration register stands in a scratch register of a channel block.
struct Temperature : NisoControllers {
    kzmaps::FakeFrontEnd isolated;
    tTolvaneIsoChannelRegMap channel{&isolated, 0x1000, 0, 512};
    using tConfig = tTolvaneIsoChannelRegMap::tChScratchRegType;
    Checker checker;
    kzvorn_driver::TemperatureSensorControllerOver<tConfig> sensor{map, channel.at<tConfig>(0x1D0), checker};
};

TEST_F(Temperature, ConfigurationLatchesThenStartsAfter165us) {
    sensor.configureVrefTemperatureSensor(st);
    EXPECT_EQ(st.code, 0);
    const std::vector<Access> writes = isolated.take();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0], W(0x11D0, 32, 0x00056060));
    EXPECT_EQ(writes[1].value & 0x00800000, 0x00800000u);
    EXPECT_TRUE(seen().empty());
}

TEST_F(Temperature, ReadingsWaitForTheirValidBit) {
    fpga().write(0x818, 4, 0x8000 | 0x4ABC | 0x10000);
    fpga().write(0x820, 4, 0x8000 | 0x0F23);
    EXPECT_EQ(sensor.readVrefTemperature(st), 0x4ABC);
    EXPECT_EQ(sensor.readNisoFpgaTemperature(st), 0x0F23);
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(checker.runs, 0);

    struct Case {
        bool vref;
        int64_t fault;
        uint64_t deadlineUs;
    };
    fpga().write(0x818, 4, 0x123);
    fpga().write(0x820, 4, 0x456);
    for (const Case& c : {Case{true, 0, 500000}, Case{false, 0, 8320}, Case{false, -77, 8320}}) {
        checker.runs = 0;
        checker.fault = c.fault;
        tStatus status;
        const uint64_t start = kal::sim::clock().nowUs();
        const uint16_t value = c.vref ? sensor.readVrefTemperature(status) : sensor.readNisoFpgaTemperature(status);
        const uint64_t elapsed = kal::sim::clock().nowUs() - start;
        EXPECT_EQ(value, c.vref ? 0x123 : 0x456);
        EXPECT_EQ(status.code, c.fault != 0 ? c.fault : kzvorn_driver::kStatusTemperatureNotValid);
        EXPECT_EQ(checker.runs, 1);
        EXPECT_GE(elapsed, c.deadlineUs);
        // At most one longest pause past the deadline, give or take the sleeps' rounding.
        EXPECT_LE(elapsed, c.deadlineUs + 100000 + 5000);
    }
}

// A PLL behind a shift register (a scratch register of a channel block) and a status register
// whose bit 8 is busy for a while after each word and whose bit 9 reports lock once the four
// latches arrived in the order 3, 2, 0, 1.
constexpr uint32_t kBlock = 0x1000;
constexpr uint32_t kShift = 0x1D0;
constexpr uint32_t kState = 0x5C;

class FakePll final : public kzvoltixsharedsource::FrontEndAccessorInterface {
public:
    void write32(uint32_t address, uint32_t value, tStatus& status) override {
        if (status.isFatal()) return;
        log.push_back(W(address - kBlock, 32, value));
        if (address != kBlock + kShift) return;
        if (busyFor > 0 || stuckBusy) writtenWhileBusy = true;
        latches.push_back(value & 3);
        busyFor = busyReads;
    }
    uint32_t read32(uint32_t address, tStatus& status) override {
        if (status.isFatal()) return 0xFFFFFFFF;
        uint32_t value = 0;
        if (busyFor > 0 || stuckBusy) value |= 1u << 8;
        if (busyFor > 0) --busyFor;
        if (!neverLocks && latches == std::vector<uint32_t>{3, 2, 0, 1}) value |= 1u << 9;
        log.push_back(R(address - kBlock, 32, value));
        return value;
    }

    unsigned busyReads = 0;
    unsigned busyFor = 0;
    bool stuckBusy = false;
    bool neverLocks = false;
    bool writtenWhileBusy = false;
    std::vector<uint32_t> latches;
    std::vector<Access> log;
};

using tShift = tTolvaneIsoChannelRegMap::tChScratchRegType;
using tState = tTolvaneIsoChannelRegMap::tChargeBalancerStatusRegT;
using Pll = fendrelsharedsource::ExternalPLLController<tShift, tState, &tState::readBit9, 256, 0,
                                                       int32_t(kzvorn_driver::kStatusExternalPLLNotReady), 0x1F8093,
                                                       0x1F8092, 0x100028, 0x1B01>;

struct ExternalPll : ::testing::Test {
    FakePll board;
    tTolvaneIsoChannelRegMap channel{&board, kBlock, 0, 512};
    Pll pll{channel.at<tShift>(kShift), channel.at<tState>(kState)};
    tStatus st;
    ExternalPll() {
        kal::sim::clock().reset();
        kal::sim::clock().recordSleeps(true);
    }
    ~ExternalPll() override { kal::sim::clock().reset(); }
};

TEST_F(ExternalPll, SendsTheFourWordsWhenIdleThenChecksTheLockOnceAfterTenMilliseconds) {
    for (unsigned busyReads : {0u, 3u}) {
        board.busyReads = busyReads;
        board.latches.clear();
        board.log.clear();
        tStatus status;
        pll.setUp(status);
        EXPECT_EQ(status.code, 0) << busyReads;
        EXPECT_FALSE(board.writtenWhileBusy);
        std::vector<Access> writes;
        for (const Access& a : board.log)
            if (a.write) writes.push_back(a);
        EXPECT_EQ(writes, (std::vector<Access>{W(kShift, 32, 0x1F8093), W(kShift, 32, 0x1F8092),
                                               W(kShift, 32, 0x100028), W(kShift, 32, 0x1B01)}));
        EXPECT_EQ(board.log.back().write, false);
        EXPECT_NE(board.log.back().value & (1u << 9), 0u);
    }
    board.log.clear();
    board.busyReads = 0;
    board.busyFor = 0;
    board.latches.clear();
    kal::sim::clock().recordSleeps(false);
    kal::sim::clock().recordSleeps(true);
    pll.setUp(st);
    EXPECT_EQ(board.log, (std::vector<Access>{R(kState, 32, 0), W(kShift, 32, 0x1F8093), R(kState, 32, 0),
                                              W(kShift, 32, 0x1F8092), R(kState, 32, 0), W(kShift, 32, 0x100028),
                                              R(kState, 32, 0), W(kShift, 32, 0x1B01), R(kState, 32, 1u << 9)}));
    EXPECT_EQ(kal::sim::clock().sleeps(), (std::vector<uint32_t>{10000}));
}

TEST_F(ExternalPll, AStuckShiftRegisterOrAnUnlockedPllFails) {
    board.stuckBusy = true;
    const uint64_t start = kal::sim::clock().nowUs();
    pll.setUp(st);
    EXPECT_EQ(st.code, kzvorn_driver::kStatusExternalPLLNotReady);
    EXPECT_GE(kal::sim::clock().nowUs() - start, 1000u);
    EXPECT_LT(kal::sim::clock().nowUs() - start, 1200u);
    for (const Access& a : board.log) EXPECT_FALSE(a.write);

    board.stuckBusy = false;
    board.neverLocks = true;
    board.log.clear();
    tStatus status;
    pll.setUp(status);
    EXPECT_EQ(status.code, kzvorn_driver::kStatusExternalPLLNotReady);
    EXPECT_EQ(board.latches.size(), 4u);
}

TEST_F(ExternalPll, AnErrorOnEntryOrARefusedVectorSendsNothing) {
    tStatus failed;
    KZ_SET_CODE(failed, -9);
    pll.setUp(failed);
    EXPECT_EQ(failed.code, -9);
    {
        kal::sim::FailAllocations fail(1);
        pll.setUp(st);
    }
    EXPECT_EQ(st.code, nKZAPALS100::kStatusMemoryFull);
    EXPECT_TRUE(board.log.empty());
}

}  // namespace
