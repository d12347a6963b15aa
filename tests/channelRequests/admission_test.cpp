// What the channel requests answer before any level-11 object is reached: their gates, their
// channel and mask checks, the session's reservation, the event ids outside the latch register,
// and the subroutine list, which level 10's registrar answers. Levels 11 to 22 are faked, so
// every object past level 10 is absent: a request that got past its checks answers -52002.
#include <string>

#include "fixture.h"
#include "kzvorn_driver_codegen/eventLatchVectorMap.h"
#include "tools/stowly/stowlyData.h"

namespace channeltest {
namespace {

// The session holds channel 0 only.
TEST_F(ChannelRequests, ArgumentsAndReservationsAreCheckedBeforeAnyObject) {
    addFakingFrom(11);
    auto s = open();
    ASSERT_EQ(request(s, kReserve, 0x1).status, 0);
    const std::vector<Case> cases = {
        // Masks: bits past the last channel and an empty mask are reported once, before the
        // reservation; requests that check no mask of their own meet the reservation first.
        {"clear errors, empty mask", kHwClear, 0, 0, kInvalidChannel},
        {"clear errors, mask 0x10", kHwClear, 0x10, 0, kInvalidChannel},
        {"clear errors, unreserved channel", kHwClear, 0x2, 0, kNotReserved},
        {"check errors, mask 0x10", kHwCheck, 0x10, 0, kInvalidChannel},
        {"check errors, bit 63", kHwCheck, uint64_t{1} << 63, 0, kInvalidChannel},
        {"check errors needs no reservation", kHwCheck, 0x6, 0, kNotSupported},
        {"overflow, empty mask", kHwOverflow, 0, 0, kInvalidChannel},
        {"overflow, unreserved channel", kHwOverflow, 0x8, 0, kNotReserved},
        {"engine start, mask 0x10 is unreserved", kEngineStart, 0x10, 0, kNotReserved},
        {"engine start, empty mask", kEngineStart, 0, 0, kInvalidChannel},
        {"engine start, unreserved channel", kEngineStart, 0x3, 0, kNotReserved},
        {"engine reset, empty mask", kEngineReset, 0, 0, kInvalidChannel},
        {"engine running, bit 40", kEngineRunning, uint64_t{1} << 40, 0, kNotReserved},
        {"override, mask 0x10 is unreserved", kOverride, 0x10, 1034, kNotReserved},
        {"override, unreserved channel", kOverride, 0x4, 1034, kNotReserved},
        {"override, trigger 1038", kOverride, 0x1, 1038, kNotSupported},
        {"event check, empty mask", kEventCheck, 0, 0x800, kInvalidChannel},
        {"event check, mask 0x10", kEventCheck, 0x10, 0x800, kInvalidChannel},
        {"event check, unreserved channel", kEventCheck, 0x2, 0x800, kNotReserved},
        {"event clear, empty mask", kEventClear, 0, 0x800, kInvalidChannel},
        {"clear all, mask 0x30", kEventClearAll, 0x30, 0, kInvalidChannel},
        {"clear all, unreserved channel", kEventClearAll, 0x9, 0, kNotReserved},
        // Channels: compared on the record field's full width, before the reservation.
        {"arm, channel 0x100", kMeasureArm, 0x100, 0, kInvalidChannel},
        {"arm, channel 4", kMeasureArm, 4, 0, kInvalidChannel},
        {"arm, unreserved channel", kMeasureArm, 1, 0, kNotReserved},
        {"reset unit, channel 0xFFFFFFFF", kMeasureReset, 0xFFFFFFFF, 0, kInvalidChannel},
        {"gang, first channel 4", kGangReserve, 4, 1, kInvalidChannel},
        {"gang, first channel 255", kGangReserve, 255, 1, kInvalidChannel},
        {"gang needs no reservation", kGangReserve, 2, 2, kNotSupported},
        {"ungang, channel 4", kGangUnreserve, 4, 0, kInvalidChannel},
        {"merge count, channel 4", kMergeCount, 4, 0, kInvalidChannel},
        {"master, channel 200", kIsMaster, 200, 0, kInvalidChannel},
        {"reserved, channel 4", kIsReserved, 4, 0, kInvalidChannel},
        // Not offered on this device.
        {"download", kDownload, 0, 0, kNotSupported},
        {"execute", kExecute, 0, 0, kNotSupported},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Reply reply = request(s, c.code, c.a, c.b);
        EXPECT_EQ(reply.status, c.status);
        EXPECT_EQ(reply.value, 0u);
    }
}

// The four events whose latch bits lie past the 32-bit register, and the ids the map does not
// hold, are refused before any channel's register is reached; the other 31 are looked up.
TEST_F(ChannelRequests, EventIdsOutsideTheLatchRegisterAreRefusedWithoutAccess) {
    addFakingFrom(11);
    auto s = open();
    ASSERT_EQ(request(s, kReserve, 0xF).status, 0);
    for (uint16_t event : {2077, 2078, 2079, 2081, 2080, 2, 0x7FF, 0xFFFF}) {
        SCOPED_TRACE(event);
        EXPECT_EQ(request(s, kEventCheck, 0x5, event).status, kOutOfRange);
        EXPECT_EQ(request(s, kEventClear, 0xF, event).status, kOutOfRange);
    }
    for (const auto& vector : kzvorn_driver_codegen::EventLatchVectorMap) {
        if (vector.bit >= 32) continue;
        EXPECT_EQ(request(s, kEventClear, 0x1, vector.eventId).status, kNotSupported) << vector.eventId;
    }
}

TEST(EventLatchVectorMap, MasksInTheLatchRegister) {
    struct Row {
        uint32_t id;
        bool inRegister;
        uint32_t mask;
    };
    for (const Row& row : {Row{0x000, true, 1u << 1}, Row{0x001, true, 1u << 2}, Row{0x800, true, 1u << 3},
                           Row{0x80F, true, 1u << 18}, Row{0x815, true, 1u << 24}, Row{0x81B, true, 0x02000000},
                           Row{0x816, true, 1u << 26}, Row{0x81A, true, 1u << 30}, Row{0x81C, true, 0x80000000},
                           Row{0x81D, false, 0}, Row{0x81E, false, 0}, Row{0x81F, false, 0}, Row{0x821, false, 0},
                           Row{0x820, false, 0}, Row{0x002, false, 0}, Row{0x10800, false, 0}}) {
        uint32_t mask = 0;
        EXPECT_EQ(kzvorn_driver_codegen::eventLatchMask(row.id, mask), row.inRegister) << std::hex << row.id;
        EXPECT_EQ(mask, row.mask) << std::hex << row.id;
    }
}

// Gated at 22 (the hardware check at 11): a device stopped below answers the tracker's status,
// and a reset invalidates the session that asked; downloads and executions pass the gate first.
TEST_F(ChannelRequests, GatesAnswerTheTrackersStatusBelowTheirLevel) {
    addFakingFrom(11);
    {
        auto s = open();
        EXPECT_EQ(resetTo(s, 13), kStoppedAtLevel);
        EXPECT_EQ(request(s, kDownload).status, kInvalidated);
    }
    auto s = open();
    for (uint32_t code : {kDownload, kExecute, kCount, kEngineRunning, kOverride, kGangReserve, kHwClear, kMeasureArm})
        EXPECT_EQ(request(s, code, 0x1, 0).status, kStoppedAtLevel) << std::hex << code;
    EXPECT_EQ(request(s, kHwCheck, 0).status, kNotSupported);
    EXPECT_EQ(resetTo(s, 10), kStoppedAtLevel);
    auto again = open();
    EXPECT_EQ(request(again, kHwCheck, 0).status, kStoppedAtLevel);
}

// The registrar's count, and its two lists written into exactly that many entries of each array.
TEST_F(ChannelRequests, TheSubroutineListFillsExactlyTheRegisteredCount) {
    addFakingFrom(11);
    auto s = open();
    const Reply count = request(s, kCount);
    ASSERT_EQ(count.status, 0);
    ASSERT_EQ(count.value, stowly::kSubroutinePackageEntryCount);
    const stowly::SubroutinePackageData package = stowly::builtInSubroutinePackage();

    Listing listed(s, count.value, count.value + 4);
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(std::vector<uint32_t>(listed.ids.begin(), listed.ids.begin() + count.value), package.ids);
    EXPECT_EQ(std::vector<uint32_t>(listed.starts.begin(), listed.starts.begin() + count.value),
              package.startAddresses);
    EXPECT_TRUE(listed.untouched(count.value));

    for (uint32_t wrong : {count.value + 1, count.value - 1, 0u, 0xFFFFFFFFu}) {
        Listing refused(s, wrong, count.value + 4);
        EXPECT_EQ(refused.status, kCountMismatch) << wrong;
        EXPECT_TRUE(refused.untouched(0));
    }
    Listing nullIds(s, count.value, count.value, true);
    EXPECT_EQ(nullIds.status, kArrayMissing);
    EXPECT_TRUE(nullIds.untouched(0));
    tSubroutineListRecord noStarts{};
    noStarts.ids = 0x1000;
    noStarts.count = count.value;
    EXPECT_EQ(send<tStatusRecord>(s, kList, noStarts).status, kArrayMissing);
}

}  // namespace
}  // namespace channeltest
