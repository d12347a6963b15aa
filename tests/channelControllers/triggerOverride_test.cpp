// The four trigger-override policies, through the shared wrapper the channel set-up builds, against
// the board's channel triggers: what construction, an override and destruction write and read,
// another reported id, failures of the lock and of the port, and overrides from two threads.
#include <gtest/gtest.h>

#include <thread>

#include "controllers/triggerOverridePolicies.h"
#include "fixture.h"
#include "kal/sim/faults.h"
#include "vantrel_shared/triggerOverrideController.h"

namespace {

using namespace kzvorn_driver;
using nKZAPALS100::tStatus;
using tChannelMap = kzvorn_regmaps::tTolvaneIsoChannelRegMap;
using tWrites = std::vector<std::pair<uint32_t, uint32_t>>;

template <template <class, class, class> class tPolicy>
using tController = vantrel_shared::TriggerOverrideController<tChannelMap, tChannelMap::tIsoChannelConfigReg,
                                                              tChannelMap::tSoftwareInterruptAndOverrideReg, tPolicy>;
using tStart = tController<StartTriggerOverrideController>;
using tSource = tController<SourceTriggerOverrideController>;
using tMainMeasure = tController<MainMeasureTriggerOverrideController>;
using tSequenceAdvance = tController<SequenceAdvanceTriggerOverrideController>;

constexpr uint32_t kEnableInput0 = 1u << 28;
constexpr uint32_t kDisableInput0 = 2u << 28;

struct TriggerOverrides : channeltest::Channel {
    board::TriggerOverridesModel::Channel& triggers(unsigned c) { return fpga().triggerOverrides().channel(c); }
};

// One row per policy: what its object writes and reads on the channel.
template <class tObject>
struct Expected {
    uint32_t mux, config, override, occurrence, id;
};

template <class tObject>
void checkPolicy(TriggerOverrides& f, unsigned c, const Expected<tObject>& e) {
    SCOPED_TRACE(e.id);
    tStatus status;
    {
        tObject controller(f.map(c), status);
        EXPECT_EQ(status.code, 0);
        EXPECT_EQ(f.writesOf(c), (tWrites{{e.mux, kEnableInput0}})) << "construction enables input 0 and nothing else";
        for (int round = 0; round < 2; ++round) {
            f.clearLogs();
            nKZAPAL000::tAutoLock guard(controller.lock());
            EXPECT_TRUE(controller.overrideTrigger(status));
            EXPECT_EQ(status.code, 0);
            EXPECT_EQ(f.writesOf(c), (tWrites{{0x00, e.config}, {0x44, e.override}})) << "round " << round;
            EXPECT_EQ(f.readsOf(c), std::vector<uint32_t>{e.occurrence});
        }
        EXPECT_EQ(f.triggers(c).lastId, e.id);
        f.clearLogs();
    }
    EXPECT_EQ(f.writesOf(c), (tWrites{{e.mux, kDisableInput0}})) << "destruction disables input 0";
    f.clearLogs();
}

TEST_F(TriggerOverrides, EachPolicyEnablesItsMuxRaisesItsTriggerAndDisablesItsMuxAgain) {
    checkPolicy(*this, 0, Expected<tStart>{0x22, 1u << 4, 1u << 0, 0x45, 0x700});
    checkPolicy(*this, 1, Expected<tSource>{0x23, 1u << 4, 1u << 1, 0x45, 0x701});
    checkPolicy(*this, 1, Expected<tMainMeasure>{0x27, 1u << 6, 1u << 4, 0x46, 0x704});
    checkPolicy(*this, 3, Expected<tSequenceAdvance>{0x24, 1u << 4, 1u << 2, 0x45, 0x702});
    EXPECT_EQ(triggers(1).configStrobes.entries(), (std::vector<uint32_t>{1u << 4, 1u << 4, 1u << 6, 1u << 6}));
}

TEST_F(TriggerOverrides, AnotherRegisteredIdIsNoOverrideAndNoError) {
    tSource controller(map(2), st);
    triggers(2).reportedId = 0x702;
    EXPECT_FALSE(controller.overrideTrigger(st));
    EXPECT_EQ(st.code, 0);
    // While input 0 is disabled the channel registers nothing.
    triggers(2).reportedId.reset();
    triggers(2).lastId = 0;
    controller.cleanup(st);
    EXPECT_FALSE(controller.overrideTrigger(st));
    EXPECT_EQ(triggers(2).lastId, 0u);
}

TEST_F(TriggerOverrides, AFailedOverrideIsFalseAndDestructionStillDisablesInput0) {
    constexpr int64_t kFound = KZ_DEVICE_CODE(0xBFFA4689);
    {
        tStart controller(map(0), st);
        checker.finds = kFound;
        fpga().setAccessPortKnobs(0, board::AccessPortKnobs{0, false, false, true});
        tStatus status;
        EXPECT_FALSE(controller.overrideTrigger(status));
        EXPECT_EQ(status.code, kFound);
        fpga().setAccessPortKnobs(0, board::AccessPortKnobs{});
        clearLogs();
    }
    EXPECT_EQ(writesOf(0), (tWrites{{0x22, kDisableInput0}}));
}

TEST_F(TriggerOverrides, WithoutItsLockOrItsCleanupListAPolicyReportsMemoryFullAndNeverWrites) {
    for (const char* call : {"createMutex", "malloc"}) {
        const int64_t before = kal::sim::liveAllocations();
        {
            kal::sim::FailKernelCall fail(call);
            tStatus status;
            tMainMeasure controller(map(1), status);
            EXPECT_EQ(status.code, -52000) << call;
            EXPECT_EQ(fail.failures(), 1u) << call;
        }
        EXPECT_EQ(kal::sim::liveAllocations(), before) << call;
        EXPECT_TRUE(link().log().empty()) << call;
    }
    tStatus incoming;
    KZ_SET_CODE(incoming, -52005);
    { tSequenceAdvance controller(map(1), incoming); }
    EXPECT_TRUE(link().log().empty()) << "an incoming error builds a policy that never writes";
}

TEST_F(TriggerOverrides, OverridesOfOneTriggerFromTwoThreadsNeverInterleave) {
    tSource controller(map(3), st);
    clearLogs();
    auto run = [&] {
        for (int i = 0; i < 20; ++i) {
            tStatus status;
            nKZAPAL000::tAutoLock guard(controller.lock());
            EXPECT_TRUE(controller.overrideTrigger(status));
        }
    };
    std::thread a(run), b(run);
    a.join();
    b.join();
    const std::vector<board::PortAccess> log = link().log();
    ASSERT_EQ(log.size(), 120u);
    const uint32_t base = word(3, 0);
    for (size_t i = 0; i < log.size(); i += 3) {
        EXPECT_EQ(log[i].address, base + 0x00) << i;
        EXPECT_EQ(log[i + 1].address, base + 0x44) << i;
        EXPECT_EQ(log[i + 2].address, base + 0x45) << i;
        EXPECT_FALSE(log[i + 2].write) << i;
    }
}

}  // namespace
