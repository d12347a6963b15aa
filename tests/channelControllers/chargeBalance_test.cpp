// The charge-balance controller, the calibration controller group and the calibration dispatcher
// against the board's charge balancers and sequencers: a calculation per range, the balancer's and
// the sequencer's failures (the finishing subroutine runs after each), stored offsets, refused
// codes and indexes, and the construction's failure paths.
#include <gtest/gtest.h>

#include "controllers/calibrationControllers.h"
#include "controllers/chargeBalanceController.h"
#include "dispatchers/calibrationDispatcher.h"
#include "kal/sim/clock.h"
#include "kal/sim/faults.h"
#include "sequencedChannels.h"

namespace {

using kzvorn_driver::CalibrationControllers;
using kzvorn_driver::CalibrationDispatcher;
using kzvorn_driver::ChargeBalanceController;
using nKZAPALS100::tStatus;
using tWrites = std::vector<std::pair<uint32_t, uint32_t>>;

constexpr int64_t kBalancerTimeout = KZ_DEVICE_CODE(0xBFFA4694);
constexpr int64_t kBalancerFailed = KZ_DEVICE_CODE(0xBFFA4695);
constexpr int64_t kSubroutineTimeout = KZ_DEVICE_CODE(0xBFFA90F3);
constexpr int64_t kNotFound = KZ_DEVICE_CODE(0xBFFA4309);
constexpr uint32_t kFinish = draviktools::kSubroutineChargeBalanceFinish;
const uint32_t (&kCalculation)[4] = draviktools::kSubroutineChargeBalance;

struct ChargeBalance : channeltest::SequencedChannels {
    tChannelMap* const mapTable[kChannels] = {&map(0), &map(1), &map(2), &map(3)};
    kdut::HardwareStateCheckerInterface* const checkerTable[kChannels] = {&checker, &checker, &checker, &checker};

    std::unique_ptr<ChargeBalanceController> make(unsigned c) {
        return std::make_unique<ChargeBalanceController>(map(c), checker, *dispatchers[c], st);
    }
    board::ChargeBalancersModel& balancers() { return fpga().chargeBalancers(); }
    using Channel::readsOf;
    using Channel::writesOf;
    // Channel c's writes of one word.
    tWrites writesOf(unsigned c, uint32_t offset) {
        tWrites out;
        for (const auto& w : Channel::writesOf(c))
            if (w.first == offset) out.push_back(w);
        return out;
    }
    std::vector<uint32_t> readsOf(unsigned c, uint32_t offset) {
        std::vector<uint32_t> out;
        for (uint32_t r : Channel::readsOf(c))
            if (r == offset) out.push_back(r);
        return out;
    }
};

TEST_F(ChargeBalance, EachRangeRunsItsSubroutineSelectsItselfAndReadsItsOffset) {
    auto controller = make(3);
    for (unsigned r = 0; r < 4; ++r) {
        const uint8_t code = uint8_t(1u << r);
        balancers().knobs(3).results[r] = uint16_t(0x1111 * (r + 1) & 0x3FFF);
        clearLogs();
        const size_t runsBefore = ranOn(3).size();
        EXPECT_EQ(controller->calculate(code, st), 0x1111 * (r + 1) & 0x3FFF) << r;
        EXPECT_EQ(st.code, 0);
        const std::vector<uint32_t> ran = ranOn(3);
        EXPECT_EQ(std::vector<uint32_t>(ran.begin() + long(runsBefore), ran.end()),
                  (std::vector<uint32_t>{kCalculation[r], kFinish}));
        EXPECT_EQ(writesOf(3, 0x5C), (tWrites{{0x5C, code}})) << r;
        EXPECT_FALSE(readsOf(3, 0x5C).empty());
        EXPECT_EQ(readsOf(3, 0x58 + r).size(), 1u) << r;
        // The selection leaves the shadow; the balancer was finished.
        EXPECT_EQ(map(3).ChargeBalancerControlRegT().getShadow() & 0xF, 0u);
        EXPECT_EQ(balancers().balancer(3, kal::sim::clock().nowUs()).status, 0u);
    }
    EXPECT_TRUE(link().log().size() > 0 && Channel::writesOf(0).empty() && Channel::writesOf(2).empty());
}

TEST_F(ChargeBalance, ABalancerThatFailsOrNeverAnswersStillGetsFinished) {
    auto failing = make(0);
    auto silent = make(1);
    balancers().knobs(0).fail = true;
    EXPECT_EQ(failing->calculate(4, st), 0);
    EXPECT_EQ(st.code, kBalancerFailed);
    EXPECT_EQ(ranOn(0), (std::vector<uint32_t>{kCalculation[2], kFinish}));
    EXPECT_EQ(checker.runs, 0);

    balancers().knobs(1).silent = true;
    const uint64_t from = kal::sim::clock().nowUs();
    tStatus status;
    EXPECT_EQ(silent->calculate(1, status), 0);
    EXPECT_EQ(status.code, kBalancerTimeout);
    EXPECT_GE(kal::sim::clock().nowUs() - from, 1000000u);
    EXPECT_EQ(checker.runs, 1);
    EXPECT_EQ(ranOn(1), (std::vector<uint32_t>{kCalculation[0], kFinish}));

    // The hardware check's finding wins over the time-out.
    checker.finds = -66;
    tStatus found;
    EXPECT_EQ(silent->calculate(1, found), 0);
    EXPECT_EQ(found.code, -66);
}

TEST_F(ChargeBalance, ACalculationThatCannotRunSelectsNothingButFinishes) {
    {
        std::lock_guard<board::BoardLock> guard(fpga().boardLock());
        link().sequencers().options().channels[2].busyStuck = true;
    }
    auto stuck = make(2);
    EXPECT_EQ(stuck->calculate(8, st), 0);
    EXPECT_EQ(st.code, kSubroutineTimeout);
    EXPECT_TRUE(writesOf(2, 0x5C).empty());
    EXPECT_EQ(ranOn(2), (std::vector<uint32_t>{kCalculation[3], kFinish}));

    tStatus made;
    auto registrar = channeltest::systemRegistrar(kCalculation[1], made);
    kzvorn_driver::SubroutineDispatcher dispatcher(registrar, *generators[1], checker, map(1), made);
    ChargeBalanceController withoutRange(map(1), checker, dispatcher, made);
    ASSERT_EQ(made.code, 0);
    tStatus missing;
    EXPECT_EQ(withoutRange.calculate(2, missing), 0);
    EXPECT_EQ(missing.code, kNotFound);
    EXPECT_TRUE(writesOf(1, 0x5C).empty());
    EXPECT_EQ(ranOn(1), (std::vector<uint32_t>{kFinish}));
}

TEST_F(ChargeBalance, CodesAndIndexesWithoutARangeReachNoHardware) {
    auto controller = make(0);
    for (uint8_t code : {0, 3, 5, 16, 0x80, 0xFF}) {
        tStatus status;
        EXPECT_EQ(controller->calculate(code, status), 0) << int(code);
        EXPECT_EQ(status.code, -52005) << int(code);
        EXPECT_EQ(kzvorn_driver::chargeBalanceRangeRow(code), 4u) << int(code);
    }
    for (uint8_t index : {4, 0xFF}) {
        tStatus status;
        controller->setOffset(index, 1, status);
        EXPECT_EQ(status.code, -52005) << int(index);
    }
    tStatus failed;
    KZ_SET_CODE(failed, -9);
    EXPECT_EQ(controller->calculate(1, failed), 0);
    controller->setOffset(0, 1, failed);
    EXPECT_EQ(failed.code, -9);
    EXPECT_TRUE(link().log().empty());
    EXPECT_TRUE(ranOn(0).empty());
}

TEST_F(ChargeBalance, SetOffsetWritesFourteenBitsOnlyWhenTheyChange) {
    auto controller = make(1);
    auto offset = map(1).at<tChannelMap::tChargeBalanceOffsetRegT>(0x5B);
    offset.setRegister(0xABCD0000, st);
    offset.flush(st);
    clearLogs();
    controller->setOffset(3, 0x12345, st);
    EXPECT_EQ(writesOf(1), (tWrites{{0x5B, 0xABCD2345}}));
    clearLogs();
    controller->setOffset(3, 0x12345, st);
    EXPECT_TRUE(link().log().empty());
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(balancers().offset(1, 3, kal::sim::clock().nowUs()), 0x2345);
}

TEST_F(ChargeBalance, ARefusedAllocationOrMutexLeavesNothingAndTouchesNoRegister) {
    sweepConstruction([&](tStatus& status) {
        auto controller = kzhtl::makeShared<ChargeBalanceController>(map(2), checker, *dispatchers[2], status);
        EXPECT_EQ(controller.get() == nullptr, status.isFatal());
    });
    sweepConstruction([&](tStatus& status) {
        auto group = kzhtl::makeShared<CalibrationControllers>(mapTable, checkerTable, dispatcherTable, status);
        EXPECT_EQ(group.get() == nullptr, status.isFatal());
    });
}

TEST_F(ChargeBalance, TheGroupGivesEachChannelItsOwnController) {
    CalibrationControllers group(mapTable, checkerTable, dispatcherTable, st);
    ASSERT_EQ(st.code, 0);
    for (unsigned c = 0; c < kChannels; ++c) {
        ChargeBalanceController* controller = group.getChargeBalanceController(uint8_t(c));
        ASSERT_NE(controller, nullptr);
        for (unsigned other = 0; other < c; ++other) EXPECT_NE(controller, group.getChargeBalanceController(uint8_t(other)));
        clearLogs();
        controller->setOffset(0, 0x100 + c, st);
        for (unsigned other = 0; other < kChannels; ++other)
            EXPECT_EQ(writesOf(other, 0x58), other == c ? (tWrites{{0x58, 0x100 + c}}) : tWrites{}) << c;
    }
    EXPECT_EQ(group.getChargeBalanceController(4), nullptr);
    EXPECT_EQ(group.getChargeBalanceController(0xFF), nullptr);

    // On an error status nothing is made, not even a lock.
    kal::sim::FailKernelCall mutexes("createMutex", 1, 1000);
    tStatus failed;
    KZ_SET_CODE(failed, -9);
    CalibrationControllers none(mapTable, checkerTable, dispatcherTable, failed);
    EXPECT_EQ(mutexes.failures(), 0u);
    EXPECT_EQ(none.getChargeBalanceController(0), nullptr);
    EXPECT_EQ(failed.code, -9);
}

TEST_F(ChargeBalance, TheDispatcherCalculatesOnTheChannelOfTheRequest) {
    tStatus made;
    kzhtl::SharedPtr<kzvorn_driver::CalibrationControllersInterface> group =
        kzhtl::makeShared<CalibrationControllers>(mapTable, checkerTable, dispatcherTable, made);
    ASSERT_EQ(made.code, 0);
    CalibrationDispatcher dispatcher(group);
    balancers().knobs(1).results[1] = 0x1ABC;
    EXPECT_EQ(dispatcher.calculateChargeBalanceOffset(1, 2, st), 0x1ABC);
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(balancers().offset(1, 1, kal::sim::clock().nowUs()), 0x1ABC);
    EXPECT_EQ(ranOn(1), (std::vector<uint32_t>{kCalculation[1], kFinish}));
    EXPECT_TRUE(ranOn(0).empty() && ranOn(2).empty() && ranOn(3).empty());

    struct Case {
        uint8_t channel;
        uint8_t code;
    };
    clearLogs();
    for (const Case& c : {Case{4, 2}, Case{0xFF, 1}, Case{0, 0}, Case{0, 3}, Case{0, 16}, Case{3, 0xC0}}) {
        tStatus status;
        EXPECT_EQ(dispatcher.calculateChargeBalanceOffset(c.channel, c.code, status), 0);
        EXPECT_EQ(status.code, -52005) << int(c.channel) << " " << int(c.code);
    }
    tStatus failed;
    KZ_SET_CODE(failed, -9);
    EXPECT_EQ(dispatcher.calculateChargeBalanceOffset(0, 1, failed), 0);
    EXPECT_EQ(failed.code, -9);
    EXPECT_TRUE(link().log().empty());
}

}  // namespace
