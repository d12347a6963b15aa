#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "kal/sim/sync.h"
#include "kzapal/protons/deviceCore.h"
#include "kzapal/protons/memory.h"
#include "kzapal/protons/statusCodes.h"

namespace {

using namespace kzvorn_driver::nKZAPAL000;
using nKZAPALS100::tStatus;

class CoreDevice : public tDeviceCore {
public:
    explicit CoreDevice(tStatus& status) : tDeviceCore(status) {}
    void startBusDevice(tEventDescriptor&, tStatus&) override {}
    void stopBusDevice() override {}
    void start(tEventDescriptor& event, tStatus& status) override {
        calls.push_back("start");
        KZ_SET_CODE(status, startCode);
        if (status.isNotFatal()) resumeIOProcessing(event);
    }
    void stop(tEventDescriptor&) override { calls.push_back("stop"); }
    bool suspendIOProcessing(tEventDescriptor& event, tSuspendReason reason, bool flag) override {
        calls.push_back("suspend" + std::to_string(reason) + ":" + std::to_string(getIOReferenceCount()));
        return tDeviceCore::suspendIOProcessing(event, reason, flag);
    }
    void resumeIOProcessing(tEventDescriptor& event) override {
        calls.push_back("resume");
        tDeviceCore::resumeIOProcessing(event);
    }
    void suspendPower(tEventDescriptor&) override { calls.push_back("suspendPower"); }
    void restorePower(tEventDescriptor&) override { calls.push_back("restorePower"); }
    void remove(tEventDescriptor& event) override {
        calls.push_back("remove:" + std::to_string(getIOReferenceCount()));
        tDeviceCore::remove(event);
    }
    void closeAndFreeSession(tEventDescriptor&, tSession* session) override {
        calls.push_back("free");
        delete session;
    }

    int64_t startCode = 0;
    std::vector<std::string> calls;
};

struct Core : ::testing::Test {
    tStatus status;
    CoreDevice device{status};
    tEventDescriptor event{nullptr};

    void ready() {
        ASSERT_TRUE(device.setPnPState(event, tDeviceCore::kPnPStateReady, 0, false, status));
        device.calls.clear();
    }
};

TEST_F(Core, RemovalOfAReadyDeviceSuspendsDrainsStopsAndRemoves) {
    ready();
    EXPECT_EQ(device.getIOState(), tDeviceCore::kIOStateOpen);
    ASSERT_TRUE(device.acquireIOReference(nullptr, status, kWaitNoLimit));
    std::thread request([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        device.releaseIOReference(nullptr);
    });
    EXPECT_TRUE(device.setPnPState(event, tDeviceCore::kPnPStateNotPresent, 1, false, status));
    request.join();
    // Stop ran only once the request had left.
    EXPECT_EQ(device.calls, (std::vector<std::string>{"suspend1:1", "stop", "remove:0"}));
    EXPECT_EQ(device.getPnPState(), tDeviceCore::kPnPStateNotPresent);
    EXPECT_EQ(device.getPreviousPnPState(), tDeviceCore::kPnPStateNotStarted);
    EXPECT_EQ(device.getIOState(), tDeviceCore::kIOStateClosed);
    // Final: nothing leaves it.
    EXPECT_FALSE(device.setPnPState(event, tDeviceCore::kPnPStateReady, 0, false, status));
}

TEST_F(Core, FailedStartStaysNotStartedAndRemovesWithRemoveOnly) {
    device.startCode = -52000;
    EXPECT_FALSE(device.setPnPState(event, tDeviceCore::kPnPStateReady, 0, false, status));
    EXPECT_EQ(device.getPnPState(), tDeviceCore::kPnPStateNotStarted);
    tStatus fresh;
    EXPECT_TRUE(device.setPnPState(event, tDeviceCore::kPnPStateNotPresent, 1, false, fresh));
    EXPECT_EQ(device.calls, (std::vector<std::string>{"start", "remove:0"}));
    // An error already in the status does nothing.
    tStatus failed;
    failed.code = -52008;
    EXPECT_FALSE(device.setPnPState(event, tDeviceCore::kPnPStateReady, 0, false, failed));
}

TEST_F(Core, SleepAndWake) {
    ready();
    EXPECT_TRUE(device.setPnPState(event, tDeviceCore::kPnPStateSleep, 2, false, status));
    EXPECT_EQ(device.getIOState(), tDeviceCore::kIOStateSuspended);
    EXPECT_TRUE(device.setPnPState(event, tDeviceCore::kPnPStateReady, 2, false, status));
    EXPECT_EQ(device.calls, (std::vector<std::string>{"suspend2:0", "suspendPower", "restorePower", "resume"}));
    EXPECT_EQ(device.getIOState(), tDeviceCore::kIOStateOpen);
}

TEST_F(Core, AFlaggedSuspensionIsVetoedByAnOpenSession) {
    ready();
    device.countOpenedSession();
    EXPECT_FALSE(device.setPnPState(event, tDeviceCore::kPnPStateIOSuspended, 2, true, status));
    EXPECT_EQ(device.getPnPState(), tDeviceCore::kPnPStateReady);
    EXPECT_EQ(device.getIOState(), tDeviceCore::kIOStateOpen);
}

TEST_F(Core, GateRefusals) {
    // Closed from the start: -52022, counts untouched.
    tStatus closed;
    EXPECT_FALSE(device.acquireIOReference(nullptr, closed, kWaitNoLimit));
    EXPECT_EQ(closed.getCode(), -52022);
    EXPECT_EQ(device.getIOReferenceCount(), 0u);
    ready();
    ASSERT_TRUE(device.setPnPState(event, tDeviceCore::kPnPStateIOSuspended, 2, false, status));
    // Suspended: a time-out of 0 fails at once.
    tStatus zero;
    EXPECT_FALSE(device.acquireIOReference(nullptr, zero, 0));
    EXPECT_EQ(zero.getCode(), -52007);
    tStatus noWait;
    EXPECT_FALSE(device.acquireIOReferenceNoWait(nullptr, noWait));
    EXPECT_EQ(noWait.getCode(), -52022);
    EXPECT_EQ(device.getIOReferenceCount(), 0u);
}

// Ten requests wait at a suspended gate; one change of state releases them all.
void tenWaiters(bool reopen) {
    tStatus status;
    CoreDevice device(status);
    tEventDescriptor event{nullptr};
    ASSERT_TRUE(device.setPnPState(event, tDeviceCore::kPnPStateReady, 0, false, status));
    ASSERT_TRUE(device.setPnPState(event, tDeviceCore::kPnPStateIOSuspended, 2, false, status));
    std::atomic<int> admitted{0}, refused{0};
    std::vector<void*> handles(10);
    std::atomic<int> started{0};
    std::vector<std::thread> requests;
    for (int i = 0; i < 10; ++i)
        requests.emplace_back([&, i] {
            handles[i] = nKZKAL100_getThreadHandle();
            ++started;
            tStatus s;
            if (device.acquireIOReference(nullptr, s, kWaitNoLimit)) {
                ++admitted;
                device.releaseIOReference(nullptr);
            } else if (s.getCode() == -52022) {
                ++refused;
            }
        });
    while (started < 10) std::this_thread::yield();
    for (void* handle : handles) ASSERT_TRUE(kal::sim::awaitBlocked(handle));
    if (reopen)
        device.setPnPState(event, tDeviceCore::kPnPStateReady, 0, false, status);
    else
        device.setPnPState(event, tDeviceCore::kPnPStateNotPresent, 1, false, status);
    for (auto& t : requests) t.join();
    EXPECT_EQ(admitted, reopen ? 10 : 0);
    EXPECT_EQ(refused, reopen ? 0 : 10);
    EXPECT_EQ(device.getIOReferenceCount(), 0u);
}

TEST(CoreGate, TenWaitersAreAllAdmittedWhenTheGateOpens) { tenWaiters(true); }
TEST(CoreGate, TenWaitersAllFailWhenTheGateCloses) { tenWaiters(false); }

TEST_F(Core, CloseSessionWaitsForTheSessionsRequests) {
    ready();
    tStatus s;
    auto* session = new (s) tSession(nullptr, s);
    ASSERT_TRUE(s.isSuccess());
    device.countOpenedSession();
    ASSERT_TRUE(device.acquireIOReference(session, status, kWaitNoLimit));
    EXPECT_EQ(session->getIOReferenceCount(), 1u);
    std::atomic<bool> released{false};
    std::thread request([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        released = true;
        device.releaseIOReference(session);
    });
    tEventDescriptor own{session};
    device.closeSession(own, session);
    EXPECT_TRUE(released);
    request.join();
    EXPECT_EQ(device.getOpenSessionCount(), 0u);
    EXPECT_EQ(device.calls.back(), "free");

    // Nothing in flight: returns at once.
    auto* idle = new (s) tSession(nullptr, s);
    device.countOpenedSession();
    tEventDescriptor idleEvent{idle};
    device.closeSession(idleEvent, idle);
    EXPECT_EQ(device.getOpenSessionCount(), 0u);
}

TEST(CoreNames, PnPStateNames) {
    EXPECT_STREQ(tDeviceCore::getPnPStateName(0), "kPnPStateNotStarted");
    EXPECT_STREQ(tDeviceCore::getPnPStateName(2), "kPnPStateIOSuspended");
    EXPECT_STREQ(tDeviceCore::getPnPStateName(4), "kPnPStateNotPresent");
    EXPECT_STREQ(tDeviceCore::getPnPStateName(5), "invalid");
}

class Operation : public tAsyncIO {
public:
    bool cancel() override {
        ++cancels;
        return agree;
    }
    void completeCallback(void*) override { ++completions; }
    bool agree = true;
    int cancels = 0;
    int completions = 0;
};

TEST_F(Core, AsynchronousIOIsCancelledWhenItsSessionCloses) {
    ready();
    tStatus s;
    tSession session(nullptr, s);
    Operation agreeing, refusing;
    refusing.agree = false;
    device.startAsyncIO(agreeing, &session, status);
    device.startAsyncIO(refusing, &session, status);
    ASSERT_TRUE(status.isSuccess());
    EXPECT_EQ(session.getIOReferenceCount(), 2u);
    tEventDescriptor own{&session};
    device.close(own);
    EXPECT_TRUE(session.isClosing());
    EXPECT_EQ(agreeing.cancels, 1);
    EXPECT_EQ(agreeing.completions, 1);
    EXPECT_EQ(agreeing.getState(), 0u);
    // The refusing one keeps its reference; it is asked only once.
    EXPECT_EQ(refusing.getState(), 1u);
    EXPECT_EQ(session.getIOReferenceCount(), 1u);
    device.cancelAllAsyncIO();
    EXPECT_EQ(refusing.cancels, 1);
    EXPECT_EQ(refusing.completions, 0);
    // A closing session starts nothing.
    Operation late;
    tStatus closing;
    device.startAsyncIO(late, &session, closing);
    EXPECT_EQ(closing.getCode(), -52009);
}

}  // namespace
