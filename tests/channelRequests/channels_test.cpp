// The channel requests on a board brought up to level 13 with levels 14 to 22 faked: the level-11
// objects answer, and what reaches the board (engines, measure units, latches, triggers,
// sequencer runs, error managers) is read back from it.
#include <string>

#include "fixture.h"

namespace channeltest {
namespace {

constexpr uint32_t kUngang = board::IsolatedSequencers::kUngangId;
constexpr uint32_t kEventLatch = 0x4B;
constexpr uint32_t kMainMeasureMux = 0x27;

class Channels : public ChannelRequests {
protected:
    void SetUp() override {
        ChannelRequests::SetUp();
        addBuiltTo13();
    }
    board::SequenceEnginesModel::Engine engine(unsigned c) {
        auto guard = boardLock();
        return blocks_.nonIsolatedFpga.sequenceEngines().engine(c);
    }
    bool unitArmed(unsigned c) {
        auto guard = boardLock();
        return link().occurrence().mux(c, kMainMeasureMux)->isArmed();
    }
    uint32_t latched(unsigned c) {
        auto guard = boardLock();
        return blocks_.nonIsolatedFpga.eventLatches().latched(c);
    }
    board::TriggerOverridesModel::Channel triggers(unsigned c) {
        auto guard = boardLock();
        return blocks_.nonIsolatedFpga.triggerOverrides().channel(c);
    }
    board::SequencerChannelOptions& sequencerKnobs(unsigned c) { return link().sequencers().options().channels[c]; }
    // The writes and reads of a channel's event latch since the log was cleared.
    std::vector<board::PortAccess> latchAccesses(unsigned c) {
        std::vector<board::PortAccess> found;
        for (const board::PortAccess& a : accesses(c))
            if (a.address == 0x1000 + 0x200 * c + kEventLatch) found.push_back(a);
        return found;
    }
};

TEST_F(Channels, SequenceEnginesStartOnTheLowestChannelAndResetWithTheirCleanup) {
    auto s = open();
    ASSERT_EQ(request(s, kReserve, 0x6).status, 0);
    EXPECT_EQ(request(s, kEngineStart, 0x6, 0).status, 0);
    EXPECT_EQ(engine(1).starts, 1u);
    EXPECT_TRUE(engine(1).running);
    EXPECT_EQ(engine(2).starts, 0u);
    const std::vector<Case> cases = {
        {"started twice", kEngineStart, 0x2, 0, code(0xBFFA4315)},
        {"step count 513", kEngineStart, 0x4, 513, code(0xBFFA4326)},
        {"mask 0x10", kEngineStart, 0x10, 0, kNotReserved},
        {"empty mask", kEngineStart, 0, 0, kInvalidChannel},
        {"running on channel 1", kEngineRunning, 0x6, 0, 0},
        {"reset", kEngineReset, 0x2, 0, 0},
        {"reset again: done, but the session no longer holds it", kEngineReset, 0x2, 0, kNotHeld},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(request(s, c.code, c.a, c.b).status, c.status);
    }
    EXPECT_EQ(request(s, kEngineRunning, 0x6).value, 0u);
    EXPECT_FALSE(engine(1).running);
    EXPECT_EQ(engine(2).starts, 0u);
}

TEST_F(Channels, MeasureUnitsArmAndResetWithTheirCleanup) {
    auto s = open();
    ASSERT_EQ(request(s, kReserve, 0x1).status, 0);
    EXPECT_EQ(request(s, kMeasureArm, 0x100).status, kInvalidChannel);
    EXPECT_EQ(request(s, kMeasureArm, 1).status, kNotReserved);
    EXPECT_FALSE(unitArmed(0));
    EXPECT_EQ(request(s, kMeasureArm, 0).status, 0);
    EXPECT_TRUE(unitArmed(0));
    EXPECT_EQ(request(s, kMeasureReset, 0).status, 0);
    EXPECT_FALSE(unitArmed(0));
    EXPECT_EQ(request(s, kMeasureArm, 0).status, 0);
    EXPECT_EQ(request(s, kMeasureReset, 0).status, 0);
    // A unit the session did not arm is reset all the same.
    EXPECT_EQ(request(s, kMeasureArm, 0).status, 0);
    {
        auto other = open();
        EXPECT_EQ(request(other, kMeasureReset, 0).status, kNotReserved);
    }
    EXPECT_EQ(request(s, kMeasureReset, 0).status, 0);
    EXPECT_EQ(request(s, kMeasureReset, 0).status, kNotHeld);
    EXPECT_FALSE(unitArmed(0));
}

// What a session leaves running is undone when it closes: its engine, its armed unit, its gang.
TEST_F(Channels, ClosingASessionUndoesWhatItStarted) {
    auto other = open();
    {
        auto s = open();
        ASSERT_EQ(request(s, kReserve, 0x3).status, 0);
        ASSERT_EQ(request(s, kEngineStart, 0x1, 0).status, 0);
        ASSERT_EQ(request(s, kMeasureArm, 1).status, 0);
        ASSERT_EQ(request(s, kGangReserve, 2, 2).status, 0);
        ASSERT_TRUE(engine(0).running);
        ASSERT_TRUE(unitArmed(1));
        ASSERT_EQ(request(other, kIsReserved, 3).value, 1u);
    }
    EXPECT_FALSE(engine(0).running);
    EXPECT_FALSE(unitArmed(1));
    EXPECT_EQ(request(other, kIsReserved, 2).value, 0u);
    EXPECT_EQ(request(other, kIsReserved, 3).value, 0u);
    // Released, the gang stays recorded until a reservation overlaps it.
    EXPECT_EQ(request(other, kMergeCount, 3).value, 2u);
    // The channels are free again for the other session.
    EXPECT_EQ(request(other, kReserve, 0x3).status, 0);
}

TEST_F(Channels, EventLatchesAreCheckedAndClearedOnEveryChannelOfTheMask) {
    blocks_.nonIsolatedFpga.latchEvents(0, 1u << 3);
    blocks_.nonIsolatedFpga.latchEvents(1, (1u << 3) | (1u << 25) | (1u << 30));
    auto s = open();
    ASSERT_EQ(request(s, kReserve, 0xF).status, 0);

    clearLog();
    const Reply missing = request(s, kEventCheck, 0x5, 0x800);
    EXPECT_EQ(missing.status, 0);
    EXPECT_EQ(missing.value, 0u);
    // Channel 2's register was read to find it missing.
    EXPECT_EQ(latchAccesses(2).size(), 1u);
    EXPECT_EQ(request(s, kEventCheck, 0x3, 0x800).value, 1u);
    EXPECT_EQ(request(s, kEventCheck, 0x3, 0x81B).value, 0u);

    clearLog();
    EXPECT_EQ(request(s, kEventClear, 0x3, 0x81B).status, 0);
    for (unsigned c : {0u, 1u}) {
        const auto writes = latchAccesses(c);
        ASSERT_EQ(writes.size(), 1u) << c;
        EXPECT_TRUE(writes[0].write);
        EXPECT_EQ(writes[0].value, 0x02000000u);
    }
    EXPECT_EQ(latched(1), (1u << 3) | (1u << 30));

    clearLog();
    EXPECT_EQ(request(s, kEventClearAll, 0x2).status, 0);
    EXPECT_EQ(request(s, kEventClearAll, 0x2).status, 0);
    const auto clears = latchAccesses(1);
    ASSERT_EQ(clears.size(), 2u);
    EXPECT_EQ(clears[1].value, 0xFFFFFFFFu);
    EXPECT_EQ(latched(1), 0u);
    EXPECT_EQ(latched(0), 1u << 3);

    // Bits 32 to 35 lie past the register: refused like an id the map does not hold, no access.
    blocks_.nonIsolatedFpga.latchEvents(0, 0xFFFFFFFF);
    clearLog();
    for (uint16_t event : {2077, 2078, 2079, 2081, 2080}) {
        EXPECT_EQ(request(s, kEventCheck, 0x1, event).status, kOutOfRange) << event;
        EXPECT_EQ(request(s, kEventClear, 0x1, event).status, kOutOfRange) << event;
    }
    auto guard = boardLock();
    EXPECT_TRUE(link().log().empty());
    EXPECT_EQ(blocks_.nonIsolatedFpga.eventLatches().latched(0), 0xFFFFFFFFu);
}

TEST_F(Channels, TriggerOverridesActOnTheHighestChannelOfTheMask) {
    auto s = open();
    ASSERT_EQ(request(s, kReserve, 0x5).status, 0);
    const Reply mainMeasure = request(s, kOverride, 0x5, 1036);
    EXPECT_EQ(mainMeasure.status, 0);
    EXPECT_EQ(mainMeasure.value, 1u);
    EXPECT_EQ(triggers(2).lastId, 0x704);
    EXPECT_EQ(triggers(2).configStrobes.entries(), (std::vector<uint32_t>{1u << 6}));
    EXPECT_EQ(triggers(0).lastId, 0);

    const Reply unknown = request(s, kOverride, 0x5, 1038);
    EXPECT_EQ(unknown.status, kNotSupported);
    EXPECT_EQ(unknown.value, 0u);
    EXPECT_EQ(request(s, kOverride, 0x5, 1033).status, kNotSupported);

    // An empty mask passes the reservation check and overrides channel 0, here from a session
    // that reserved nothing while another holds the channel.
    auto other = open();
    const Reply empty = request(other, kOverride, 0, 1034);
    EXPECT_EQ(empty.status, 0);
    EXPECT_EQ(empty.value, 1u);
    EXPECT_EQ(triggers(0).lastId, 0x700);

    {
        auto guard = boardLock();
        blocks_.nonIsolatedFpga.triggerOverrides().channel(2).reportedId = 0x123;
    }
    const Reply wrongId = request(s, kOverride, 0x4, 1035);
    EXPECT_EQ(wrongId.status, 0);
    EXPECT_EQ(wrongId.value, 0u);
}

struct GangStep {
    unsigned session;
    uint32_t code;
    uint8_t channel;
    uint8_t count;
    int32_t status;
};
struct GangCase {
    std::string name;
    std::vector<GangStep> steps;
    std::vector<unsigned> ungangedOn;  // the channels the unganging subroutine ran on
    std::vector<std::array<uint32_t, 3>> after;  // merge count, master, reserved per channel
};

constexpr std::array<uint32_t, 3> kFree{1, 1, 0};

// Each case on a fresh level 11 (a reset to 22 rebuilds it), two sessions.
TEST_F(Channels, GangsThroughTheEnvelope) {
    const int32_t kGangTaken = code(0xBFFA40AE);
    const std::vector<GangCase> cases = {
        {"past the last channel, or from channel 4: refused, nothing changed",
         {{0, kGangReserve, 0, 2, 0}, {0, kGangReserve, 2, 3, kInvalidChannel}, {0, kGangReserve, 4, 1, kInvalidChannel}},
         {}, {{2, 1, 1}, {2, 0, 1}, kFree, kFree}},
        {"a released gang overlapped from its middle is unganged at its master",
         {{0, kGangReserve, 0, 4, 0}, {0, kGangUnreserve, 0, 0, 0}, {0, kGangReserve, 2, 2, 0}},
         {0}, {kFree, kFree, {2, 1, 1}, {2, 0, 1}}},
        {"a gang off a multiple of its size is unganged at its master, nothing past channel 3",
         {{0, kGangReserve, 1, 3, 0}, {0, kGangUnreserve, 1, 0, 0}, {0, kGangReserve, 3, 1, 0}},
         {1}, {kFree, kFree, kFree, {1, 1, 1}}},
        {"shrinking the start channel's gang ungangs it whole; its tail is free for another session",
         {{0, kGangReserve, 0, 4, 0}, {0, kGangUnreserve, 0, 0, 0}, {0, kGangReserve, 0, 2, 0},
          {1, kGangReserve, 2, 2, 0}},
         {0}, {{2, 1, 1}, {2, 0, 1}, {2, 1, 1}, {2, 0, 1}}},
        {"growing the start channel's gang breaks nothing",
         {{0, kGangReserve, 0, 2, 0}, {0, kGangReserve, 0, 4, 0}},
         {}, {{4, 1, 1}, {4, 0, 1}, {4, 0, 1}, {4, 0, 1}}},
        {"a reserved channel refuses the gang and leaves the first intact",
         {{0, kGangReserve, 0, 2, 0}, {1, kGangReserve, 1, 2, kGangTaken}},
         {}, {{2, 1, 1}, {2, 0, 1}, kFree, kFree}},
        {"count 0 releases the start channel's gang and records none",
         {{0, kGangReserve, 0, 2, 0}, {0, kGangReserve, 0, 0, 0}},
         {}, {{2, 1, 0}, {2, 0, 0}, kFree, kFree}},
        {"a release by a session that did not reserve: done, but it held no cleanup",
         {{0, kGangReserve, 0, 2, 0}, {1, kGangUnreserve, 0, 0, kNotHeld}, {0, kGangUnreserve, 0, 0, 0}},
         {}, {{2, 1, 0}, {2, 0, 0}, kFree, kFree}},
    };
    for (const GangCase& c : cases) {
        SCOPED_TRACE(c.name);
        {
            auto resetter = open();
            ASSERT_EQ(resetTo(resetter, 22), 0);
        }
        const size_t before = runsOf(kUngang).size();
        kal::sim::Session sessions[2] = {open(), open()};
        for (size_t i = 0; i < c.steps.size(); ++i) {
            const GangStep& step = c.steps[i];
            SCOPED_TRACE(i);
            EXPECT_EQ(request(sessions[step.session], step.code, step.channel, step.count).status, step.status);
        }
        const std::vector<unsigned> runs = runsOf(kUngang);
        EXPECT_EQ(std::vector<unsigned>(runs.begin() + before, runs.end()), c.ungangedOn);
        for (uint8_t ch = 0; ch < 4; ++ch) {
            SCOPED_TRACE(int(ch));
            EXPECT_EQ(request(sessions[0], kMergeCount, ch).value, c.after[ch][0]);
            EXPECT_EQ(request(sessions[0], kIsMaster, ch).value, c.after[ch][1]);
            EXPECT_EQ(request(sessions[0], kIsReserved, ch).value, c.after[ch][2]);
        }
    }
}

// The unganging subroutine's line stays latched: the shrinking reservation fails with the
// subroutine's time-out and records no new gang.
TEST_F(Channels, AFailedUngangRecordsNoNewGang) {
    auto s = open();
    ASSERT_EQ(request(s, kGangReserve, 0, 4).status, 0);
    ASSERT_EQ(request(s, kGangUnreserve, 0).status, 0);
    {
        auto guard = boardLock();
        sequencerKnobs(0).lineStuckLatched = 4;
    }
    EXPECT_EQ(request(s, kGangReserve, 0, 2).status, code(0xBFFA468C));
    for (uint8_t ch = 0; ch < 4; ++ch) {
        EXPECT_EQ(request(s, kMergeCount, ch).value, 4u) << int(ch);
        EXPECT_EQ(request(s, kIsReserved, ch).value, 0u) << int(ch);
    }
    // Nothing joined the session's set: its release finds no cleanup of its own.
    EXPECT_EQ(request(s, kGangUnreserve, 0).status, kNotHeld);
}

TEST_F(Channels, HardwareConditionChecksNeedNoReservationFromLevelEleven) {
    auto s = open();
    EXPECT_EQ(request(s, kHwCheck, 0).status, 0);
    EXPECT_EQ(request(s, kHwCheck, 0xF).status, 0);
    EXPECT_EQ(resetTo(s, 11), kStoppedAtLevel);
    auto again = open();
    EXPECT_EQ(request(again, kHwCheck, 0).status, 0);
    blocks_.nonIsolatedFpga.raiseError(board::NonIsolatedFpga::kNonIsolatedBlock, 0x20D);
    EXPECT_EQ(request(again, kHwCheck, 0).status, code(0xBFFA4094));
}

// An error on channel 3 only, with mask 0b1010: only channel 3's line 1 is waited for (channel
// 1's stays latched and is never looked at), and its errors are cleared; with channel 3's line
// stuck, the wait times out and nothing is cleared. At the time-out the wait runs the device's
// checkers first, and their all-channel check finds the very error waited on: its code wins over
// the wait's own 0xBFFA468D.
TEST_F(Channels, ClearingErrorsWaitsOnlyForTheChannelsThatHoldOne) {
    nKZAPALS100::tStatus enabled;
    HardwareErrorControllerInterface* errors = device()->getHelper()->getHardwareErrorController();
    ASSERT_NE(errors, nullptr);
    errors->enableIsoErrorManagers(enabled);
    ASSERT_EQ(enabled.code, 0);
    auto s = open();
    ASSERT_EQ(request(s, kReserve, 0xA).status, 0);
    const auto raiseOnChannel3 = [&](bool stuck) {
        blocks_.nonIsolatedFpga.raiseError(3, 0x904);
        blocks_.nonIsolatedFpga.dropError(3, 0x904);
        auto guard = boardLock();
        sequencerKnobs(1).lineStuckLatched = 1;
        sequencerKnobs(3).lineStuckLatched = stuck ? std::optional<unsigned>(1) : std::nullopt;
        link().sequencers().raiseLine(1, 1);
        link().sequencers().raiseLine(3, 1);
    };

    raiseOnChannel3(true);
    EXPECT_EQ(request(s, kHwClear, 0xA).status, code(0xBFFA4098));
    EXPECT_EQ(blocks_.nonIsolatedFpga.errorState(3).latchedId, 0x904);
    EXPECT_EQ(request(s, kHwCheck, 0x8).status, code(0xBFFA4098));

    raiseOnChannel3(false);
    EXPECT_EQ(request(s, kHwClear, 0xA).status, 0);
    EXPECT_EQ(blocks_.nonIsolatedFpga.errorState(3).latchedId, 0);
    EXPECT_EQ(request(s, kHwCheck, 0xA).status, 0);
}

TEST_F(Channels, MeasureFifoOverflowOfAChannelOfTheMask) {
    {
        auto guard = boardLock();
        blocks_.nonIsolatedFpga.overflowMeasureFifo(2);
    }
    auto s = open();
    ASSERT_EQ(request(s, kReserve, 0xF).status, 0);
    EXPECT_EQ(request(s, kHwOverflow, 0x4).status, code(0xBFFA4037));
    EXPECT_EQ(request(s, kHwOverflow, 0xB).status, 0);
}

// Download and execute are not offered: -52002 behind their gate, -52010 after a reset to 13.
TEST_F(Channels, DownloadAndExecuteAreNotOffered) {
    {
        auto s = open();
        EXPECT_EQ(request(s, kDownload).status, kNotSupported);
        EXPECT_EQ(request(s, kExecute).status, kNotSupported);
        EXPECT_EQ(resetTo(s, 13), kStoppedAtLevel);
    }
    auto s = open();
    EXPECT_EQ(request(s, kDownload).status, kStoppedAtLevel);
    EXPECT_EQ(request(s, kExecute).status, kStoppedAtLevel);
}

}  // namespace
}  // namespace channeltest
