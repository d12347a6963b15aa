#include <gtest/gtest.h>

#include "kdut/checkHardwareStateTimeoutHandler.h"
#include "kdut/ioGate.h"
#include "kdut/resetInvalidatableSession.h"
#include "kal/sim/faults.h"
#include "kzvorn_shared/setupLevel.h"

using nKZAPALS100::tStatus;
using Tracker = kdut::SetupTracker<kzvorn_shared::SetupLevel>;

namespace {

struct Session : kdut::ResetInvalidatableSession {
    explicit Session(const uint32_t* generation) : ResetInvalidatableSession(generation, 0xBFFA9179) {}
    int references = 0;
};

// The IO-reference side of a device core: an open or closed gate and the counts.
struct Core {
    bool open = true;
    int references = 0;
    bool acquireIOReference(Session* session, tStatus& status, uint32_t timeout) {
        EXPECT_EQ(timeout, 0xFFFFFFFFu) << "requests wait without a limit";
        if (status.isFatal()) return false;
        if (!open) {
            KZ_SET_CODE(status, nKZAPALS100::kStatusDeviceNotAcceptingIO);
            return false;
        }
        ++references;
        if (session != nullptr) ++session->references;
        return true;
    }
    bool acquireIOReferenceNoWait(Session* session, tStatus& status) {
        return acquireIOReference(session, status, 0xFFFFFFFF);
    }
    void releaseIOReference(Session* session) {
        --references;
        if (session != nullptr) --session->references;
    }
};

using AutoIOGate = kdut::AutoIOGateTemplate<Core, kzvorn_shared::SetupLevel, Session>;

struct Gate : ::testing::Test {
    Core core;
    uint32_t generation = 0;
    Session session{&generation};
    Tracker tracker;

    // Admits one operation needing `level` and reports the status it runs with.
    int64_t admit(int32_t level, Session* caller, int64_t operationStatus = 0) {
        tStatus status;
        status.code = operationStatus;
        {
            AutoIOGate gate(core, caller, tracker, level, status);
            EXPECT_EQ(core.references, 1 - (core.open ? 0 : 1));
        }
        EXPECT_EQ(core.references, 0) << "leaving the scope gives the reference back";
        EXPECT_EQ(session.references, 0);
        return status.code;
    }

    void bringUpTo(int32_t target, int32_t failAt = 0, int64_t code = 0) {
        tracker.reset(target);
        for (int32_t level = 1; level <= 22; ++level) {
            if (level == failAt && tracker.status.isNotFatal()) KZ_SET_CODE(tracker.status, code);
            tracker.completeStep(level);
        }
    }
};

}  // namespace

TEST_F(Gate, LevelsAdmitWhatTheBringUpReached) {
    bringUpTo(5);
    EXPECT_EQ(admit(1, &session), 0);
    EXPECT_EQ(admit(5, &session), 0);
    EXPECT_EQ(admit(12, &session), -52010);
    EXPECT_EQ(admit(0, nullptr), 0);

    const int64_t failure = KZ_DEVICE_CODE(0xBFFA8078);
    bringUpTo(22, 4, failure);
    EXPECT_EQ(admit(3, &session), 0) << "admitted although the tracker holds an error";
    EXPECT_EQ(admit(4, &session), failure);
    EXPECT_EQ(admit(22, &session), failure);

    bringUpTo(0);
    EXPECT_EQ(admit(0, &session), 0);
    EXPECT_EQ(admit(1, &session), -52010);
}

TEST_F(Gate, AnInvalidatedSessionFailsBeforeTheLevelIsLookedAt) {
    bringUpTo(0);
    ++generation;
    EXPECT_EQ(admit(0, &session), KZ_DEVICE_CODE(0xBFFA9179));
    EXPECT_EQ(admit(22, &session), KZ_DEVICE_CODE(0xBFFA9179));
    EXPECT_EQ(admit(22, nullptr), -52010) << "no session, no session check";
}

// A tracker below the level without an error exists only while a bring-up runs; an operation
// must not get through then.
TEST_F(Gate, ALevelNotReachedWithoutAnErrorStillFails) {
    tracker.reset(22);
    tracker.completeStep(1);
    EXPECT_EQ(admit(2, &session), -52020);
    tracker.status.code = 3;
    EXPECT_EQ(admit(2, &session), -52020);
}

TEST_F(Gate, AClosedGateHoldsNothing) {
    core.open = false;
    EXPECT_EQ(admit(0, &session), -52022);
}

TEST_F(Gate, TheAdmissionIgnoresTheOperationsOwnStatusAndKeepsItsError) {
    bringUpTo(22);
    EXPECT_EQ(admit(1, &session, -52005), -52005);
    EXPECT_EQ(admit(1, &session, 9), 9);
}

// Every request builds a gate: admitting, refusing and leaving must not need the allocator.
TEST_F(Gate, AdmissionAllocatesNothing) {
    bringUpTo(5);
    kal::sim::FailAllocations everyAllocation(1, true);
    EXPECT_EQ(admit(5, &session), 0);
    EXPECT_EQ(admit(12, &session), -52010);
    core.open = false;
    EXPECT_EQ(admit(0, &session), -52022);
    EXPECT_FALSE(everyAllocation.triggered());
}

namespace {

struct Checker : kdut::HardwareStateCheckerInterface {
    explicit Checker(int64_t finds = 0) : finds_(finds) {}
    void checkHardwareState(tStatus& status) override {
        ++runs;
        if (status.isFatal()) return;
        if (finds_ != 0) KZ_SET_CODE(status, finds_);
    }
    int64_t finds_;
    int runs = 0;
};

}  // namespace

TEST(HardwareStateCheckerComposite, TheFirstFailureStandsAndTheRestDoNothing) {
    Checker first(KZ_DEVICE_CODE(0xBFFA8078)), second(-52000), third;
    kdut::HardwareStateCheckerComposite composite;
    tStatus status;
    for (Checker* c : {&first, &second, &third}) composite.add(c, status);
    composite.checkHardwareState(status);
    EXPECT_EQ(status.code, KZ_DEVICE_CODE(0xBFFA8078));
    tStatus removal;
    composite.remove(&second, removal);
    EXPECT_EQ(removal.code, 0);
    composite.remove(&second, removal);
    EXPECT_EQ(removal.code, -52006);
    EXPECT_TRUE(composite.contains(&third));
    EXPECT_EQ(composite.size(), 2u);
}

TEST(CheckHardwareStateTimeoutHandler, AHardwareFaultIsReportedInPlaceOfTheTimeOut) {
    struct Case {
        int64_t finds, before, result;
    } cases[] = {
        {0, 0, KZ_DEVICE_CODE(0xBFFA468C)},
        {KZ_DEVICE_CODE(0xBFFA4680), 0, KZ_DEVICE_CODE(0xBFFA4680)},
        {0, -52000, -52000},
    };
    for (const Case& c : cases) {
        Checker checker(c.finds);
        kdut::CheckHardwareStateTimeoutHandler handler(&checker, 0xBFFA468C);
        tStatus status;
        status.code = c.before;
        handler.onTimeout(status);
        EXPECT_EQ(status.code, c.result);
        EXPECT_EQ(checker.runs, c.before == 0 ? 1 : 0);
    }
}
