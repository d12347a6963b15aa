// Setup level 15 and the step after level 22 in the device's bring-up, on the product board: what
// reaches each channel's calibration registers and charge balancer through the access ports, where
// a failure leaves the device, and what the teardown does.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "board/chargeBalancers.h"
#include "board/isolatedSequencers.h"
#include "calibrationFixture.h"
#include "device/statusCodes.h"
#include "tolvane/fixture.h"
#include "tolvane/scriptRun.h"

namespace caltest {
namespace {

using namespace tolvanetest;
namespace r = board::record;
using Balancers = board::ChargeBalancersModel;

constexpr uint64_t kNisoConfig = board::bar0::kNonIsolatedFpga + 0x10;
constexpr uint32_t kDisabledErrorsUndo = 1u << 31;
constexpr int64_t kBalancerFailed = KZ_DEVICE_CODE(0xBFFA4695);

// Clears the board's logs when a chosen step begins, so they hold that step's accesses and the
// later ones.
struct StepMark : BringUpObserver {
    StepMark(board::Board& board, board::IsolatedLink& link) : board_(board), link_(link) {}
    void onBringUpStep(BringUpStep step) override {
        if (step == bringUp) clear();
    }
    void onTeardownStep(TeardownStep step) override {
        ++teardownSteps;
        if (step == teardownStep) clear();
        // What the marked teardown step accessed, taken when the next one begins.
        if (step == teardownStep + 1) {
            accessesOfTeardownStep = board_.log().entries().size() + link_.log().size();
        }
    }
    void clear() {
        board_.log().clear();
        link_.clearLog();
    }

    BringUpStep bringUp = kBringUpStepCount;
    TeardownStep teardownStep = kTeardownStepCount;
    size_t accessesOfTeardownStep = 0;
    // Counted, not listed: a test counts the live allocations.
    size_t teardownSteps = 0;

private:
    board::Board& board_;
    board::IsolatedLink& link_;
};

class CalibrationLevel : public Tolvane {
protected:
    CalibrationLevel() { plan_.observer = &mark_; }
    // The device, removed after this, keeps the plan but not the mark.
    ~CalibrationLevel() override { plan_.observer = nullptr; }

    // The board's flash holds the image from the start.
    void store(const board::FlashImage& image) { blocks_.flash().load(0, image.bytes()); }
    // Levels 16 to 22 stand in; the step after level 22 stays real.
    void fakeLevels16To22() {
        plan_.fake(BringUpPlan::stepOfLevel(16), kStepFinalSubroutine, BringUpPlan::kSucceed);
    }

    board::IsolatedLink& link() { return blocks_.nonIsolatedFpga.isolatedLink(); }
    // The isolated writes since the mark, as the channel map's accesses.
    std::vector<Access> isolatedWrites() {
        std::vector<Access> writes;
        for (const board::PortAccess& a : link().log())
            if (a.write) writes.push_back(armtest::W(a.address, 32, a.value));
        return writes;
    }
    // The charge-balance subroutines the sequencers ran: (channel, id).
    std::vector<std::pair<unsigned, uint32_t>> chargeBalanceRuns() {
        std::vector<std::pair<unsigned, uint32_t>> runs;
        for (const board::SequencerRun& run : link().sequencers().runs()) {
            if (!run.id) continue;
            bool chargeBalance = *run.id == Balancers::kFinishId;
            for (uint32_t id : Balancers::kCalculationIds) chargeBalance |= *run.id == id;
            if (chargeBalance) runs.emplace_back(run.channel, *run.id);
        }
        return runs;
    }
    std::string run(const std::string& script) {
        bool good = false;
        const std::string printed = printedBy(kernel_, blocks_, script, &good);
        EXPECT_TRUE(good) << script;
        return printed;
    }

    StepMark mark_{board_, blocks_.nonIsolatedFpga.isolatedLink()};
};

std::vector<Access> selfLoads(const board::FlashImage& image, std::initializer_list<uint32_t> channels) {
    std::vector<Access> writes;
    for (uint32_t c : channels) {
        const std::vector<Access> channel = expectedLoad(image, selfRecord(c), c);
        writes.insert(writes.end(), channel.begin(), channel.end());
    }
    return writes;
}

TEST_F(CalibrationLevel, LevelFifteenLoadsEverySelfRecordThenTheDigipot) {
    mark_.bringUp = kStepChannelCalibration;
    // Levels 16 to 22 write after it; with every offset stored the step after them writes nothing.
    fakeLevels16To22();
    ASSERT_EQ(add(), 0);
    EXPECT_EQ(tracker().reached, 22);
    EXPECT_EQ(tracker().status.code, 0);
    const board::FlashImage image = board::FlashImage::standard();
    std::vector<Access> expected = selfLoads(image, {0, 1, 2, 3});
    expected.push_back(armtest::W(board::IsolatedRegisterFile::kCmccDigiPot, 32, board::factory::kCommonModeCurrentDigipot));
    EXPECT_EQ(isolatedWrites(), expected);
    std::lock_guard<board::BoardLock> hold(blocks_.nonIsolatedFpga.boardLock());
    expectSelfRecordsLoaded(link().registers());
}

// The first coefficient out of range ends the level: what came before it stays written, nothing
// after it is; the device stays at level 14.
TEST_F(CalibrationLevel, ABadCoefficientStopsTheLevelAtIt) {
    board::FlashImage image = board::FlashImage::standard();
    image.setCoefficient(selfRecord(1), r::kLowCurrentGain, 0, stored(pow2(55)));
    store(image);
    mark_.bringUp = kStepChannelCalibration;
    ASSERT_EQ(add(), 0);
    EXPECT_EQ(tracker().reached, 14);
    EXPECT_EQ(tracker().status.code, kzvorn_driver::kStatusArgumentOutOfRange);
    std::vector<Access> expected = selfLoads(image, {0});
    const std::vector<Access> channel1 = expectedLoad(image, selfRecord(1), 1);
    expected.insert(expected.end(), channel1.begin(), channel1.begin() + 26);  // its voltage ranges
    EXPECT_EQ(isolatedWrites(), expected);
}

// An offset register of a channel after the step: (channel, range, its bits 0-13).
struct Offset {
    uint32_t channel;
    uint32_t range;
    uint32_t value;
};

struct StepCase {
    const char* what;
    std::function<void(board::FlashImage&)> change;
    // The channel whose balancer fails every calculation, or none.
    int failingChannel;
    int64_t status;
    // The charge-balance subroutines run, in order: (channel, id).
    std::vector<std::pair<unsigned, uint32_t>> runs;
    std::vector<Offset> offsets;
};

void setOffset(board::FlashImage& image, const std::string& name, uint32_t range, __int128 value) {
    image.setCoefficient(name, r::kChargeBalanceOffsets, range, stored(value));
}

constexpr uint32_t kRange1 = Balancers::kCalculationIds[1];
constexpr uint32_t kRange2 = Balancers::kCalculationIds[2];
constexpr uint32_t kFinish = Balancers::kFinishId;
constexpr uint32_t kMeasured = Balancers::kDefaultResult;

const StepCase kSteps[] = {
    {"every range stored", [](board::FlashImage&) {}, -1, 0, {}, {}},
    {"range 2 of channel 1 zero", [](board::FlashImage& i) { setOffset(i, selfRecord(1), 2, 0); }, -1, 0,
     {{1, kRange2}, {1, kFinish}}, {{1, 2, kMeasured}}},
    {"an offset of 1 is measured, one of 2^63 is loaded",
     [](board::FlashImage& i) {
         setOffset(i, selfRecord(0), 2, 1);
         setOffset(i, selfRecord(3), 2, pow2(63));
     },
     -1, 0, {{0, kRange2}, {0, kFinish}}, {{0, 2, kMeasured}, {3, 2, 1}}},
    {"a bad self record lets the external one decide",
     [](board::FlashImage& i) {
         setOffset(i, selfRecord(2), 2, 0);
         setOffset(i, record("External", 2), 1, 0);
         i.corruptChecksum(selfRecord(2));
     },
     -1, 0, {{2, kRange1}, {2, kFinish}}, {{2, 1, kMeasured}}},
    {"no compatible record",
     [](board::FlashImage& i) {
         for (const char* kind : {"Default", "Factory", "External", "Self"}) {
             setOffset(i, record(kind, 1), 2, 0);
             i.breakVersion(record(kind, 1));
         }
     },
     -1, 0, {}, {{1, 2, 0}}},
    {"the balancer fails",
     [](board::FlashImage& i) {
         setOffset(i, selfRecord(1), 2, 0);
         setOffset(i, selfRecord(2), 2, 0);
     },
     1, kBalancerFailed, {{1, kRange2}, {1, kFinish}}, {{2, 2, 0}}},
};

void PrintTo(const StepCase& c, std::ostream* out) { *out << c.what; }

class TheStepAfterLevel22 : public CalibrationLevel, public ::testing::WithParamInterface<StepCase> {};

// Levels 16 to 22 standing in, the step after level 22 real.
TEST_P(TheStepAfterLevel22, MeasuresWhatTheChosenRecordLeavesUncalibrated) {
    const StepCase& c = GetParam();
    board::FlashImage image = board::FlashImage::standard();
    c.change(image);
    store(image);
    if (c.failingChannel >= 0) blocks_.nonIsolatedFpga.chargeBalancers().knobs(c.failingChannel).fail = true;
    fakeLevels16To22();
    mark_.bringUp = kStepChargeBalanceOffset;
    ASSERT_EQ(add(), 0);
    EXPECT_EQ(tracker().reached, 22);
    EXPECT_EQ(tracker().status.code, c.status);
    EXPECT_EQ(chargeBalanceRuns(), c.runs);
    // Each calculation selects its range on the balancer: 0x5C := 1 << range.
    std::vector<Access> selections;
    for (size_t i = 0; i < c.runs.size(); i += 2) {
        const uint32_t range = c.runs[i].second == kRange1 ? 1 : 2;
        selections.push_back(armtest::W(channelBase(c.runs[i].first) + Balancers::kControl, 32, 1u << range));
    }
    std::vector<Access> control;
    for (const Access& a : isolatedWrites())
        if (a.address % 512 == Balancers::kControl) control.push_back(a);
    EXPECT_EQ(control, selections);
    // A failure after level 22 undoes the disabled-error step.
    const std::vector<uint64_t> config = board_.log().writesTo(kNisoConfig);
    EXPECT_EQ(!config.empty() && (config.back() & kDisabledErrorsUndo) != 0, c.status != 0);
    std::lock_guard<board::BoardLock> hold(blocks_.nonIsolatedFpga.boardLock());
    for (const Offset& o : c.offsets) {
        const uint32_t word = board::IsolatedRegisterFile::kChannelBlocks +
                              o.channel * board::IsolatedRegisterFile::kChannelBlockWords + Balancers::kOffsets + o.range;
        EXPECT_EQ(link().registers().stored(word) & 0x3FFF, o.value) << o.channel << ":" << o.range;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, TheStepAfterLevel22, ::testing::ValuesIn(kSteps));

// A bring-up stopped below level 22 does not measure.
TEST_F(CalibrationLevel, ATargetBelow22MeasuresNothing) {
    board::FlashImage image = board::FlashImage::standard();
    setOffset(image, selfRecord(0), 0, 0);
    store(image);
    fakeLevels16To22();
    ASSERT_EQ(add(), 0);
    ASSERT_EQ(chargeBalanceRuns().size(), 2u);
    EXPECT_EQ(run("reset 21\n"), "reset 21: status: -52010\n");
    EXPECT_EQ(chargeBalanceRuns().size(), 2u) << "none since";
}

// The teardown releases the four loaders and writes nothing for them.
TEST_F(CalibrationLevel, TheTeardownReleasesTheLoadersWithoutAWrite) {
    const int64_t before = kal::sim::liveAllocations();
    ASSERT_EQ(add(), 0);
    ASSERT_EQ(tracker().reached, 22);
    mark_.teardownStep = kTeardownCalibrationLoaders;
    kernel_.removeDevice(*function_);
    kernel_.deleteDevice(*function_);
    ASSERT_GT(mark_.teardownSteps, size_t(kTeardownCalibrationLoaders) + 1);
    EXPECT_EQ(mark_.accessesOfTeardownStep, 0u);
    EXPECT_EQ(kal::sim::liveAllocations(), before);
}

}  // namespace
}  // namespace caltest
