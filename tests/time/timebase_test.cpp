#include <gtest/gtest.h>

#include <vector>

#include "kal/sim/clock.h"
#include "kzapal/quarks/time.h"
#include "kzkal/time.h"

namespace sim = kal::sim;
using namespace kzvorn_driver::nKZAPAL000;

class Timebase : public ::testing::Test {
protected:
    void SetUp() override { sim::clock().reset(); }
    void TearDown() override { sim::clock().reset(); }
};

TEST_F(Timebase, UnitConversionTruncatesAtEachStep) {
    struct Case {
        uint64_t value;
        tTimeUnit from, to;
        uint64_t expected;
    };
    const Case cases[] = {
        {1500000, kNanosecond, kMillisecond, 1},
        {90, kSecond, kMinute, 1},
        {2, kHour, kSecond, 7200},
        {1999999, kNanosecond, kMillisecond, 1},
        // 59,999 ms is 59 s (truncated) before it becomes 0 minutes.
        {59999, kMillisecond, kMinute, 0},
        {3, kMinute, kMicrosecond, 180000000},
        {7, kMicrosecond, kMicrosecond, 7},
        {1, kHour, kNanosecond, 3600000000000},
        // Down the scale the product saturates instead of wrapping.
        {UINT64_MAX / 1000 + 1, kMicrosecond, kNanosecond, UINT64_MAX},
        {UINT64_MAX, kHour, kNanosecond, UINT64_MAX},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(convertTime(c.value, c.from, c.to), c.expected) << c.value << " " << c.from << "->" << c.to;
    }
}

TEST_F(Timebase, BasesReadTheKernelCounters) {
    const uint64_t tickUs = tTimebaseEfficient::tick();
    EXPECT_EQ(tickUs, 1000u);
    EXPECT_EQ(tTimebasePrecise::tick(), 1u);
    const uint64_t efficient = tTimebaseEfficient::now();
    EXPECT_EQ(efficient % 1000, 0u) << "timer ticks times the interval";
    EXPECT_EQ(efficient / 1000, sim::clock().nowNs() / 1000000);
    const uint64_t precise = tTimebasePrecise::now();
    EXPECT_EQ(precise, sim::clock().nowNs());
}

TEST_F(Timebase, SleepingTimeoutSleepsWholeMillisecondsThenYields) {
    sim::clock().recordSleeps(true);
    tTimeout<tTimeWasterSleep, tTimebasePrecise> timeout(2500, kMicrosecond);
    const uint64_t t0 = sim::clock().nowNs();
    timeout.start();
    timeout.waitForTimeout();
    const std::vector<uint32_t> sleeps = sim::clock().sleeps();
    ASSERT_GE(sleeps.size(), 2u);
    EXPECT_EQ(sleeps[0], 2000u);
    for (size_t i = 1; i < sleeps.size(); ++i) EXPECT_EQ(sleeps[i], 0u) << "sleep " << i;
    const uint64_t waited = sim::clock().nowNs() - t0;
    EXPECT_GE(waited, 2500000u);
    EXPECT_LT(waited, 2500000u + kal::sim::Clock::kDefaultYieldStepNs + 1000);
    EXPECT_TRUE(timeout.isExpired());
}

TEST_F(Timebase, SpinningTimeoutNeverSleepsAndStopKeepsElapsedTime) {
    sim::clock().recordSleeps(true);
    tTimeout<tTimeWasterSpin, tTimebaseEfficient> timeout(3, kMillisecond);
    timeout.start();
    timeout.waitForTimeout();
    EXPECT_TRUE(sim::clock().sleeps().empty());
    EXPECT_GE(timeout.getElapsed(), 3u);

    tTimeout<tTimeWasterSpin, tTimebasePrecise> paused(10, kMillisecond);
    paused.start();
    sim::clock().advanceUs(4000);
    paused.stop();
    sim::clock().advanceUs(50000);
    EXPECT_EQ(paused.getElapsed(), 4u) << "time while stopped does not count";
    paused.start();
    const uint64_t t0 = sim::clock().nowNs();
    paused.waitForTimeout();
    EXPECT_GE(sim::clock().nowNs() - t0, 5900000u);
    EXPECT_LT(sim::clock().nowNs() - t0, 6100000u);
}

TEST_F(Timebase, AbsoluteTimeCountsFrom1904) {
    uint32_t seconds = 0;
    uint32_t microseconds = 0;
    nKZKAL100_getTimeOfDay(&seconds, &microseconds);
    const tAbsoluteTime now = getAbsoluteTime();
    EXPECT_EQ(now.seconds, int64_t{seconds} + 2082844800);
    // One read later the microseconds may have moved on by one.
    const uint64_t us = now.fraction / 18446744073709ull;
    EXPECT_GE(us, microseconds);
    EXPECT_LE(us, uint64_t{microseconds} + 1);
}
