// The life cycle with several threads on one device: resets sent at once, and removal, stop and
// power-down arriving while a reset runs. Each test holds a request in flight where it needs the
// reset to be running at a known point, and runs in real time so the threads overlap.
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "kal/sim/clock.h"
#include "kal/sim/sync.h"
#include "kzapal/protons/statusCodes.h"
#include "kzkal/sync.h"
#include "stress/requests.h"
#include "tolvane/fixture.h"

using namespace tolvanetest;

namespace {

constexpr int64_t kInvalidated = KZ_DEVICE_CODE(0xBFFA9179);
constexpr int64_t kNotAcceptingIO = nKZAPALS100::kStatusDeviceNotAcceptingIO;
constexpr int64_t kStopped = nKZAPALS100::kStatusSetupStoppedAtLevel;
constexpr uint32_t kRounds = 100;
using kzvorn_shared::SetupLevel;
using tDeviceCore = nKZAPAL000::tDeviceCore;

int64_t statusAfterReset(uint32_t target) { return target == SetupLevel::kHighest ? 0 : kStopped; }

// A thread that runs one call and records that it returned.
class Call {
public:
    explicit Call(std::function<void()> body)
        : thread_([this, body = std::move(body)] {
              handle_ = nKZKAL100_getThreadHandle();
              started_ = true;
              body();
              done_ = true;
          }) {
        while (!started_) std::this_thread::yield();
    }
    ~Call() { join(); }
    void join() {
        if (thread_.joinable()) thread_.join();
    }
    bool done() const { return done_; }
    void* handle() const { return handle_; }

private:
    std::atomic<bool> started_{false};
    std::atomic<bool> done_{false};
    std::atomic<void*> handle_{nullptr};
    std::thread thread_;
};

template <class tCondition>
void await(tCondition condition) {
    while (!condition()) std::this_thread::yield();
}

class Concurrent : public Tolvane {
protected:
    void SetUp() override {
        Tolvane::SetUp();
        plan_.fakeLevels(3, SetupLevel::kHighest, BringUpPlan::kSucceed);
    }

    void bringUp() {
        ASSERT_EQ(add(), 0);
        ASSERT_EQ(tracker().reached, SetupLevel::kHighest);
    }

    kal::sim::Session open() {
        int32_t result = 0;
        kal::sim::Session session = kernel_.open("smu_kzvorn", &result);
        EXPECT_EQ(result, 0);
        return session;
    }

    // A request of the session inside the gate until release.
    void holdInFlight(kal::sim::Session& session) {
        tStatus status;
        ASSERT_TRUE(device()->acquireIOReference(sessionOf(session), status, nKZAPAL000::kWaitNoLimit));
    }
    void release(kal::sim::Session& session) { device()->releaseIOReference(sessionOf(session)); }

    void awaitIOState(uint32_t state) {
        await([&] { return device()->getIOState() == state; });
    }

    // What a session opened now finds: the level the last reset reached.
    void expectServedAtLevel(uint32_t expected) {
        kal::sim::Session session = open();
        uint32_t level = 0;
        EXPECT_EQ(levelRequest(session, &level), 0);
        EXPECT_EQ(level, expected);
        EXPECT_EQ(device()->getIOState(), tDeviceCore::kIOStateOpen);
    }

    kal::sim::ScopedRealTime realTime_;
};

}  // namespace

// Two, three and four sessions reset at once, each to its own level. One reset runs and reports
// its own result; it invalidates the other sessions, whose resets are refused as a second reset
// in sequence would be. Every call returns.
TEST_F(Concurrent, ResetsSentAtOnceAllReturnAsResetsInSequenceWould) {
    bringUp();
    std::mt19937 random(15);
    for (uint32_t count : {2u, 3u, 4u}) {
        for (uint32_t round = 0; round < kRounds; ++round) {
            std::vector<kal::sim::Session> sessions;
            std::vector<uint32_t> targets;
            for (uint32_t i = 0; i < count; ++i) {
                sessions.push_back(open());
                targets.push_back(random() % (SetupLevel::kHighest + 1));
            }
            std::vector<int64_t> results(count, 1);
            std::atomic<uint32_t> ready{0};
            std::vector<std::thread> threads;
            for (uint32_t i = 0; i < count; ++i) {
                threads.emplace_back([&, i] {
                    ++ready;
                    await([&] { return ready == count; });
                    results[i] = resetRequest(sessions[i], targets[i]);
                });
            }
            for (std::thread& thread : threads) thread.join();

            uint32_t ran = count;
            for (uint32_t i = 0; i < count; ++i) {
                if (results[i] == kInvalidated) continue;
                EXPECT_EQ(ran, count) << "a second reset ran: " << count << " sessions, round " << round;
                ran = i;
            }
            ASSERT_LT(ran, count) << count << " sessions, round " << round;
            EXPECT_EQ(results[ran], statusAfterReset(targets[ran])) << count << " sessions, round " << round;
            EXPECT_EQ(device()->getIOReferenceCount(), 0u);
            expectServedAtLevel(targets[ran]);
        }
    }
}

// Resets admitted before the first one suspends IO wait for their turn holding their gates'
// references; the first does not wait for them, and each of them, in its turn, is refused for the
// session the first invalidated.
TEST_F(Concurrent, AResetWaitingForItsTurnDoesNotHoldUpTheRunningOne) {
    bringUp();
    kal::sim::Session first = open(), second = open(), third = open(), other = open();
    std::atomic<bool> go{false};
    std::atomic<uint32_t> admitted{0};
    int64_t results[2] = {1, 1};
    // Through its own gate, as the reset request does.
    auto queued = [&](kal::sim::Session* session, int64_t* result) {
        return [&, session, result] {
            tStatus status;
            kdut::AutoIOGate<SetupLevel, KernelSession> gate(*device(), sessionOf(*session), tracker(), 0, status);
            ++admitted;
            await([&] { return go.load(); });
            tEventDescriptor event{static_cast<tSession*>(session->handle())};
            device()->reset(event, SetupLevel::kHighest, 0, status, 1);
            *result = status.code;
        };
    };
    Call secondReset(queued(&second, &results[0]));
    Call thirdReset(queued(&third, &results[1]));
    await([&] { return admitted == 2; });

    holdInFlight(other);
    int64_t firstResult = 1;
    Call firstReset([&] { firstResult = resetRequest(first, 5); });
    awaitIOState(tDeviceCore::kIOStateSuspended);
    go = true;
    ASSERT_TRUE(kal::sim::awaitBlocked(secondReset.handle()));
    ASSERT_TRUE(kal::sim::awaitBlocked(thirdReset.handle()));
    EXPECT_FALSE(firstReset.done()) << "the request in flight holds it";
    release(other);
    firstReset.join();
    secondReset.join();
    thirdReset.join();
    EXPECT_EQ(firstResult, kStopped);
    EXPECT_EQ(results[0], kInvalidated);
    EXPECT_EQ(results[1], kInvalidated);
    EXPECT_EQ(device()->getIOReferenceCount(), 0u);
    expectServedAtLevel(5);
}

// What may hold an IO reference while a reset waits for the requests in flight, and leaves: the
// request itself, a started asynchronous IO (cancelled by the suspension), an open and a request
// waiting at the suspended gate (they hold none) and a close waiting for the device mutex.
TEST_F(Concurrent, EverythingTheResetCanWaitForLeaves) {
    bringUp();
    struct Cancellable : nKZAPAL000::tAsyncIO {
        bool cancel() override { return true; }
        void completeCallback(void*) override { completed = true; }
        std::atomic<bool> completed{false};
    } asyncIO;
    kal::sim::Session resetter = open(), other = open(), closing = open(), asyncOwner = open();
    tStatus status;
    device()->startAsyncIO(asyncIO, sessionOf(asyncOwner), status);
    ASSERT_EQ(status.code, 0);
    holdInFlight(other);

    int64_t resetResult = 1;
    Call reset([&] { resetResult = resetRequest(resetter, SetupLevel::kHighest); });
    awaitIOState(tDeviceCore::kIOStateSuspended);
    await([&] { return asyncIO.completed.load(); });  // the suspension cancels it
    kal::sim::Session opened;
    Call opener([&] { opened = open(); });
    int64_t lateResult = 1;
    Call late([&] { lateResult = levelRequest(other); });
    Call closer([&] { closing.close(); });
    ASSERT_TRUE(kal::sim::awaitBlocked(opener.handle()));
    ASSERT_TRUE(kal::sim::awaitBlocked(late.handle()));
    ASSERT_TRUE(kal::sim::awaitBlocked(closer.handle()));
    EXPECT_FALSE(reset.done());
    release(other);
    for (Call* call : {&reset, &opener, &late, &closer}) call->join();
    EXPECT_EQ(resetResult, 0);
    EXPECT_EQ(lateResult, kInvalidated);
    ASSERT_TRUE(opened);
    EXPECT_EQ(levelRequest(opened), 0) << "opened after the reset: valid";
    EXPECT_EQ(device()->getOpenSessionCount(), 4u);
    EXPECT_EQ(device()->getIOReferenceCount(), 0u);
}

// Removal while a reset waits for a request in flight: the reset stops, the gate stays closed,
// every later request of every session is refused, removal tears down once, and the device goes
// without a leak.
TEST_F(Concurrent, RemovalDuringAResetKeepsTheGateClosed) {
    recorder_.teardown.reserve(kTeardownStepCount);
    const int64_t before = kal::sim::liveAllocations();
    for (uint32_t round = 0; round < kRounds; ++round) {
        bringUp();
        std::vector<kal::sim::Session> sessions;
        for (int i = 0; i < 3; ++i) sessions.push_back(open());
        kal::sim::Session& resetter = sessions[0];
        kal::sim::Session& other = sessions[1];
        holdInFlight(other);
        int64_t resetResult = 1;
        Call reset([&] { resetResult = resetRequest(resetter, SetupLevel::kHighest); });
        awaitIOState(tDeviceCore::kIOStateSuspended);
        recorder_.teardown.clear();
        Call removal([&] { kernel_.removeDevice(*function_); });
        awaitIOState(tDeviceCore::kIOStateClosed);
        EXPECT_FALSE(removal.done()) << "round " << round;
        release(other);
        reset.join();
        removal.join();

        EXPECT_EQ(resetResult, kNotAcceptingIO) << "round " << round;
        EXPECT_EQ(device()->getIOState(), tDeviceCore::kIOStateClosed);
        EXPECT_EQ(device()->getHelper(), nullptr);
        EXPECT_EQ(recorder_.teardown.size(), size_t{kTeardownStepCount}) << "torn down once, by removal";
        for (kal::sim::Session& session : sessions) {
            EXPECT_EQ(levelRequest(session), kNotAcceptingIO);
            EXPECT_EQ(resetRequest(session, SetupLevel::kHighest), kNotAcceptingIO);
            requests::arm_getNumberOfRegistrations::Input input{};
            EXPECT_EQ(requests::status<requests::arm_getNumberOfRegistrations>(session, input), kNotAcceptingIO);
        }
        int32_t result = 0;
        EXPECT_FALSE(kernel_.open("smu_kzvorn", &result));
        EXPECT_EQ(device()->getIOReferenceCount(), 0u);
        std::vector<kal::sim::Session>().swap(sessions);
        kernel_.deleteDevice(*function_);
        EXPECT_EQ(kal::sim::liveAllocations(), before) << "round " << round;
    }
}

// Removal while the reset's bring-up runs: the bring-up finishes, the reset leaves the gate
// closed and reports -52022, and removal tears the new helper down.
TEST_F(Concurrent, RemovalDuringAResetsBringUpKeepsTheGateClosed) {
    struct Pausing : Recorder {
        void onBringUpStep(BringUpStep step) override {
            if (step != kStepNisoFirmware || !armed) return;
            reached = true;
            await([&] { return device->getPnPIOState() == tDeviceCore::kIOStateClosed; });
        }
        std::atomic<bool> armed{false};
        std::atomic<bool> reached{false};
        TolvaneDevice* device = nullptr;
    } pausing;
    plan_.observer = &pausing;
    bringUp();
    pausing.device = device();
    kal::sim::Session resetter = open(), other = open();
    pausing.armed = true;
    int64_t resetResult = 1;
    Call reset([&] { resetResult = resetRequest(resetter, SetupLevel::kHighest); });
    await([&] { return pausing.reached.load(); });
    Call removal([&] { kernel_.removeDevice(*function_); });
    reset.join();
    removal.join();
    EXPECT_EQ(resetResult, kNotAcceptingIO);
    EXPECT_EQ(device()->getIOState(), tDeviceCore::kIOStateClosed);
    EXPECT_EQ(device()->getHelper(), nullptr);
    EXPECT_EQ(pausing.teardown.size(), 2u * kTeardownStepCount) << "the reset's teardown, then removal's";
    EXPECT_EQ(levelRequest(other), kNotAcceptingIO);
    EXPECT_EQ(levelRequest(resetter), kNotAcceptingIO);
}

// Stop and power-down (closing or suspending the gate) against a reset that waits for a request
// in flight: the reset stops and reports -52022, the transition completes and keeps the gate as it
// left it, and the machine alone brings the device back.
TEST_F(Concurrent, StopAndPowerDownDuringAResetLeaveTheGateToTheTransition) {
    bringUp();
    struct Case {
        uint32_t target;
        uint32_t reason;
        uint32_t gate;
    };
    const Case cases[] = {
        {tDeviceCore::kPnPStateSleep, 2, tDeviceCore::kIOStateSuspended},
        {tDeviceCore::kPnPStateSleep, 1, tDeviceCore::kIOStateClosed},
        {tDeviceCore::kPnPStateNotStarted, 1, tDeviceCore::kIOStateClosed},
    };
    for (const Case& c : cases) {
        kal::sim::Session resetter = open(), other = open();
        holdInFlight(other);
        int64_t resetResult = 1;
        Call reset([&] { resetResult = resetRequest(resetter, 7); });
        awaitIOState(tDeviceCore::kIOStateSuspended);
        bool reached = false;
        Call transition([&] {
            tEventDescriptor event{nullptr};
            tStatus status;
            reached = device()->setPnPState(event, c.target, c.reason, false, status);
        });
        await([&] { return device()->getPnPIOState() != tDeviceCore::kIOStateOpen; });
        EXPECT_FALSE(transition.done()) << c.target;
        release(other);
        reset.join();
        transition.join();
        EXPECT_EQ(resetResult, kNotAcceptingIO) << c.target;
        EXPECT_TRUE(reached);
        EXPECT_EQ(device()->getPnPState(), c.target);
        EXPECT_EQ(device()->getIOState(), c.gate) << c.target;
        EXPECT_EQ(device()->getHelper(), nullptr);
        EXPECT_EQ(tracker().reached, SetupLevel::kHighest) << "the reset stopped before its teardown";

        tEventDescriptor event{nullptr};
        tStatus status;
        EXPECT_TRUE(device()->setPnPState(event, tDeviceCore::kPnPStateReady, 0, false, status));
        EXPECT_NE(device()->getHelper(), nullptr);
        EXPECT_EQ(levelRequest(resetter), kInvalidated);
        expectServedAtLevel(SetupLevel::kHighest);
    }
}
