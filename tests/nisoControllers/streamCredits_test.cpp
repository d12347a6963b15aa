// The stream credit controllers against the board's credit gates; the isolated side of a source
// stream behind a fake front end.
#include <gtest/gtest.h>

#include <vector>

#include "controllers/streamCreditControllers.h"
#include "device/isolatedRegMaps.h"
#include "kzvorn_regMaps/fakeFrontEnd.h"
#include "kzvorn_regMaps/fixture.h"

namespace {

using armtest::Access;
using armtest::R;
using armtest::W;
using kzvorn_driver::MeasureStreamCreditController;
using kzvorn_driver::SourceStreamCreditController;
using kzvorn_regmaps::tTolvaneIsoChannelRegMap;
using kzvorn_regmaps::tTolvaneNisoFpgaRegMap;
using nKZAPALS100::tStatus;

constexpr uint32_t kStart = 1u << 16;
constexpr uint32_t kStop = 1u << 17;
constexpr uint32_t kResetEnable = 1u << 18;
constexpr uint32_t kResetDisable = 1u << 19;

uint32_t isoChannelBase(unsigned channel) { return 0x1000 + 0x200 * channel; }

struct Credits : kzmaps::NisoBoard {
    tTolvaneNisoFpgaRegMap map{&block, st, 0, 0, 0xFFFFFFFF};
    kzmaps::FakeFrontEnd iso;
    tTolvaneIsoChannelRegMap channel1{&iso, isoChannelBase(1), 0, 0x200};
    board::DmaEngine& engine = blocks.dma;

    SourceStreamCreditController source3() {
        return SourceStreamCreditController(map.NisoTxCreditControl(1), channel1.IsoChannelConfigReg(),
                                            channel1.IsoChannelStatusReg(), map.NisoTxCreditStatus(1));
    }
    std::vector<Access> writes() {
        std::vector<Access> made = seen(true);
        board.log().clear();
        return made;
    }
};

TEST(StreamIndex, MeasureStreamsAndCircuitMapAddresses) {
    struct Case {
        unsigned stream;
        bool measure;
        uint64_t circuitMap;
    };
    for (const Case& c : {Case{0, true, 0x24000}, Case{1, false, 0x26000}, Case{2, true, 0x28000},
                          Case{3, false, 0x2A000}, Case{4, true, 0x2C000}, Case{5, false, 0x2E000},
                          Case{6, true, 0x30000}, Case{7, false, 0x32000}}) {
        EXPECT_EQ(kzvorn_driver::isMeasureStream(c.stream), c.measure) << c.stream;
        EXPECT_EQ(kzvorn_driver::streamCircuitMapAddress(c.stream), c.circuitMap) << c.stream;
    }
}

// Stream 2c's gate is in channel c's measure unit 0: stream 6 uses channel 3's.
TEST_F(Credits, MeasureCreditsStrobeTheChannelsMeasureUnit) {
    for (unsigned stream : {0u, 2u, 4u, 6u}) {
        const uint32_t config = 0x400 + 0x60 * (stream / 2);
        MeasureStreamCreditController credits(map.measureUnit(stream / 2)->NisoMeasureUnitConfig(0));
        EXPECT_FALSE(engine.creditGateOpen(stream)) << "closed from power-up";
        credits.enable(st);
        credits.enable(st);
        EXPECT_TRUE(engine.creditGateOpen(stream));
        EXPECT_EQ(writes(), (std::vector<Access>{W(config, 32, 0x40), W(config, 32, 0x40)})) << stream;
        credits.disable(st);
        credits.getCleanupOperation()->cleanup(st);
        EXPECT_FALSE(engine.creditGateOpen(stream));
        EXPECT_EQ(writes(), (std::vector<Access>{W(config, 32, 0x80), W(config, 32, 0x80)})) << stream;
        EXPECT_EQ(st.code, 0);
    }
    tStatus failed;
    KZ_SET_CODE(failed, -9);
    MeasureStreamCreditController credits(map.measureUnit(0)->NisoMeasureUnitConfig(0));
    credits.enable(failed);
    credits.disable(failed);
    credits.cleanup(failed);
    EXPECT_TRUE(writes().empty());
    EXPECT_EQ(failed.code, -9);
}

TEST_F(Credits, SourceStreamThatStopsAtOnceTakesOnlyTheStopStrobe) {
    SourceStreamCreditController credits = source3();
    credits.enable(st);
    credits.enable(st);
    EXPECT_TRUE(engine.creditGateOpen(3));
    EXPECT_EQ(writes(), (std::vector<Access>{W(0x84, 32, kStart), W(0x84, 32, kStart)}));
    credits.disable(st);
    EXPECT_FALSE(engine.creditGateOpen(3));
    EXPECT_EQ(writes(), (std::vector<Access>{W(0x84, 32, kStop)}));
    EXPECT_TRUE(iso.take().empty());
    EXPECT_EQ(st.code, 0);
}

// The path reset runs on every disable of a stream that never reports stopped, each time writing
// both steps of the channel configuration.
TEST_F(Credits, SourceStreamThatNeverStopsHasItsPathReset) {
    fpga().setSourceNeverStops(3, true);
    SourceStreamCreditController credits = source3();
    for (int round = 0; round < 2; ++round) {
        credits.enable(st);
        board.log().clear();
        credits.getCleanupOperation()->cleanup(st);
        EXPECT_EQ(st.code, 0) << "not stopping in time is no failure";
        EXPECT_EQ(writes(), (std::vector<Access>{W(0x84, 32, kStop), W(0x84, 32, kResetEnable),
                                                 W(0x84, 32, kResetDisable)}))
            << round;
        const uint32_t config = isoChannelBase(1);
        EXPECT_EQ(iso.take(), (std::vector<Access>{W(config, 32, 0x4), W(config, 32, 0xC), R(config, 32, 0xC)}))
            << round;
        EXPECT_FALSE(engine.creditGateOpen(3));
    }
}

TEST_F(Credits, PathResetStopsAtTheFirstFailure) {
    fpga().setSourceNeverStops(3, true);
    iso.fail(isoChannelBase(1));
    SourceStreamCreditController credits = source3();
    credits.disable(st);
    EXPECT_EQ(st.code, kzmaps::kPortNotReady);
    EXPECT_EQ(writes(), (std::vector<Access>{W(0x84, 32, kStop), W(0x84, 32, kResetEnable)}));
    EXPECT_EQ(iso.take(), (std::vector<Access>{W(isoChannelBase(1), 32, 0x4)}));

    tStatus failed;
    KZ_SET_CODE(failed, -9);
    credits.enable(failed);
    credits.disable(failed);
    EXPECT_TRUE(writes().empty());
    EXPECT_TRUE(iso.take().empty());
}

// On the board, the path reset reaches the channel's block through the channel's own access port.
TEST_F(Credits, PathResetGoesThroughTheChannelsAccessPort) {
    {
        std::lock_guard<board::BoardLock> guard(board.lock());
        fpga().isolatedLink().establish();
        fpga().isolatedLink().clearLog();
    }
    fpga().setSourceNeverStops(3, true);
    kdut::HardwareStateCheckerComposite checkers;
    kzvorn_driver::WindowedFrontEndAccessor port1(map, 1, checkers, st);
    tTolvaneIsoChannelRegMap channel(&port1, isoChannelBase(1), 0, 0x200);
    SourceStreamCreditController credits(map.NisoTxCreditControl(1), channel.IsoChannelConfigReg(),
                                         channel.IsoChannelStatusReg(), map.NisoTxCreditStatus(1));
    credits.disable(st);
    EXPECT_EQ(st.code, 0);
    std::lock_guard<board::BoardLock> guard(board.lock());
    const uint32_t config = isoChannelBase(1);
    // The status read shows the channel's sequence engine stopped (bit 27).
    EXPECT_EQ(fpga().isolatedLink().log(), (std::vector<board::PortAccess>{
                                               {1, true, config, 0x4}, {1, true, config, 0xC}, {1, false, config, 1u << 27}}));
}

}  // namespace
