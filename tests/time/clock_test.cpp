#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "kal/sim/clock.h"
#include "kal/sim/faults.h"
#include "kzkal/time.h"

namespace sim = kal::sim;

class VirtualClock : public ::testing::Test {
protected:
    void SetUp() override { sim::clock().reset(); }
    void TearDown() override { sim::clock().reset(); }
};

TEST_F(VirtualClock, ReadsStepAndSleepsAdvance) {
    const uint64_t t0 = sim::clock().nowNs();
    EXPECT_EQ(sim::clock().nowNs(), t0) << "looking at the clock does not move it";
    const uint64_t first = nKZKAL1_getMonotonicCounter();
    const uint64_t second = nKZKAL1_getMonotonicCounter();
    EXPECT_EQ(first, t0 + kal::sim::Clock::kDefaultReadStepNs);
    EXPECT_EQ(second, first + kal::sim::Clock::kDefaultReadStepNs);

    nKZKAL250_sleepTimeout(2000);
    EXPECT_EQ(sim::clock().nowNs(), second + 2000000);
    nKZKAL250_sleepTimeout(0);
    EXPECT_EQ(sim::clock().nowNs(), second + 2000000 + kal::sim::Clock::kDefaultYieldStepNs);

    EXPECT_EQ(nKZKAL100_getTimerInterval(), 1000u);
    const uint64_t ticks = nKZKAL110_getTimerCount();
    EXPECT_EQ(ticks, sim::clock().nowNs() / 1000000);
}

TEST_F(VirtualClock, EventsRunInTimeOrderAtTheirTime) {
    const uint64_t base = sim::clock().nowUs();
    std::vector<std::pair<int, uint64_t>> ran;
    sim::clock().schedule(base + 300, [&] { ran.push_back({3, sim::clock().nowUs()}); });
    sim::clock().schedule(base + 100, [&] {
        ran.push_back({1, sim::clock().nowUs()});
        // An event may schedule another one, which runs in its turn.
        sim::clock().schedule(base + 200, [&] { ran.push_back({2, sim::clock().nowUs()}); });
    });
    const uint64_t cancelled = sim::clock().schedule(base + 150, [&] { ran.push_back({99, 0}); });
    EXPECT_TRUE(sim::clock().cancel(cancelled));
    EXPECT_FALSE(sim::clock().cancel(cancelled));

    nKZKAL250_sleepTimeout(250);
    ASSERT_EQ(ran.size(), 2u);
    EXPECT_EQ(ran[0], std::make_pair(1, base + 100));
    EXPECT_EQ(ran[1], std::make_pair(2, base + 200));
    EXPECT_EQ(sim::clock().pendingEvents(), 1u);
    // A spinning reader reaches the last one too.
    while (ran.size() < 3) nKZKAL1_getMonotonicCounter();
    EXPECT_EQ(ran[2], std::make_pair(3, base + 300));
}

TEST_F(VirtualClock, RealTimeContinuesWithoutGoingBack) {
    sim::clock().advanceUs(5000000);
    const uint64_t virtualNow = sim::clock().nowNs();
    {
        kal::sim::ScopedRealTime real;
        const uint64_t a = nKZKAL1_getMonotonicCounter();
        EXPECT_GE(a, virtualNow);
        nKZKAL250_sleepTimeout(2000);
        const uint64_t b = nKZKAL1_getMonotonicCounter();
        EXPECT_GE(b - a, 2000000u) << "a real sleep really sleeps";
        bool ran = false;
        sim::clock().scheduleIn(1000, [&] { ran = true; });
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        nKZKAL1_getMonotonicCounter();
        EXPECT_TRUE(ran) << "due events run at the next read";
    }
    EXPECT_FALSE(sim::clock().isRealTime());
    const uint64_t afterSwitch = sim::clock().nowNs();
    EXPECT_GE(afterSwitch, virtualNow + 2000000);
    nKZKAL250_sleepTimeout(1000000);
    EXPECT_EQ(sim::clock().nowNs(), afterSwitch + 1000000000) << "virtual again: a second passes at once";
}

TEST_F(VirtualClock, SleepRecord) {
    sim::clock().recordSleeps(true);
    nKZKAL250_sleepTimeout(3000);
    nKZKAL250_sleepTimeout(0);
    EXPECT_EQ(sim::clock().sleeps(), (std::vector<uint32_t>{3000, 0}));
}

TEST_F(VirtualClock, KeepsOutOfTheDriversAllocator) {
    int ran = 0;
    kal::sim::FailAllocations fail(1, true);
    sim::clock().recordSleeps(true);
    sim::clock().scheduleIn(10, [&] { ++ran; });
    nKZKAL250_sleepTimeout(1000);
    EXPECT_EQ(ran, 1);
    EXPECT_FALSE(fail.triggered()) << "events and the sleep record may be used inside driver calls";
}
