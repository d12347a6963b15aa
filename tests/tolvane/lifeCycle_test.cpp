#include <atomic>
#include <chrono>
#include <thread>

#include "kal/sim/user.h"
#include "kzapalcodegen/driverEntry.h"
#include "tolvane/fixture.h"

using namespace tolvanetest;

namespace {

constexpr int64_t kInvalidated = KZ_DEVICE_CODE(0xBFFA9179);

struct Operation : kdut::CleanupOperationInterface {
    Operation(std::vector<std::string>& log, std::string name) : log_(log), name_(std::move(name)) {}
    void cleanup(tStatus& status) override { log_.push_back(name_); }
    std::vector<std::string>& log_;
    std::string name_;
};

class LifeCycle : public Tolvane {
protected:
    void SetUp() override {
        Tolvane::SetUp();
        plan_.fakeLevels(3, 22, BringUpPlan::kSucceed);
        ASSERT_EQ(add(), 0);
        ASSERT_EQ(tracker().reached, 22);
    }
    kal::sim::Session open() {
        int32_t result = 0;
        kal::sim::Session session = kernel_.open("smu_kzvorn", &result);
        EXPECT_EQ(result, 0);
        return session;
    }
};

}  // namespace

TEST_F(LifeCycle, AResetReachesItsTargetAndInvalidatesEveryOpenSession) {
    kal::sim::Session first = open();
    EXPECT_EQ(reset(first, 1), -52010);
    EXPECT_EQ(tracker().reached, 1);
    ASSERT_NE(device()->getHelper(), nullptr);
    EXPECT_NE(device()->getHelper()->getARMDispatcher(), nullptr) << "level 1: the registries";
    EXPECT_EQ(device()->getHelper()->getModelName(), nullptr) << "level 2 did not run";

    kal::sim::Session second = open();
    EXPECT_EQ(admit(second, 1), 0);
    EXPECT_EQ(admit(second, 2), -52010);
    EXPECT_EQ(admit(first, 0), kInvalidated) << "even at level 0";
    EXPECT_EQ(reset(first, 22), kInvalidated) << "a second reset from the same session";
    EXPECT_EQ(tracker().reached, 1);

    EXPECT_EQ(reset(second, 0), -52010);
    EXPECT_EQ(tracker().reached, 0);
    EXPECT_EQ(device()->getHelper(), nullptr) << "a reset to level 0 makes no helper";

    kal::sim::Session third = open();
    EXPECT_EQ(admit(third, 1), -52010);
    EXPECT_EQ(reset(third, 22), 0);
    EXPECT_EQ(tracker().reached, 22);
}

TEST_F(LifeCycle, AResetRecordIsReadFromTheCallersMemory) {
    kal::sim::Session session = open();
    kzvorn_driver_codegen::CustomResetParameters record = {};
    record.subroutineCount = uint64_t(1) << 32;
    {
        kal::sim::UserMemory user(&record, sizeof(record));
        EXPECT_EQ(reset(session, 22, reinterpret_cast<uint64_t>(&record)), -52003);
    }
    EXPECT_EQ(device()->getHelper(), nullptr);
    EXPECT_EQ(tracker().reached, 0);

    kal::sim::Session again = open();
    EXPECT_EQ(reset(again, 22, reinterpret_cast<uint64_t>(&record)), -52005) << "not the caller's memory";
    EXPECT_EQ(device()->getHelper(), nullptr);
    EXPECT_EQ(tracker().reached, 0);
}

// A failure at level N leaves the device at N-1 with that failure: what N-1 built is served.
TEST_F(Tolvane, AFailedBringUpLeavesTheDeviceUpAtTheLevelBelow) {
    const int64_t failure = KZ_DEVICE_CODE(0xBFFA8078);
    plan_.fakeLevels(3, 22, BringUpPlan::kSucceed);
    plan_.fake(BringUpPlan::stepOfLevel(4), BringUpPlan::kFail, failure);
    ASSERT_EQ(add(), 0);
    EXPECT_EQ(tracker().reached, 3);
    EXPECT_EQ(tracker().status.code, failure);
    ASSERT_NE(device()->getHelper(), nullptr) << "the helper stays with what it built";
    EXPECT_NE(device()->getHelper()->getARMDispatcher(), nullptr);
    EXPECT_NE(device()->getHelper()->getModelName(), nullptr);
    kal::sim::Session session = kernel_.open("smu_kzvorn");
    ASSERT_TRUE(session);
    EXPECT_EQ(admit(session, 3), 0);
    EXPECT_EQ(admit(session, 4), failure);
    EXPECT_EQ(admit(session, 22), failure);
}

TEST_F(LifeCycle, CloseWaitsForTheSessionsRequestsThenRunsItsCleanupLastAddedFirst) {
    std::vector<std::string> log;
    Operation a(log, "A"), b(log, "B");
    kal::sim::Session session = open();
    KernelSession* kernelSession = sessionOf(session);
    tStatus status;
    kernelSession->getCleanupOperations()->add(&a, status);
    kernelSession->getCleanupOperations()->add(&b, status);
    ASSERT_TRUE(device()->acquireIOReference(kernelSession, status, nKZAPAL000::kWaitNoLimit));

    std::atomic<bool> closed{false};
    std::thread closer([&] {
        session.close();
        closed = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(closed) << "a request of the session is still inside";
    EXPECT_TRUE(log.empty());
    device()->releaseIOReference(kernelSession);
    closer.join();
    EXPECT_EQ(log, (std::vector<std::string>{"B", "A"}));
    EXPECT_EQ(device()->getOpenSessionCount(), 0u);
    EXPECT_EQ(device()->getHelper()->getCleanupOperations()->size(), 0u) << "its set left the helper's";
}

TEST_F(LifeCycle, ReservationsAreReturnedByCloseAndByTheResetsTeardown) {
    kal::sim::Session a = open(), b = open();
    tStatus status;
    sessionOf(a)->reserveResources(0x1, status);
    sessionOf(a)->reserveResources(0x2, status);
    ASSERT_EQ(status.code, 0);
    tStatus conflict;
    sessionOf(b)->reserveResources(0x2, conflict);
    EXPECT_EQ(conflict.code, KZ_DEVICE_CODE(0xBFFA4319));
    a.close();
    EXPECT_EQ(device()->getReservations().getReservedMask(), 0u) << "both of A's reservations returned";
    sessionOf(b)->reserveResources(0x3, status);
    ASSERT_EQ(status.code, 0);

    std::vector<std::string> log;
    Operation undo(log, "undo");
    sessionOf(b)->getCleanupOperations()->add(&undo, status);
    kal::sim::Session resetter = open();
    EXPECT_EQ(reset(resetter, 22), 0);
    EXPECT_EQ(device()->getReservations().getReservedMask(), 0u) << "the teardown ran B's cleanup";
    EXPECT_EQ(log.size(), 1u);
    b.close();
    EXPECT_EQ(log.size(), 1u) << "an invalidated session's close runs nothing a second time";
}

// Opening fails cleanly wherever memory runs out, also when the helper's list of open sessions
// cannot grow (the session is then deleted, not leaked).
TEST_F(LifeCycle, AllocationFailuresInOpen) {
    std::vector<kal::sim::Session> open;
    for (int i = 0; i < 4; ++i) open.push_back(this->open());
    const int64_t before = kal::sim::liveAllocations();
    for (uint64_t nth = 1;; ++nth) {
        int32_t result = 0;
        bool triggered;
        {
            kal::sim::FailAllocations fail(nth);
            kal::sim::Session session = kernel_.open("smu_kzvorn", &result);
            triggered = fail.triggered();
            if (triggered) {
                EXPECT_EQ(result, -51352) << nth;
            }
        }
        EXPECT_EQ(kal::sim::liveAllocations(), before) << nth;
        EXPECT_EQ(device()->getOpenSessionCount(), 4u);
        if (!triggered) break;
    }
}

// The session's spin lock or one of its mutexes refused: the open fails and leaves nothing.
TEST_F(LifeCycle, KernelObjectsRefusedInOpen) {
    const int64_t before = kal::sim::liveAllocations();
    for (const char* call : {"createSpinLock", "createMutex"}) {
        for (uint64_t nth = 1;; ++nth) {
            int32_t result = 0;
            uint64_t failures;
            {
                kal::sim::FailKernelCall refuse(call, nth);
                kal::sim::Session session = kernel_.open("smu_kzvorn", &result);
                failures = refuse.failures();
            }
            if (failures == 0) break;
            EXPECT_EQ(result, -51352) << call << " " << nth;
            EXPECT_EQ(kal::sim::liveAllocations(), before) << call << " " << nth;
            EXPECT_EQ(device()->getOpenSessionCount(), 0u);
            EXPECT_EQ(device()->getReservations().getReservedMask(), 0u);
        }
    }
}

// Removal closes the gate for new requests, waits for the one inside, tears the bring-up down in
// its order and unregisters the interfaces.
TEST_F(LifeCycle, RemovalDrainsThenTearsDown) {
    kal::sim::Session session = open();
    tStatus status;
    ASSERT_TRUE(device()->acquireIOReference(nullptr, status, nKZAPAL000::kWaitNoLimit));
    recorder_.teardown.clear();
    std::atomic<bool> removed{false};
    std::thread remover([&] {
        kernel_.removeDevice(*function_);
        removed = true;
    });
    while (device()->getIOState() != nKZAPAL000::tDeviceCore::kIOStateClosed) std::this_thread::yield();
    EXPECT_EQ(admit(session, 0), -52022);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(removed);
    EXPECT_TRUE(recorder_.teardown.empty()) << "nothing is torn down under a request";
    device()->releaseIOReference(nullptr);
    remover.join();

    std::vector<uint32_t> order;
    for (uint32_t step = 0; step < kTeardownStepCount; ++step) order.push_back(step);
    EXPECT_EQ(recorder_.teardown, order);
    EXPECT_TRUE(liveInterfaceNames().empty());
    // The interfaces go last registered first.
    const auto records = kal::sim::interfaces();
    ASSERT_GE(records.size(), 2u);
    const auto& first = records[records.size() - 2];
    const auto& second = records[records.size() - 1];
    EXPECT_EQ(first.name, "smu_kzvorn");
    EXPECT_EQ(second.name, "nPXICOOLING_17_2_pxiCooling");
    EXPECT_GT(first.unregisteredAs, second.unregisteredAs);
    EXPECT_NE(second.unregisteredAs, 0u);
    EXPECT_EQ(device()->getHelper(), nullptr);
    session.close();
}

// A board whose subsystem identifier is not the product's never gets past add device, so the
// level-2 step is given one by hand.
TEST_F(LifeCycle, TheCapabilityStepRefusesAnotherSubsystemIdentifier) {
    for (uint32_t id : {0u, 0x7E43u, 0xFFFFu}) {
        tStatus status;
        TolvaneHelper::checkSubsystemId(id, status);
        EXPECT_EQ(status.code, KZ_DEVICE_CODE(0xBFFA4304)) << id;
    }
    tStatus good;
    TolvaneHelper::checkSubsystemId(kPCISubsystemID, good);
    EXPECT_EQ(good.code, 0);

    device()->getPCIDescription().subsystemId ^= 0x10;
    kal::sim::Session session = open();
    EXPECT_EQ(reset(session, 22), KZ_DEVICE_CODE(0xBFFA4304));
    EXPECT_EQ(tracker().reached, 1);
    EXPECT_NE(device()->getHelper(), nullptr);
}

// A reset waits for the requests in flight; requests issued while it runs wait at the gate and
// then meet the invalidation.
TEST_F(LifeCycle, RequestsDuringAResetWaitAndThenFailAsInvalidated) {
    kal::sim::Session resetter = open(), other = open();
    tStatus status;
    ASSERT_TRUE(device()->acquireIOReference(sessionOf(other), status, nKZAPAL000::kWaitNoLimit));
    std::atomic<bool> resetDone{false};
    int64_t resetResult = 1;
    std::thread resetting([&] {
        resetResult = reset(resetter, 22);
        resetDone = true;
    });
    while (device()->getIOState() != nKZAPAL000::tDeviceCore::kIOStateSuspended) std::this_thread::yield();
    std::atomic<bool> admitted{false};
    int64_t lateResult = 1;
    std::thread late([&] {
        lateResult = admit(other, 0);
        admitted = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(resetDone) << "the request in flight holds the reset";
    EXPECT_FALSE(admitted) << "a new request waits at the suspended gate";
    device()->releaseIOReference(sessionOf(other));
    resetting.join();
    late.join();
    EXPECT_EQ(resetResult, 0);
    EXPECT_EQ(lateResult, kInvalidated);
}

// A caller that entered its own gate first names its reference, so the reset does not wait for
// itself.
TEST_F(LifeCycle, AResetFromInsideAGateDoesNotWaitForItself) {
    kal::sim::Session session = open();
    tStatus status;
    kdut::AutoIOGate<kzvorn_shared::SetupLevel, KernelSession> gate(*device(), sessionOf(session), tracker(), 0,
                                                                    status);
    ASSERT_EQ(status.code, 0);
    tEventDescriptor event{static_cast<tSession*>(session.handle())};
    device()->reset(event, 5, 0, status, 1);
    EXPECT_EQ(status.code, -52010);
    EXPECT_EQ(device()->getIOReferenceCount(), 1u) << "only the caller's own reference is left";
}

// The routing notifier needs level 22 and a routing session; a session without one (none is
// made before the routing level exists, and the cleanup request destroys it) is refused.
TEST_F(LifeCycle, TheRoutingNotifierNeedsARoutingSession) {
    kal::sim::Session session = open();
    EXPECT_EQ(session.createIONotifier(1, 2, TolvaneDevice::kRoutingNotifierType), -51300) << "-52020";
    EXPECT_EQ(session.createIONotifier(1, 2, 7), 0) << "other types do nothing";
    EXPECT_EQ(session.destroyIONotifier(TolvaneDevice::kRoutingNotifierType), 0);
    kal::sim::Session resetter = open();
    EXPECT_EQ(reset(resetter, 21), -52010);
    kal::sim::Session below = open();
    EXPECT_EQ(below.createIONotifier(1, 2, TolvaneDevice::kRoutingNotifierType), -51104) << "-52010 below level 22";
}

TEST_F(LifeCycle, AnotherStartRebuildsThePropertiesWithoutDuplicates) {
    tEventDescriptor event{nullptr};
    tStatus status;
    device()->stop(event);
    EXPECT_EQ(device()->getHelper(), nullptr);
    device()->start(event, status);
    EXPECT_EQ(status.code, 0);
    EXPECT_NE(device()->getHelper(), nullptr);
    size_t count = 0;
    for (auto** p = device()->getDeviceProperties(); *p != nullptr; ++p) ++count;
    EXPECT_EQ(count, 4u);
}

TEST_F(LifeCycle, PowerDownInvalidatesAndPowerUpBringsTheBoardUpAgain) {
    kal::sim::Session session = open();
    tEventDescriptor event{nullptr};
    device()->suspendPower(event);
    EXPECT_EQ(device()->getHelper(), nullptr);
    EXPECT_EQ(tracker().reached, 22) << "power-down leaves the tracker";
    device()->restorePower(event);
    EXPECT_NE(device()->getHelper(), nullptr);
    EXPECT_EQ(tracker().reached, 22);
    EXPECT_EQ(tracker().status.code, 0);
    device()->resumeIOProcessing(event);
    EXPECT_EQ(admit(session, 0), kInvalidated);
}

// A reset whose new helper cannot make its cleanup set reaches no level; a session still opens, so
// that a reset with the kernel's objects back brings the device up again.
TEST_F(LifeCycle, AHelperWithoutItsCleanupSetStillLetsASessionAskForAReset) {
    kal::sim::Session resetter = open();
    {
        kal::sim::FailKernelCall refuse("createMutex");  // the first thing the new helper makes
        EXPECT_EQ(reset(resetter, 22), -52000);
    }
    EXPECT_EQ(tracker().reached, 0);
    ASSERT_NE(device()->getHelper(), nullptr);
    EXPECT_FALSE(device()->getHelper()->getCleanupOperations()->isUsable());
    kal::sim::Session again = open();
    ASSERT_TRUE(again);
    EXPECT_EQ(reset(again, 22), 0);
    EXPECT_EQ(tracker().reached, 22);
}
