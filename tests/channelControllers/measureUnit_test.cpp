// The measure unit controller against the board's measure units: what construction, configure,
// arm, reset and a measurement write and read, the units' time-outs and refusals, and the
// construction's failure paths.
#include <gtest/gtest.h>

#include "controllers/measureUnitController.h"
#include "fixture.h"
#include "kal/sim/clock.h"
#include "kal/sim/faults.h"

namespace {

using kzvorn_driver::MeasureUnitController;
using kzvorn_driver::MeasureUnitMeasurement;
using nKZAPALS100::tStatus;
using tWrites = std::vector<std::pair<uint32_t, uint32_t>>;

constexpr int64_t kTimeout = KZ_DEVICE_CODE(0xBFFA4682);
constexpr int64_t kNotAvailable = KZ_DEVICE_CODE(0xBFFA430B);
constexpr int64_t kOutOfRange = KZ_DEVICE_CODE(0xBFFA4300);

uint32_t windowOf(unsigned c) { return 0x400 + 0x60 * c; }

struct MeasureUnits : channeltest::Channel {
    board::MeasureUnitsModel& units() { return fpga().measureUnits(); }
    std::unique_ptr<MeasureUnitController> make(unsigned c) {
        auto controller = std::make_unique<MeasureUnitController>(uint8_t(c), niso, map(c), st);
        clearLogs();
        return controller;
    }
    // Offsets of the non-isolated block, reads or writes, from `first` on.
    std::vector<armtest::Access> nisoFrom(uint32_t first, bool writes) {
        std::vector<armtest::Access> out;
        for (const armtest::Access& a : seen(writes))
            if (a.address >= first && a.address < 0x600) out.push_back(a);
        return out;
    }
    size_t readsOf(uint32_t offset) {
        size_t n = 0;
        for (const armtest::Access& a : seen(false)) n += a.address == offset;
        return n;
    }
};

TEST_F(MeasureUnits, ConstructionEnablesFixedMeasurementOfUnit2Only) {
    MeasureUnitController controller(1, niso, map(1), st);
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(writesOf(1), (tWrites{{0x135, 1u << 9}}));
    EXPECT_EQ(controller.getCleanupOperation(), static_cast<kdut::CleanupOperationInterface*>(&controller));
}

TEST_F(MeasureUnits, ConfigureCutsEachFieldToItsWidthAndAskesForOnePoint) {
    auto controller = make(0);
    controller->configure(1, 0x400001, 5, 9, true, false, st);
    EXPECT_EQ(st.code, 0);
    // Abort, the filter word (forced), then one point per record; MeasureContinuous was clear already.
    EXPECT_EQ(writesOf(0), (tWrites{{0x134, 1u << 1}, {0x131, 0x91000001}, {0x137, 1}}));
    EXPECT_EQ(units().unit(0, 1).cicFilterConfig, 0x91000001u);
    EXPECT_EQ(readsOf(0x39C), 1u);
}

TEST_F(MeasureUnits, AOnePointMeasurementReadsTheUnitsWindowAndTellsTheBoardItWasRead) {
    auto controller = make(2);
    controller->configure(1, 1000, 2, 3, false, false, st);
    clearLogs();
    const MeasureUnitMeasurement m = controller->getMeasurement(1, st);
    ASSERT_EQ(st.code, 0);
    const board::MeasureUnitsModel::Unit& unit = units().unit(2, 1);
    EXPECT_EQ(m.cicFilterConfig, (2u << 24) | (3u << 28) | 1000u);
    EXPECT_EQ(m.zero, 0u);
    EXPECT_EQ(m.firstData, unit.data[0]);
    EXPECT_EQ(m.firstHeader, unit.headers[0]);
    EXPECT_EQ(m.secondData, unit.data[1]);
    EXPECT_EQ(m.secondHeader, unit.headers[1]);
    EXPECT_NE(m.firstHeader, m.secondHeader);
    EXPECT_EQ(writesOf(2), (tWrites{{0x134, 1}}));
    const uint32_t w = windowOf(2);
    const std::vector<uint32_t> reads = {0x4D4, 0x4E4, 0x4F4, 0x504, 0x514};
    std::vector<uint32_t> windowReads;
    for (const armtest::Access& a : nisoFrom(0x400, false)) windowReads.push_back(a.address);
    EXPECT_EQ(windowReads, reads);
    EXPECT_EQ(nisoFrom(0x400, true), (std::vector<armtest::Access>{armtest::W(w + 4, 32, 1), armtest::W(w + 4, 32, 2)}));
    // Polled on bit 3 * 2 + 1 until the board's delay passed; the read-done strobe cleared it.
    EXPECT_GE(readsOf(0x398), 2u);
    EXPECT_FALSE(units().dataWaiting(2, 1, board.nowUs()));

    const MeasureUnitMeasurement next = controller->getMeasurement(1, st);
    EXPECT_EQ(st.code, 0);
    EXPECT_NE(next.firstHeader, m.firstHeader) << "every start makes a new measurement";
}

TEST_F(MeasureUnits, AContinuousUnitRunsAndWithoutAWaitingMeasurementGivesNone) {
    auto controller = make(3);
    controller->configure(0, 64, 1, 0, false, true, st);
    ASSERT_EQ(st.code, 0);
    EXPECT_EQ(writesOf(3), (tWrites{{0x133, 1u << 1}, {0x130, (1u << 24) | 64u}, {0x136, 1u << 28}, {0x133, 1}}));
    EXPECT_TRUE(units().unit(3, 0).continuous);
    EXPECT_FALSE(units().idle(3, 0, board.nowUs()));
    clearLogs();
    const MeasureUnitMeasurement none = controller->getMeasurement(0, st);
    EXPECT_EQ(st.code, kNotAvailable);
    EXPECT_EQ(none.cicFilterConfig | none.firstData | none.firstHeader | none.secondData | none.secondHeader, 0u);
    EXPECT_TRUE(nisoFrom(0x400, false).empty() && nisoFrom(0x400, true).empty()) << "the window untouched";
    EXPECT_TRUE(writesOf(3).empty()) << "a continuous unit is not started again";

    kal::sim::clock().advanceUs(units().continuousIntervalUs);
    tStatus status;
    const MeasureUnitMeasurement m = controller->getMeasurement(0, status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(m.firstHeader, units().unit(3, 0).headers[0]);
    EXPECT_EQ(m.cicFilterConfig, (1u << 24) | 64u);
}

TEST_F(MeasureUnits, ResetDisarmsAbortsAndResetsUnit0ThenWaitsForIdle) {
    auto controller = make(1);
    controller->reset(st);
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(writesOf(1), (tWrites{{0x27, 1u << 13}, {0x133, 1u << 1}}));
    EXPECT_EQ(nisoFrom(0x400, true), (std::vector<armtest::Access>{armtest::W(windowOf(1), 32, 1u << 8)}));
    EXPECT_EQ(readsOf(0x39C), 1u);
    clearLogs();
    controller->cleanup(st);
    EXPECT_EQ(writesOf(1), (tWrites{{0x27, 1u << 13}, {0x133, 1u << 1}})) << "cleanup is the reset";

    clearLogs();
    controller->arm(st);
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(writesOf(1), (tWrites{{0x27, (1u << 10) | (1u << 12)}}));
}

TEST_F(MeasureUnits, AnArmThatFailsIsUndoneAtOnceAndReportsItsOwnError) {
    auto controller = make(2);
    constexpr int64_t kFound = KZ_DEVICE_CODE(0xBFFA4689);
    checker.finds = kFound;
    fpga().setAccessPortKnobs(2, board::AccessPortKnobs{0, false, false, false, 1});
    controller->arm(st);
    EXPECT_EQ(st.code, kFound);
    EXPECT_EQ(checker.runs, 1);
    const tWrites writes = writesOf(2);
    ASSERT_EQ(writes.size(), 2u) << "the arm's write never reached the channel; the undo's two did";
    EXPECT_EQ(writes[0].first, 0x27u);
    EXPECT_NE(writes[0].second & (1u << 13), 0u);
    EXPECT_EQ(writes[1], std::make_pair(0x133u, 1u << 1));
    EXPECT_EQ(nisoFrom(0x400, true), (std::vector<armtest::Access>{armtest::W(windowOf(2), 32, 1u << 8)}));
}

TEST_F(MeasureUnits, UnitsThatNeverGoIdleOrNeverDeliverTimeOut) {
    struct Case {
        const char* name;
        bool neverIdle, neverData;
        uint64_t atLeastUs;
    } cases[] = {{"never idle", true, false, 1000}, {"never data", false, true, 1000000}};
    auto controller = make(0);
    for (const Case& c : cases) {
        units().unit(0, 0).neverIdle = c.neverIdle;
        units().unit(0, 0).neverData = c.neverData;
        tStatus status;
        const uint64_t start = kal::sim::clock().nowUs();
        const MeasureUnitMeasurement m =
            c.neverIdle ? (controller->reset(status), MeasureUnitMeasurement{}) : controller->getMeasurement(0, status);
        const uint64_t took = kal::sim::clock().nowUs() - start;
        EXPECT_EQ(status.code, kTimeout) << c.name;
        EXPECT_GE(took, c.atLeastUs) << c.name;
        EXPECT_LT(took, c.atLeastUs + c.atLeastUs / 2 + 1000) << c.name;
        EXPECT_EQ(m.firstHeader, 0u) << c.name;
        units().unit(0, 0) = board::MeasureUnitsModel::Unit{};
    }
}

TEST_F(MeasureUnits, AUnitOutsideTheChannelsThreeIsRefusedWithoutAnAccess) {
    auto controller = make(0);
    for (int32_t unit : {3, -1, 0x7FFFFFFF}) {
        tStatus configured, measured;
        controller->configure(unit, 1, 0, 0, false, false, configured);
        const MeasureUnitMeasurement m = controller->getMeasurement(unit, measured);
        EXPECT_EQ(configured.code, kOutOfRange) << unit;
        EXPECT_EQ(measured.code, kOutOfRange) << unit;
        EXPECT_EQ(m.cicFilterConfig, 0u);
    }
    EXPECT_TRUE(board.log().entries().empty());
    EXPECT_TRUE(link().log().empty());
}

TEST_F(MeasureUnits, AnIncomingErrorDoesNothing) {
    auto controller = make(0);
    tStatus status;
    KZ_SET_CODE(status, -52000);
    controller->arm(status);
    controller->reset(status);
    controller->configure(0, 1, 0, 0, false, true, status);
    EXPECT_EQ(controller->getMeasurement(0, status).cicFilterConfig, 0u);
    EXPECT_EQ(status.code, -52000);
    EXPECT_TRUE(board.log().entries().empty());
    EXPECT_TRUE(link().log().empty());
}

TEST_F(MeasureUnits, ARefusedAllocationOrMutexLeavesNothingAndTouchesNoRegister) {
    sweepConstruction([&](tStatus& status) { MeasureUnitController controller(0, niso, map(0), status); });
}

}  // namespace
