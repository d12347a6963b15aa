// Setup levels 11 and 13 and the channels' shutdown before the teardown, through the reset request
// and the requests of a session: what reaches the isolated side, the device's checkers, and what
// each fault of the isolated FPGA or the sequencers leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "board/isolatedSequencers.h"
#include "dravikTools/systemSubroutineIds.h"
#include "isolatedLevels/isolatedSide.h"
#include "kal/sim/clock.h"
#include "kzapalcodegen/ioctlRecords.h"

namespace {

using namespace tolvanetest;
using isolatedtest::channelWord;

constexpr uint32_t kChannelBlocks = 0x1000;
constexpr uint32_t kChannelBlockWords = 0x200;
constexpr uint32_t kMeasureControl = 0x135;
constexpr uint32_t kAlarmMux = 0x21;
// The trigger muxes in the order a channel's override controllers are built: main measure, start,
// source, sequence advance.
constexpr uint32_t kTriggerMuxes[] = {0x27, 0x22, 0x23, 0x24};
constexpr uint32_t kInputZeroEnabled = 0x10000000;
constexpr uint32_t kInputZeroDisabled = 0x20000000;
constexpr uint32_t kCheckHardwareState = 0x00208601;
constexpr int64_t kSignatureMismatch = KZ_DEVICE_CODE(0xBFFA467D);
constexpr int64_t kSubroutineTimedOut = KZ_DEVICE_CODE(0xBFFA468C);
constexpr int64_t kSubroutineNotFound = KZ_DEVICE_CODE(0xBFFA4309);
// A failing stand-in's code.
constexpr int64_t kStandInFailed = KZ_DEVICE_CODE(0xBFFA8012);

// Isolated writes in order: {address, value}.
using Writes = std::vector<std::pair<uint32_t, uint32_t>>;


class ChannelLevels : public isolatedtest::IsolatedSide {
protected:
    // The isolated writes in order; only those of the channels' blocks when asked.
    Writes writes(bool channelsOnly) {
        Writes out;
        for (const board::PortAccess& a : link().log())
            if (a.write && (!channelsOnly || a.address >= kChannelBlocks)) out.emplace_back(a.address, a.value);
        return out;
    }
    // The sequencer runs since `from` runs had been recorded.
    std::vector<board::SequencerRun> runsSince(size_t from) {
        const std::vector<board::SequencerRun> all = link().sequencers().runs();
        return std::vector<board::SequencerRun>(all.begin() + std::min(from, all.size()), all.end());
    }
    size_t runCount() { return link().sequencers().runs().size(); }
    // The add's bring-up ends at 13, level 14 failing in its stand-in's place: incomplete, its
    // teardown runs no shutdown subroutine among the runs a test counts.
    int32_t addToThirteen() {
        plan_.fake(BringUpPlan::stepOfLevel(14), BringUpPlan::kFail, kStandInFailed);
        return add();
    }
    kdut::HardwareStateCheckerComposite& checkers() { return *device()->getHelper()->getHardwareStateCheckers(); }
};

// A reset to 11 stops there. Level 11 writes, in order: each measure-unit controller's fixed
// measurement enable, each channel's four trigger muxes with input 0 enabled, and each channel's
// default alarm masks; its teardown writes only the trigger muxes again, input 0 disabled, channel
// 3's sequence advance first.
TEST_F(ChannelLevels, LevelElevenWritesItsMuxesAndItsTeardownDisablesTheTriggers) {
    ASSERT_EQ(add(), 0);
    ASSERT_EQ(run("reset 10\n"), "reset 10: status: -52010\n");
    link().clearLog();
    EXPECT_EQ(run("reset 11\nlevel\n"), "reset 11: status: -52010\nlevel: 11, status: 0\n");
    Writes expected;
    for (unsigned c = 0; c < 4; ++c) expected.emplace_back(channelWord(c, kMeasureControl), 0x200);
    for (unsigned c = 0; c < 4; ++c)
        for (uint32_t mux : kTriggerMuxes) expected.emplace_back(channelWord(c, mux), kInputZeroEnabled);
    for (unsigned c = 0; c < 4; ++c)
        for (uint32_t word : {0x10001000u, 0x10061000u, 0x10071000u, 0x10001003u, 0x10061003u, 0x10071003u})
            expected.emplace_back(channelWord(c, kAlarmMux), word);
    EXPECT_EQ(writes(true), expected);

    IsolatedObjects* objects = device()->getHelper()->getIsolatedObjects();
    ASSERT_NE(objects, nullptr);
    for (unsigned c = 0; c < 4; ++c) {
        EXPECT_NE(objects->getSequenceEngineController(c), nullptr) << c;
        EXPECT_NE(objects->getTriggerOverrideController(IsolatedObjects::kSequenceAdvance, c), nullptr) << c;
        EXPECT_NE(objects->getEventLatchStatusReg(c), nullptr) << c;
    }
    EXPECT_EQ(objects->getSequenceEngineController(4), nullptr);
    EXPECT_NE(objects->getSubroutineDispatchers(), nullptr);
    EXPECT_NE(device()->getHelper()->getCalibrationDispatcher(), nullptr);
    EXPECT_NE(objects->getChannelGangingController(), nullptr);
    // After levels 3 and 5's four: the all-channel error checker, then the isolated signature.
    EXPECT_EQ(checkers().size(), 6u);
    EXPECT_TRUE(checkers().contains(&objects->getHardwareErrorCheckers()->allChannels()));

    link().clearLog();
    EXPECT_EQ(run("reset 10\n"), "reset 10: status: -52010\n");
    Writes disabled;
    for (unsigned c = 4; c-- > 0;)
        for (size_t kind = 4; kind-- > 0;)
            disabled.emplace_back(channelWord(c, kTriggerMuxes[kind]), kInputZeroDisabled);
    const Writes all = writes(false);
    ASSERT_GE(all.size(), disabled.size());
    EXPECT_EQ(Writes(all.begin(), all.begin() + disabled.size()), disabled)
        << "the teardown's writes come before the new bring-up's";
    EXPECT_EQ(writes(true), disabled);
}

// The all-channel error checker, then the isolated signature: a hardware-state check reads the
// channels' error managers before the signature, which it reads last.
TEST_F(ChannelLevels, AHardwareStateCheckEndsWithTheIsolatedSignature) {
    plan_.fakeLevels(14, 22, BringUpPlan::kSucceed);
    ASSERT_EQ(add(), 0);
    ASSERT_EQ(tracker().status.code, 0);
    auto session = kernel_.open("smu_kzvorn");
    link().clearLog();
    tHardwareStateRecord input{};
    tStatusRecord output{};
    ASSERT_EQ(session.ioctl(kCheckHardwareState, &input, sizeof input, &output, sizeof output).result, 0);
    EXPECT_EQ(output.status, 0);
    const std::vector<board::PortAccess> accesses = link().log();
    ASSERT_FALSE(accesses.empty());
    EXPECT_EQ(accesses.back(), (board::PortAccess{4, false, 0, stowly::builtInFpgaSignatures()[1]}));
    for (unsigned c = 0; c < 4; ++c)
        EXPECT_NE(std::find(accesses.begin(), accesses.end(), (board::PortAccess{c, false, channelWord(c, 0x47), 0})),
                  accesses.end())
            << c;
    const auto signatureReads = [](const board::PortAccess& a) { return a.address == 0; };
    EXPECT_EQ(std::count_if(accesses.begin(), accesses.end(), signatureReads), 1);
}

// A replacement isolated image that reports another signature: level 11 stops with 0xBFFA467D
// before any mux is written, and the signature does not join the device's checkers.
TEST_F(ChannelLevels, AnotherIsolatedSignatureStopsAtTen) {
    ASSERT_EQ(add(), 0);
    plan_.fake(kStepIsoFirmware, BringUpPlan::kReal);
    EXPECT_EQ(run("reset 10\n"), "reset 10: status: -52010\n");
    link().clearLog();
    EXPECT_EQ(resetWithIsoImage(13, stowly::kIsoFpgaImageSize), "reset 13: status: 0xBFFA467D\n");
    EXPECT_EQ(tracker().reached, 10);
    EXPECT_EQ(tracker().status.code, kSignatureMismatch);
    EXPECT_TRUE(writes(true).empty()) << "no trigger or alarm mux";
    EXPECT_EQ(device()->getHelper()->getHardwareErrorController(), nullptr);
    EXPECT_EQ(checkers().size(), 4u);
    link().clearLog();
    tStatus checked;
    device()->getHelper()->checkHardwareState(0, checked);
    EXPECT_EQ(checked.code, 0);
    for (const board::PortAccess& a : link().log()) EXPECT_NE(a.address, 0u) << "the signature is not read again";
}

// Level 13 runs the start-up subroutine on channel 0's line 4 and waits for it; a reset to 13
// stops there.
TEST_F(ChannelLevels, AResetToThirteenRunsTheStartUpSubroutineOnChannelZero) {
    ASSERT_EQ(addToThirteen(), 0);
    const size_t before = runCount();
    EXPECT_EQ(run("reset 13\nlevel\n"), "reset 13: status: -52010\nlevel: 13, status: 0\n");
    const std::vector<board::SequencerRun> runs = runsSince(before);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].channel, 0u);
    EXPECT_EQ(runs[0].line, 4u);
    EXPECT_EQ(runs[0].id, draviktools::kSubroutineLevel13);
}

// Channel 0's line stays latched: after a second of virtual time the wait gives up, the device's
// checkers run (the bridge signature among them is read), and the bring-up stays at 12.
TEST_F(ChannelLevels, AStuckLineStopsLevelThirteenAfterOneSecond) {
    ASSERT_EQ(add(), 0);
    ASSERT_EQ(run("reset 12\n"), "reset 12: status: -52010\n");
    link().sequencers().options().channels[0].lineStuckLatched = 4;
    board_.log().clear();
    uint64_t elapsed = 0;
    {
        auto session = kernel_.open("smu_kzvorn");
        tResetRecord input{};
        input.targetLevel = 13;
        tStatusRecord output{};
        const uint64_t start = kal::sim::clock().nowUs();
        ASSERT_EQ(session.ioctl(0x00208600, &input, sizeof input, &output, sizeof output).result, 0);
        elapsed = kal::sim::clock().nowUs() - start;
        EXPECT_EQ(output.status, int32_t(kSubroutineTimedOut));
    }
    EXPECT_EQ(tracker().reached, 12);
    EXPECT_GE(elapsed, 1000000u);
    // Once when level 3 checked it, once more when the wait's time-out ran the checkers.
    EXPECT_EQ(board_.log().countReads(board::bar0::kSignature), 2u);
}

// A replacement package without the start-up subroutine: the registrar does not find it, and no
// line is raised.
TEST_F(ChannelLevels, APackageWithoutTheStartUpSubroutineStopsAtTwelve) {
    ASSERT_EQ(addToThirteen(), 0);
    const size_t before = runCount();
    EXPECT_EQ(resetWithoutSubroutine(13, draviktools::kSubroutineLevel13), "reset 13: status: 0xBFFA4309\n");
    EXPECT_EQ(tracker().reached, 12);
    EXPECT_EQ(tracker().status.code, kSubroutineNotFound);
    EXPECT_EQ(runCount(), before);
}

// After a complete bring-up (the levels from 14 on standing in) the teardown first runs the
// shutdown subroutine on channels 0 to 3, all four started before the first wait, and only then
// writes anything else isolated; after a bring-up that stopped at 13 or failed above it, none.
TEST_F(ChannelLevels, TheShutdownSubroutinesRunOnlyAfterACompleteBringUp) {
    plan_.fakeLevels(14, 22, BringUpPlan::kSucceed);
    ASSERT_EQ(add(), 0);
    ASSERT_EQ(tracker().status.code, 0);
    link().clearLog();
    size_t before = runCount();
    EXPECT_EQ(run("reset 1\n"), "reset 1: status: -52010\n");
    const std::vector<board::SequencerRun> runs = runsSince(before);
    ASSERT_EQ(runs.size(), 4u);
    for (unsigned c = 0; c < 4; ++c) {
        EXPECT_EQ(runs[c].channel, c);
        EXPECT_EQ(runs[c].line, 4u);
        EXPECT_EQ(runs[c].id, draviktools::kSubroutineShutdown);
    }
    // Before the first trigger mux is disabled, only the lines' vectors, codes and raises.
    const Writes all = writes(false);
    const auto firstOther = std::find_if(all.begin(), all.end(), [](const std::pair<uint32_t, uint32_t>& w) {
        return w.second == kInputZeroDisabled;
    });
    ASSERT_NE(firstOther, all.end());
    std::vector<uint32_t> raisedChannels;
    for (auto w = all.begin(); w != firstOther; ++w) {
        const uint32_t offset = (w->first - kChannelBlocks) % kChannelBlockWords;
        EXPECT_TRUE(offset == 0x4A || offset == 0x49 || offset == 0x2A || offset == 0x44) << std::hex << w->first;
        if (offset == 0x44) raisedChannels.push_back((w->first - kChannelBlocks) / kChannelBlockWords);
    }
    EXPECT_EQ(raisedChannels, (std::vector<uint32_t>{0, 1, 2, 3}));

    EXPECT_EQ(run("reset 13\n"), "reset 13: status: -52010\n");
    before = runCount();
    EXPECT_EQ(run("reset 1\n"), "reset 1: status: -52010\n");
    EXPECT_EQ(runCount(), before) << "no subroutine after a bring-up stopped at 13";
    // Levels 14 to 17 real, level 18 failing: no shutdown either.
    plan_.fake(kStepDMAObjects, kStepRoutingObjects, BringUpPlan::kReal);
    plan_.fake(BringUpPlan::stepOfLevel(18), BringUpPlan::kFail, kStandInFailed);
    EXPECT_EQ(run("reset 22\n"), "reset 22: status: 0xBFFA8012\n");
    before = runCount();
    EXPECT_EQ(run("reset 1\n"), "reset 1: status: -52010\n");
    EXPECT_EQ(runCount(), before);
}

}  // namespace
