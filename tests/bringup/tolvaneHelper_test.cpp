#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "device/tolvaneHelper.h"
#include "kal/sim/faults.h"

using namespace kzvorn_driver;
using nKZAPALS100::tStatus;

namespace {

struct Recorder : BringUpObserver {
    void onBringUpStep(BringUpStep step) override { steps.push_back(step); }
    void onTeardownStep(TeardownStep step) override { teardown.push_back(step); }
    std::vector<uint32_t> steps;
    std::vector<uint32_t> teardown;
};

struct BringUp : ::testing::Test {
    SetupTracker tracker;
    CoolingPair cooling{16, 0};
    BringUpPlan plan;
    Recorder recorder;

    BringUp() { plan.observer = &recorder; }

    std::unique_ptr<TolvaneHelper> start(int32_t target,
                                         const kzvorn_driver_codegen::CustomResetParameters* record = nullptr) {
        tracker.reset(target);
        return std::unique_ptr<TolvaneHelper>(
            TolvaneHelper::create(TolvaneHelper::Context{nullptr, nullptr, &cooling, &plan}, record, tracker.status, tracker));
    }
};

std::vector<uint32_t> range(uint32_t first, uint32_t last) {
    std::vector<uint32_t> steps;
    for (uint32_t s = first; s <= last; ++s) steps.push_back(s);
    return steps;
}

}  // namespace

// Without the levels below, there is nothing to build on: levels 10 and 12 need level 8's isolated
// FPGA map, level 11 those of levels 5, 8 and 10, level 13 level 11's dispatcher, level 14 the maps
// of levels 3, 5 and 8, level 15 level 11's controllers, levels 18, 19, 21 and 22 level 11's
// objects (18 also level 10's registrar), level 20 level 8's channel maps. After a failure at
// level 7 the disabled-error step still runs, and finds no controllers of a faked level 5.
TEST_F(BringUp, LevelsNeedTheObjectsOfTheLevelsBelow) {
    for (int32_t level : {5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 18, 19, 20, 21, 22}) {
        plan = BringUpPlan();
        plan.observer = &recorder;
        recorder.steps.clear();
        plan.fakeLevels(1, level - 1, BringUpPlan::kSucceed);
        auto helper = start(22);
        EXPECT_EQ(tracker.reached, level - 1) << level;
        EXPECT_EQ(tracker.status.code, -52006) << level;
        EXPECT_EQ(helper->getNonIsolatedControllers(), nullptr) << level;
        EXPECT_EQ(helper->getSubroutineRegistrar(), nullptr) << level;
        EXPECT_EQ(helper->getTemperatureSensorController(), nullptr) << level;
        EXPECT_EQ(helper->getIsolatedRegMaps(), nullptr) << level;
        EXPECT_EQ(helper->getIsolatedObjects(), nullptr) << level;
        EXPECT_EQ(helper->getHardwareErrorController(), nullptr) << level;
        EXPECT_EQ(helper->getDMADispatcher(), nullptr) << level;
        if (level == 7) {
            EXPECT_EQ(recorder.steps, range(kStepRegistries, kStepDisabledErrors));
        }
    }
}

// The step after level 22 measures with level 11's controllers: with them faked it fails, and the
// device stays at level 22 with that error.
TEST_F(BringUp, TheStepAfterLevel22NeedsLevel11sControllers) {
    plan.fakeLevels(1, 22, BringUpPlan::kSucceed);
    plan.fake(kStepChargeBalanceOffset, BringUpPlan::kReal);
    auto helper = start(22);
    EXPECT_EQ(tracker.reached, 22);
    EXPECT_EQ(tracker.status.code, -52006);
    EXPECT_EQ(recorder.steps.back(), kStepChargeBalanceOffset);
}

// Without level 3's register maps there is nothing to load the image through.
TEST_F(BringUp, TheImageDownloadNeedsLevel3sRegisterMaps) {
    plan.fakeLevels(1, 3, BringUpPlan::kSucceed);
    auto helper = start(22);
    EXPECT_EQ(tracker.reached, 3);
    EXPECT_EQ(tracker.status.code, -52006);
    EXPECT_FALSE(helper->hasCustomNisoImage());
}

// A failure at level N leaves the device at N-1 with that code; later steps do not run.
TEST_F(BringUp, AFailureAtALevelLeavesTheLevelBelow) {
    for (int32_t level : {1, 3, 5, 8, 17, 22}) {
        plan = BringUpPlan();
        plan.observer = &recorder;
        recorder.steps.clear();
        plan.fakeLevels(1, 22, BringUpPlan::kSucceed);
        const int64_t code = KZ_DEVICE_CODE(0xBFFA8000 + level);
        plan.fake(BringUpPlan::stepOfLevel(level), BringUpPlan::kFail, code);
        auto helper = start(22);
        EXPECT_EQ(tracker.reached, level - 1) << level;
        EXPECT_EQ(tracker.status.code, code) << level;
        const bool disabledErrorsRan = level - 1 >= 5;
        EXPECT_EQ(recorder.steps.back(), disabledErrorsRan && level <= 7 ? kStepDisabledErrors
                                                                        : BringUpPlan::stepOfLevel(level))
            << level;
    }
}

TEST_F(BringUp, ATargetStopsTheBringUpWithMinus52010AndTheHighestEndsWithSuccess) {
    plan.fakeLevels(1, 22, BringUpPlan::kSucceed);
    for (int32_t target : {1, 2, 4, 5, 21, 22}) {
        recorder.steps.clear();
        auto helper = start(target);
        EXPECT_EQ(tracker.reached, target);
        EXPECT_EQ(tracker.status.code, target == 22 ? 0 : -52010) << target;
        const bool disabledErrors =
            std::find(recorder.steps.begin(), recorder.steps.end(), kStepDisabledErrors) != recorder.steps.end();
        EXPECT_EQ(disabledErrors, target >= 5) << "the disabled-error step runs once level 5 is reached";
        EXPECT_EQ(recorder.steps.back() == kStepChargeBalanceOffset, target == 22)
            << "the charge-balance step only after level 22";
    }
}

// The unlevelled step after level 7 runs on a stopped or failed bring-up and merges its result:
// the first error stays.
TEST_F(BringUp, TheDisabledErrorStepMergesWhatItFinds) {
    plan.fakeLevels(1, 22, BringUpPlan::kSucceed);
    plan.fake(kStepDisabledErrors, BringUpPlan::kFail, KZ_DEVICE_CODE(0xBFFA4688));
    {
        auto helper = start(6);
        EXPECT_EQ(tracker.reached, 6);
        EXPECT_EQ(tracker.status.code, -52010);
    }
    {
        auto helper = start(22);
        EXPECT_EQ(tracker.reached, 7);
        EXPECT_EQ(tracker.status.code, KZ_DEVICE_CODE(0xBFFA4688));
    }
    plan.fake(kStepIsoFirmware, BringUpPlan::kFail, -52000);
    auto helper = start(22);
    EXPECT_EQ(tracker.reached, 6);
    EXPECT_EQ(tracker.status.code, -52000);
}

namespace {

struct SessionCleanup : kdut::CleanupOperationInterface {
    SessionCleanup(Recorder& recorder, int64_t reports) : recorder_(recorder), reports_(reports) {}
    void cleanup(tStatus& status) override {
        ran = recorder_.teardown.size();
        if (reports_ != 0) KZ_SET_CODE(status, reports_);
    }
    Recorder& recorder_;
    int64_t reports_;
    size_t ran = 0;
};

}  // namespace

// The teardown runs every step in its fixed order; the sequencer shutdown only after a complete
// bring-up whose sessions cleaned up without an error.
TEST_F(BringUp, TheTeardownRunsInItsOrder) {
    plan.fakeLevels(1, 22, BringUpPlan::kSucceed);
    struct Case {
        int32_t target;
        int64_t sessionReports;
        bool shutdown;
    } cases[] = {{22, 0, true}, {22, -52006, false}, {22, 5, false}, {12, 0, false}};
    for (const Case& c : cases) {
        SessionCleanup session(recorder, c.sessionReports);
        auto helper = start(c.target);
        tStatus status;
        helper->getCleanupOperations()->add(&session, status);
        ASSERT_EQ(status.code, 0);
        recorder.teardown.clear();
        helper.reset();
        std::vector<uint32_t> expected = range(kTeardownSessionCleanup, kTeardownComposites);
        if (!c.shutdown) expected.erase(expected.begin() + kTeardownShutdownSequencers);
        EXPECT_EQ(recorder.teardown, expected) << c.target << "/" << c.sessionReports;
        EXPECT_EQ(session.ran, 1u) << "the sessions' cleanup sets run first";
    }
}

TEST_F(BringUp, CountsThatDoNotFitIn32BitsMakeNoHelper) {
    plan.fakeLevels(1, 22, BringUpPlan::kSucceed);
    for (int field = 0; field < 2; ++field) {
        kzvorn_driver_codegen::CustomResetParameters record = {};
        (field == 0 ? record.subroutineCount : record.subroutineWordCount) = uint64_t(1) << 32;
        EXPECT_EQ(start(22, &record), nullptr);
        EXPECT_EQ(tracker.status.code, -52003);
        EXPECT_EQ(tracker.reached, 0);
    }
    kzvorn_driver_codegen::CustomResetParameters record = {};
    record.subroutineCount = 0xFFFFFFFF;
    EXPECT_NE(start(22, &record), nullptr);
    EXPECT_EQ(tracker.status.code, 0);

    tracker.reset(0);
    EXPECT_EQ(TolvaneHelper::create(TolvaneHelper::Context{nullptr, nullptr, &cooling, &plan}, nullptr, tracker.status, tracker),
              nullptr)
        << "a tracker that holds an error makes none";
}

// Every allocation of the bring-up failed in turn: a clear status, a level below the failure and
// nothing left behind.
TEST_F(BringUp, AllocationFailuresLeaveNothingBehind) {
    plan.fakeLevels(1, 22, BringUpPlan::kSucceed);
    plan.observer = nullptr;  // the recorder's own memory would be failed too
    const int64_t before = kal::sim::liveAllocations();
    for (uint64_t nth = 1;; ++nth) {
        bool triggered;
        {
            kal::sim::FailAllocations fail(nth);
            auto helper = start(22);
            triggered = fail.triggered();
            if (triggered) {
                EXPECT_EQ(tracker.status.code, -52000) << nth;
                EXPECT_LT(tracker.reached, 22) << nth;
            }
        }
        EXPECT_EQ(kal::sim::liveAllocations(), before) << nth;
        if (!triggered) {
            EXPECT_EQ(tracker.status.code, 0);
            break;
        }
    }
}
