// Checks inside checks: a thread runs the composite once however its checkers nest, and while one
// thread runs it from an access port's fault, another thread's fault entry does nothing.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "kdut/hardwareStateChecker.h"
#include "kzapal/protons/statusCodes.h"

namespace {

using nKZAPALS100::tStatus;

// Runs the composite again from inside, as a checker reading through a faulting port does.
struct Nesting : kdut::HardwareStateCheckerInterface {
    kdut::HardwareStateCheckerComposite* composite = nullptr;
    bool throughFault = false;
    int runs = 0;
    bool wasFaultPathRunner = false;
    void checkHardwareState(tStatus& status) override {
        ++runs;
        wasFaultPathRunner = composite->isFaultPathRunner();
        if (throughFault)
            composite->checkHardwareStateOnFault(status);
        else
            composite->checkHardwareState(status);
    }
};

struct Finding : kdut::HardwareStateCheckerInterface {
    int64_t finds = 0;
    int runs = 0;
    void checkHardwareState(tStatus& status) override {
        ++runs;
        if (finds != 0) KZ_SET_CODE(status, finds);
    }
};

TEST(NestedChecks, AThreadRunsTheCompositeOnceAndANestedEntryLeavesTheStatus) {
    for (bool outerThroughFault : {false, true}) {
        for (bool innerThroughFault : {false, true}) {
            kdut::HardwareStateCheckerComposite composite;
            Nesting nesting;
            Finding after;
            nesting.composite = &composite;
            nesting.throughFault = innerThroughFault;
            tStatus status;
            composite.add(&nesting, status);
            composite.add(&after, status);
            if (outerThroughFault)
                composite.checkHardwareStateOnFault(status);
            else
                composite.checkHardwareState(status);
            EXPECT_EQ(status.code, 0);
            EXPECT_EQ(nesting.runs, 1);
            EXPECT_EQ(after.runs, 1);
            EXPECT_EQ(nesting.wasFaultPathRunner, outerThroughFault);
            EXPECT_FALSE(composite.isFaultPathRunner());
            // The record is cleared: the next run runs again.
            composite.checkHardwareState(status);
            EXPECT_EQ(nesting.runs, 2);
        }
    }
}

TEST(NestedChecks, OneFaultPathRunnerAtATime) {
    kdut::HardwareStateCheckerComposite composite;
    Finding finding;
    finding.finds = KZ_DEVICE_CODE(0xBFFA8078);
    // A checker that holds the fault path until the other thread has tried it.
    struct Holding : kdut::HardwareStateCheckerInterface {
        std::atomic<bool> entered{false}, release{false};
        void checkHardwareState(tStatus&) override {
            entered = true;
            while (!release) std::this_thread::yield();
        }
    } holding;
    tStatus status;
    composite.add(&holding, status);
    composite.add(&finding, status);
    std::thread runner([&] {
        tStatus own;
        composite.checkHardwareStateOnFault(own);
        EXPECT_EQ(own.code, KZ_DEVICE_CODE(0xBFFA8078));
    });
    while (!holding.entered) std::this_thread::yield();
    EXPECT_FALSE(composite.isFaultPathRunner()) << "the other thread is the runner";
    tStatus second;
    composite.checkHardwareStateOnFault(second);
    EXPECT_EQ(second.code, 0) << "another thread's fault entry does nothing";
    EXPECT_EQ(finding.runs, 0);
    holding.release = true;
    runner.join();
    EXPECT_EQ(finding.runs, 1);
}

}  // namespace
