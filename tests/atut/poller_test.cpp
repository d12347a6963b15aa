#include <gtest/gtest.h>

#include <vector>

#include "atut/poller.h"
#include "atut/safeCast.h"
#include "kal/sim/clock.h"

namespace sim = kal::sim;
using namespace kzvorn_driver::nKZAPAL000;
using nKZAPALS100::tStatus;

using SpinPrecise = tTimeout<tTimeWasterSpin, tTimebasePrecise>;
using SpinEfficient = tTimeout<tTimeWasterSpin, tTimebaseEfficient>;
using SleepEfficient = tTimeout<tTimeWasterSleep, tTimebaseEfficient>;
using SleepPrecise = tTimeout<tTimeWasterSleep, tTimebasePrecise>;

namespace {

const int64_t kTimeoutCode = KZ_DEVICE_CODE(0xBFFA807A);
constexpr uint64_t kTickNs = 1000000;

// A register that notes when it was read; its value changes when the test (or a clock event)
// says so.
struct FakeRegister {
    uint32_t value = 0;
    int64_t failWith = 0;
    std::vector<uint64_t> readsNs;

    uint32_t read(tStatus& status) {
        readsNs.push_back(sim::clock().nowNs());
        if (failWith != 0) KZ_SET_CODE(status, failWith);
        return value;
    }
    bool readFlag(tStatus& status) const { return value != 0; }
    uint16_t read16(tStatus& status) { return static_cast<uint16_t>(read(status)); }
};

struct RecordingHandler : atut::PollerTimeoutHandler {
    int calls = 0;
    int64_t reportAs = 0;
    void onTimeout(tStatus& status) override {
        ++calls;
        if (reportAs != 0) KZ_SET_CODE(status, reportAs);
    }
};

// The reader a wait takes, over a fake register's read.
auto readOf(FakeRegister& reg) {
    return [&reg](tStatus& status) { return reg.read(status); };
}

class Poller : public ::testing::Test {
protected:
    void SetUp() override { sim::clock().reset(); }
    void TearDown() override { sim::clock().reset(); }

    // Moves the clock to the start of the next timer tick.
    static uint64_t alignToTick() {
        sim::clock().advanceNs(kTickNs - sim::clock().nowNs() % kTickNs);
        return sim::clock().nowNs();
    }
};

}  // namespace

TEST_F(Poller, ConditionsOverTheMaskedValue) {
    struct Case {
        uint32_t reg, compare, mask, condition;
        bool holds;
    };
    const Case cases[] = {
        {0x5, 0, 0x4, atut::kPollAnyBitSet, true},   {0x3, 0, 0x4, atut::kPollAnyBitSet, false},
        {0x7, 0, 0x6, atut::kPollAllBitsSet, true},  {0x5, 0, 0x6, atut::kPollAllBitsSet, false},
        {0x9, 0, 0x6, atut::kPollNoBitSet, true},    {0x2, 0, 0x3, atut::kPollNoBitSet, false},
        {0x7F, 1, 0x81, atut::kPollEqual, true},     {0x81, 1, 0x81, atut::kPollEqual, false},
        {0xFFFF, 0, 0, atut::kPollEqual, true},      {0, 0, 0, atut::kPollAllBitsSet, true},
    };
    for (const Case& c : cases) {
        FakeRegister reg;
        reg.value = c.reg;
        tStatus status;
        const auto wait = atut::Wait<SpinPrecise>().pausesUs(0, 0).deadlineUs(10).timeoutStatus(kTimeoutCode);
        atut::waitUntil(wait, readOf(reg), atut::PollUntil{c.condition, c.mask, c.compare}, status);
        EXPECT_EQ(status.code, c.holds ? 0 : kTimeoutCode) << "register " << c.reg << " condition " << c.condition;
    }
}

TEST_F(Poller, TrueOnFirstReadReturnsWithoutPauseEvenWithTimeoutZero) {
    sim::clock().recordSleeps(true);
    FakeRegister reg;
    reg.value = 4;
    tStatus status;
    const uint64_t t0 = sim::clock().nowNs();
    const auto wait = atut::Wait<SleepEfficient>().pausesUs(1, 1).deadlineUs(0).timeoutStatus(kTimeoutCode);
    atut::waitUntil(wait, readOf(reg), atut::anyBitSet(4), status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(reg.readsNs.size(), 1u);
    EXPECT_TRUE(sim::clock().sleeps().empty());
    EXPECT_LT(sim::clock().nowNs() - t0, 1000u);
}

TEST_F(Poller, TimeoutZeroReadsUntilOneTickHasPassedThenOnceMore) {
    const uint64_t t0 = alignToTick();
    FakeRegister reg;
    tStatus status;
    const auto wait = atut::Wait<SpinEfficient>().pausesUs(0, 0).deadlineUs(0).timeoutStatus(kTimeoutCode);
    atut::waitUntil(wait, readOf(reg), atut::anyBitSet(4), status);
    EXPECT_EQ(status.code, kTimeoutCode);
    const std::vector<uint64_t>& reads = reg.readsNs;
    ASSERT_GE(reads.size(), 2u);
    EXPECT_LT(reads[reads.size() - 2], t0 + kTickNs) << "all reads but the last fall inside the tick";
    EXPECT_GE(reads.back(), t0 + kTickNs) << "the last read comes after the deadline";
}

TEST_F(Poller, PausesDoubleUpToTheMaximumEachPlusOneTick) {
    FakeRegister reg;
    tStatus status;
    const auto wait =
        atut::Wait<SpinPrecise>().pausesUs(5, 100000).deadlineUs(500000).timeoutStatus(kTimeoutCode);
    atut::waitUntil(wait, readOf(reg), atut::maskedEquals(1, 1), status);
    EXPECT_EQ(status.code, kTimeoutCode);

    std::vector<uint64_t> expectedUs;
    for (uint64_t pause = 5; expectedUs.size() + 1 < reg.readsNs.size(); pause = std::min<uint64_t>(pause * 2, 100000)) {
        expectedUs.push_back(pause);
    }
    ASSERT_GE(expectedUs.size(), 17u);
    EXPECT_EQ(expectedUs[15], 100000u);
    for (size_t i = 0; i < expectedUs.size(); ++i) {
        const uint64_t gap = reg.readsNs[i + 1] - reg.readsNs[i];
        // One tick of the precise base is 1 ns; the rest is the clock reads of the wait itself.
        EXPECT_GE(gap, expectedUs[i] * 1000 + 1) << "pause " << i;
        EXPECT_LE(gap, expectedUs[i] * 1000 + 1000) << "pause " << i;
    }
    EXPECT_GE(reg.readsNs.back() - reg.readsNs.front(), 500000000u);
}

// A wait's description gives the poller its pauses, its deadline and its time-out status, and
// the condition its mask and value.
TEST_F(Poller, AWaitDescriptionPacesTheReadsAndEndsAtItsDeadline) {
    FakeRegister reg;
    reg.value = 0x81;
    constexpr auto kWait =
        atut::Wait<SpinPrecise>().pausesUs(5, 40).deadlineUs(300).timeoutStatus(KZ_DEVICE_CODE(0xBFFA807D));
    tStatus status;
    atut::waitUntil(kWait, [&](tStatus& s) { return reg.read(s); }, atut::maskedEquals(0x81, 0x01), status);
    EXPECT_EQ(status.code, KZ_DEVICE_CODE(0xBFFA807D));
    ASSERT_GE(reg.readsNs.size(), 6u);
    const uint64_t expectedUs[] = {5, 10, 20, 40, 40};
    for (size_t i = 0; i < 5; ++i) {
        const uint64_t gap = reg.readsNs[i + 1] - reg.readsNs[i];
        EXPECT_GE(gap, expectedUs[i] * 1000 + 1) << "pause " << i;
        EXPECT_LE(gap, expectedUs[i] * 1000 + 1000) << "pause " << i;
    }
    EXPECT_GE(reg.readsNs.back() - reg.readsNs.front(), 300000u);
    EXPECT_LE(reg.readsNs.back() - reg.readsNs.front(), 400000u);

    FakeRegister ready;
    ready.value = 0x05;
    tStatus fine;
    atut::waitUntil(kWait, [&](tStatus& s) { return ready.read(s); }, atut::anyBitSet(0x04), fine);
    EXPECT_EQ(fine.code, 0);
    EXPECT_EQ(ready.readsNs.size(), 1u);
}

TEST_F(Poller, SleepingPauseOnTheEfficientBaseWaitsWholeTicks) {
    sim::clock().recordSleeps(true);
    alignToTick();
    FakeRegister reg;
    tStatus status;
    // The IO port 2 settings: {1, 1}, 500 ms.
    const auto wait = atut::Wait<SleepEfficient>().pausesUs(1, 1).deadlineUs(500000).timeoutStatus(kTimeoutCode);
    sim::clock().scheduleIn(20000, [&] { reg.value = 1; });
    const uint64_t t0 = sim::clock().nowNs();
    atut::waitUntil(wait, readOf(reg), atut::maskedEquals(0x81, 1), status);
    EXPECT_EQ(status.code, 0);
    const uint64_t took = sim::clock().nowNs() - t0;
    EXPECT_GE(took, 20000000u);
    EXPECT_LE(took, 22000000u) << "seen within a pause of the change";
    for (uint32_t sleep : sim::clock().sleeps()) EXPECT_TRUE(sleep == 1000 || sleep == 0) << sleep;
}

TEST_F(Poller, ValueBecomingTrueExactlyAtTheDeadlineIsSeen) {
    for (const uint64_t lateUs : {0, 1}) {
        sim::clock().reset();
        sim::clock().setReadStepNs(1000);
        sim::clock().advanceNs(1000 - sim::clock().nowNs() % 1000);
        const uint64_t t0Us = sim::clock().nowUs();
        FakeRegister reg;
        tStatus status;
        // The start reading is t0 + 1 us and the deadline 1000 us + 1 ns after it: the first
        // reading at or past it is t0 + 1002 us, the expiry test just before the last read.
        sim::clock().schedule(t0Us + 1002 + lateUs, [&] { reg.value = 1; });
        const auto wait = atut::Wait<SpinPrecise>().pausesUs(0, 0).deadlineUs(1000).timeoutStatus(kTimeoutCode);
        atut::waitUntil(wait, readOf(reg), atut::maskedEquals(1, 1), status);
        EXPECT_EQ(status.code, lateUs == 0 ? 0 : kTimeoutCode) << "change " << lateUs << " us after the deadline";
    }
}

TEST_F(Poller, DeadlineSaturatesInsteadOfWrapping) {
    FakeRegister reg;
    sim::clock().scheduleIn(5000, [&] { reg.value = 1; });
    tStatus status;
    const auto efficient =
        atut::Wait<SpinEfficient>().pausesUs(10, 100).deadlineUs(UINT64_MAX).timeoutStatus(kTimeoutCode);
    atut::waitUntil(efficient, readOf(reg), atut::maskedEquals(1, 1), status);
    EXPECT_EQ(status.code, 0) << "a wrapped deadline would have expired after one tick";

    FakeRegister other;
    sim::clock().scheduleIn(5000, [&] { other.value = 1; });
    const auto precise =
        atut::Wait<SpinPrecise>().pausesUs(10, 100).deadlineUs(UINT64_MAX / 10).timeoutStatus(kTimeoutCode);
    atut::waitUntil(precise, readOf(other), atut::maskedEquals(1, 1), status);
    EXPECT_EQ(status.code, 0) << "the conversion to nanoseconds saturates too";
}

TEST_F(Poller, TimeoutGoesToTheHandlerWhenSet) {
    FakeRegister reg;
    RecordingHandler handler;
    tStatus status;
    const auto wait = atut::Wait<SpinPrecise>().pausesUs(1, 8).deadlineUs(50).timeoutStatus(kTimeoutCode);
    atut::waitUntil(wait, readOf(reg), atut::maskedEquals(1, 1), &handler, status);
    EXPECT_EQ(handler.calls, 1);
    EXPECT_EQ(status.code, 0) << "the poller records nothing itself";

    handler.reportAs = KZ_DEVICE_CODE(0xBFFA4694);
    atut::waitUntil(wait, readOf(reg), atut::maskedEquals(1, 1), &handler, status);
    EXPECT_EQ(status.code, KZ_DEVICE_CODE(0xBFFA4694));
}

TEST_F(Poller, TimeoutReplacesAWarningAndKeepsAnEarlierError) {
    FakeRegister reg;
    const auto wait = atut::Wait<SpinPrecise>().pausesUs(1, 8).deadlineUs(20).timeoutStatus(kTimeoutCode);
    tStatus warning;
    warning.code = 5;
    atut::waitUntil(wait, readOf(reg), atut::maskedEquals(1, 1), warning);
    EXPECT_EQ(warning.code, kTimeoutCode);

    tStatus error;
    error.code = -52006;
    atut::waitUntil(wait, readOf(reg), atut::maskedEquals(1, 1), error);
    EXPECT_EQ(error.code, -52006);
    const size_t readsBefore = reg.readsNs.size();
    atut::waitUntil(wait, readOf(reg), atut::maskedEquals(1, 1), error);
    EXPECT_EQ(reg.readsNs.size(), readsBefore) << "an error on entry: not a single read";
}

TEST_F(Poller, UnknownConditionAndFailingGetterEndTheLoop) {
    FakeRegister reg;
    const auto wait = atut::Wait<SleepPrecise>().pausesUs(10, 100).withoutDeadline().timeoutStatus(kTimeoutCode);
    tStatus status;
    // No deadline: only the error ends these polls.
    atut::waitUntil(wait, readOf(reg), atut::PollUntil{4, 1, 1}, status);
    EXPECT_EQ(status.code, -52005);
    EXPECT_EQ(reg.readsNs.size(), 1u);

    FakeRegister failing;
    failing.failWith = -52008;
    tStatus getterStatus;
    atut::waitUntil(wait, readOf(failing), atut::maskedEquals(1, 1), getterStatus);
    EXPECT_EQ(getterStatus.code, -52008) << "the getter's error stays";
    EXPECT_EQ(failing.readsNs.size(), 1u);
}

TEST_F(Poller, NarrowGettersAreWidened) {
    FakeRegister reg;
    reg.value = 0x10001;
    tStatus status;
    const auto wait = atut::Wait<SpinPrecise>().pausesUs(1, 10).deadlineUs(10).timeoutStatus(kTimeoutCode);
    atut::waitUntil(wait, [&](tStatus& s) { return reg.read16(s); }, atut::maskedEquals(0xFFFFFFFF, 1), status);
    EXPECT_EQ(status.code, 0) << "the 16-bit value 1, not 0x10001";
    const FakeRegister& flag = reg;
    atut::waitUntil(wait, [&](tStatus& s) { return flag.readFlag(s); }, atut::maskedEquals(0xFFFFFFFF, 1), status);
    EXPECT_EQ(status.code, 0);
}

namespace {

struct AtomicCount {
    uint32_t value = 3;
    uint32_t getValue() const { return value; }
};

}  // namespace

TEST_F(Poller, AWaitWithoutDeadlineEndsOnlyOnItsValue) {
    AtomicCount references;
    // Released ten seconds later: no time-out ends the wait before that.
    sim::clock().scheduleIn(10000000, [&] { references.value = 1; });
    tStatus status;
    const auto wait =
        atut::Wait<SleepPrecise>().pausesUs(1000, 10000).withoutDeadline().timeoutStatus(KZ_DEVICE_CODE(0xBFFA4305));
    const uint64_t t0 = sim::clock().nowUs();
    atut::waitUntil(wait, [&](tStatus&) { return references.getValue(); }, atut::maskedEquals(0xFFFFFFFF, 1), status);
    EXPECT_EQ(status.code, 0);
    EXPECT_GE(sim::clock().nowUs() - t0, 10000000u);
    EXPECT_LE(sim::clock().nowUs() - t0, 10011000u);
}

TEST(SafeCast, NarrowsOrRecordsValueConflict) {
    struct Case {
        uint64_t value;
        uint32_t expected;
        int64_t code;
    };
    const Case cases[] = {
        {0, 0, 0}, {0xFFFFFFFF, 0xFFFFFFFF, 0}, {0x100000000, 0, -52003}, {UINT64_MAX, 0, -52003},
    };
    for (const Case& c : cases) {
        tStatus status;
        EXPECT_EQ(atut::safeCast(c.value, status), c.expected);
        EXPECT_EQ(status.code, c.code);
    }
    tStatus failed;
    failed.code = -52000;
    EXPECT_EQ(atut::safeCast(7, failed), 0u) << "skipped after an error";
    EXPECT_EQ(failed.code, -52000);
}
