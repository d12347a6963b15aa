// Setup levels 18 to 22 through the reset request, with levels 16 and 17 standing in: what each
// level sends over the isolation link, where a reset's target stops, and how each board fault, a
// replacement package, the caller's list of disabled errors or a refused copy of it stops them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "board/isolatedSequencers.h"
#include "dravikTools/systemSubroutineIds.h"
#include "isolatedLevels/isolatedSide.h"
#include "kal/sim/faults.h"

namespace {

using namespace tolvanetest;
using isolatedtest::channelWord;
using board::PortAccess;

using Sequencers = board::IsolatedSequencers;
constexpr uint32_t kChannelBlocks = Sequencers::kChannelBlocks;
constexpr uint32_t kChannelBlockWords = Sequencers::kChannelBlockWords;
// A channel's configuration word (its status when read) and the isolated board's.
constexpr uint32_t kChannelConfig = Sequencers::kChannelStatus;
constexpr uint32_t kIsoConfig = Sequencers::kFpgaStatus;
constexpr uint32_t kChannelErrorMux = 0x20;
constexpr uint32_t kDataRamAddress = 0x170;
constexpr uint32_t kInterruptMux = Sequencers::kInterruptMux;
constexpr uint32_t kRaise = Sequencers::kRaise;
constexpr uint32_t kLineConfig = Sequencers::kLineConfig;
constexpr uint32_t kLineAddress = Sequencers::kLineAddress;
constexpr uint32_t kLineFourRaised = 1u << 20;

constexpr int64_t code(uint32_t hex) { return int64_t(int32_t(hex)); }

// The channel of a channel block's word; 4 for the isolated board's words.
unsigned channelOf(const PortAccess& a) {
    return a.address >= kChannelBlocks ? (a.address - kChannelBlocks) / kChannelBlockWords : 4;
}
uint32_t offsetOf(const PortAccess& a) { return (a.address - kChannelBlocks) % kChannelBlockWords; }
bool isChannelWord(const PortAccess& a, uint32_t offset) { return channelOf(a) < 4 && offsetOf(a) == offset; }

using Writes = std::vector<std::pair<uint32_t, uint32_t>>;

uint32_t startAddressOf(draviktools::SubroutineId id) {
    const stowly::SubroutinePackageData package = stowly::builtInSubroutinePackage();
    const auto at = std::find(package.ids.begin(), package.ids.end(), id);
    EXPECT_NE(at, package.ids.end()) << std::hex << id;
    return at == package.ids.end() ? 0 : package.startAddresses[at - package.ids.begin()];
}

class LateLevels : public isolatedtest::IsolatedSide, public BringUpObserver {
protected:
    LateLevels() {
        plan_.fakeLevels(16, 17, BringUpPlan::kSucceed);
        plan_.observer = this;
    }

    // Where the link's log stood when each step of the latest bring-up began.
    void onBringUpStep(BringUpStep step) override {
        if (step == kStepRegistries) marks_.clear();
        marks_[step] = link().logSize();
    }
    // The accesses of one step of the latest bring-up (none when it did not run).
    std::vector<PortAccess> during(BringUpStep step) {
        const std::vector<PortAccess> all = link().log();
        const auto at = marks_.find(step);
        if (at == marks_.end()) return {};
        const auto next = marks_.upper_bound(step);
        const size_t end = next != marks_.end() ? next->second : all.size();
        return std::vector<PortAccess>(all.begin() + at->second, all.begin() + end);
    }
    static Writes writesOf(const std::vector<PortAccess>& accesses, std::vector<uint32_t> offsets) {
        Writes out;
        for (const PortAccess& a : accesses)
            if (a.write && channelOf(a) < 4 && std::count(offsets.begin(), offsets.end(), offsetOf(a)))
                out.emplace_back(a.address, a.value);
        return out;
    }
    std::vector<board::SequencerRun> runs() { return link().sequencers().runs(); }

    std::map<BringUpStep, size_t> marks_;
};

// A full bring-up: level 18 gives every channel, in order, the vectors of lines 0 and 1 without
// raising them; level 19 raises line 4 of channels 0 to 3 before it waits on any; level 20 writes
// the data RAM regions of channels 1 to 3 (channel 0's 0 is the untouched shadow); level 21
// enables the isolated board's and every channel's error manager; level 22 runs the final
// subroutine on channel 0, and the bring-up ends with status 0.
TEST_F(LateLevels, AFullBringUpProgramsRunsAndEnablesInOrder) {
    ASSERT_EQ(add(), 0);
    EXPECT_EQ(tracker().reached, 22);
    EXPECT_EQ(tracker().status.code, 0);

    const uint32_t line0 = startAddressOf(draviktools::kSubroutineLevel18Line0);
    const uint32_t line1 = startAddressOf(draviktools::kSubroutineLevel18Line1);
    Writes vectors;
    for (unsigned c = 0; c < 4; ++c) {
        vectors.emplace_back(channelWord(c, kLineAddress), line0);
        vectors.emplace_back(channelWord(c, kLineConfig), 0x70);
        vectors.emplace_back(channelWord(c, kLineAddress), line1);
        vectors.emplace_back(channelWord(c, kLineConfig), 0x61);
    }
    const std::vector<PortAccess> level18 = during(kStepInterruptVector);
    EXPECT_EQ(writesOf(level18, {kLineAddress, kLineConfig}), vectors);
    EXPECT_TRUE(writesOf(level18, {kRaise}).empty()) << "lines 0 and 1 are not raised";

    const std::vector<PortAccess> level19 = during(kStepChannelStartSubroutine);
    Writes raises;
    for (unsigned c = 0; c < 4; ++c) raises.emplace_back(channelWord(c, kRaise), kLineFourRaised);
    EXPECT_EQ(writesOf(level19, {kRaise}), raises);
    const auto lastRaise = std::find_if(level19.rbegin(), level19.rend(),
                                        [](const PortAccess& a) { return a.write && isChannelWord(a, kRaise); });
    const auto firstWait = std::find_if(level19.begin(), level19.end(), [](const PortAccess& a) {
        return !a.write && (isChannelWord(a, kInterruptMux) || isChannelWord(a, kChannelConfig));
    });
    ASSERT_NE(firstWait, level19.end());
    EXPECT_LT(lastRaise.base() - level19.begin(), firstWait - level19.begin()) << "every start before the first wait";

    EXPECT_EQ(writesOf(during(kStepSequencerDataRam), {kDataRamAddress}),
              (Writes{{channelWord(1, kDataRamAddress), 0x2000},
                      {channelWord(2, kDataRamAddress), 0x4000},
                      {channelWord(3, kDataRamAddress), 0x6000}}));

    // Count 0: no mux is touched, the managers are still enabled.
    const std::vector<PortAccess> level21 = during(kStepIsoDisabledErrors);
    EXPECT_TRUE(writesOf(level21, {kChannelErrorMux}).empty());
    for (unsigned c = 0; c < 4; ++c)
        EXPECT_TRUE(std::any_of(level21.begin(), level21.end(),
                                [&](const PortAccess& a) {
                                    return a.write && a.address == channelWord(c, kChannelConfig) && (a.value & 1);
                                }))
            << c;
    EXPECT_TRUE(std::any_of(level21.begin(), level21.end(),
                            [](const PortAccess& a) { return a.write && a.address == kIsoConfig && (a.value & 1); }));

    // The last five runs: level 19's four, then level 22's, all on line 4.
    const std::vector<board::SequencerRun> all = runs();
    ASSERT_GE(all.size(), 5u);
    std::vector<std::pair<unsigned, uint32_t>> last;
    for (auto r = all.end() - 5; r != all.end(); ++r) {
        EXPECT_EQ(r->line, 4u);
        last.emplace_back(r->channel, r->id.value_or(0));
    }
    EXPECT_EQ(last, (std::vector<std::pair<unsigned, uint32_t>>{{0, draviktools::kSubroutineLevel19[0]},
                                                                {1, draviktools::kSubroutineLevel19[1]},
                                                                {2, draviktools::kSubroutineLevel19[2]},
                                                                {3, draviktools::kSubroutineLevel19[3]},
                                                                {0, draviktools::kSubroutineLevel22}}));
}

// A reset's target from 18 to 21 stops there with -52010; 22 ends with success and no -52010.
TEST_F(LateLevels, EachTargetStopsAtItsLevel) {
    ASSERT_EQ(add(), 0);
    for (unsigned target = 18; target <= 21; ++target) {
        const std::string n = std::to_string(target);
        EXPECT_EQ(run("reset " + n + "\nlevel\n"), "reset " + n + ": status: -52010\nlevel: " + n + ", status: 0\n");
    }
    EXPECT_EQ(run("reset 22\nlevel\n"), "reset 22: status: 0\nlevel: 22, status: 0\n");
}

// Level 21 with {0x905 on channel 1}: channel 1's error mux disables the input before any error
// manager is enabled.
TEST_F(LateLevels, TheCallersListDisablesChannelErrorsBeforeTheManagersAreEnabled) {
    ASSERT_EQ(add(), 0);
    EXPECT_EQ(run("reset 22 errors=0x20905\nlevel\n"), "reset 22: status: 0\nlevel: 22, status: 0\n");
    const std::vector<PortAccess> level21 = during(kStepIsoDisabledErrors);
    const auto disabled = std::find_if(level21.begin(), level21.end(), [](const PortAccess& a) {
        return a.write && a.address == channelWord(1, kChannelErrorMux);
    });
    ASSERT_NE(disabled, level21.end());
    EXPECT_EQ(disabled->address, 0x1220u);
    EXPECT_EQ(disabled->value, 0x20050000u);
    EXPECT_EQ(writesOf(level21, {kChannelErrorMux}), (Writes{{0x1220, 0x20050000}})) << "no other channel's";
    const auto firstEnable = std::find_if(level21.begin(), level21.end(), [](const PortAccess& a) {
        return a.write && (a.address == kIsoConfig || isChannelWord(a, kChannelConfig)) && (a.value & 1);
    });
    ASSERT_NE(firstEnable, level21.end());
    EXPECT_LT(disabled - level21.begin(), firstEnable - level21.begin());
}

// A board fault or a replacement package stops one of the levels with its code; the reset that
// follows on the mended board reaches 22.
TEST_F(LateLevels, EachFaultStopsItsLevelAndTheMendedBoardReachesTwentyTwo) {
    ASSERT_EQ(add(), 0);
    auto& sequencers = link().sequencers();
    struct Case {
        const char* name;
        std::function<std::string()> reset;
        std::function<void()> mend;
        uint32_t status;
        unsigned reached;
    };
    const auto withBoard = [&](std::function<void()> knob) {
        return [this, knob] {
            {
                std::lock_guard<board::BoardLock> guard(board_.lock());
                knob();
            }
            return run("reset 22\n");
        };
    };
    const Case cases[] = {
        {"channel 1's start subroutine never finishes",
         withBoard([&] { sequencers.options().durationUs[draviktools::kSubroutineLevel19[1]] = 2000000; }),
         [&] { sequencers.options().durationUs.clear(); }, 0xBFFA469A, 18},
        {"the final subroutine never finishes",
         withBoard([&] { sequencers.options().durationUs[draviktools::kSubroutineLevel22] = 2000000; }),
         [&] { sequencers.options().durationUs.clear(); }, 0xBFFA468C, 21},
        {"channel 1's error manager never idle",
         withBoard([&] { blocks_.nonIsolatedFpga.setStuckError(1, 0x905); }),
         [&] { blocks_.nonIsolatedFpga.setStuckError(1, 0); }, 0xBFFA4688, 20},
        {"a package without line 1's subroutine",
         [&] { return resetWithoutSubroutine(22, draviktools::kSubroutineLevel18Line1); }, [] {}, 0xBFFA4309,
         17},
        {"a package without the final subroutine",
         [&] { return resetWithoutSubroutine(22, draviktools::kSubroutineLevel22); }, [] {}, 0xBFFA4309, 21},
    };
    for (const Case& c : cases) {
        char printed[64];
        std::snprintf(printed, sizeof printed, "reset 22: status: 0x%X\n", c.status);
        EXPECT_EQ(c.reset(), printed) << c.name;
        EXPECT_EQ(tracker().status.code, code(c.status)) << c.name;
        EXPECT_EQ(tracker().reached, c.reached) << c.name;
        if (c.status == 0xBFFA469A) {
            // The waits of channels 2 and 3 never began: after the raises nothing selects their
            // lines.
            const std::vector<PortAccess> level19 = during(kStepChannelStartSubroutine);
            const auto lastRaise = std::find_if(level19.rbegin(), level19.rend(), [](const PortAccess& a) {
                return a.write && isChannelWord(a, kRaise);
            });
            for (auto a = lastRaise.base(); a != level19.end(); ++a)
                EXPECT_FALSE(isChannelWord(*a, kInterruptMux) && channelOf(*a) >= 2) << c.name;
        }
        if (c.reached == 17) {
            EXPECT_EQ(writesOf(during(kStepInterruptVector), {kLineAddress, kLineConfig}),
                      (Writes{{channelWord(0, kLineAddress), startAddressOf(draviktools::kSubroutineLevel18Line0)},
                              {channelWord(0, kLineConfig), 0x70}}))
                << "only channel 0's line 0";
        }
        {
            std::lock_guard<board::BoardLock> guard(board_.lock());
            c.mend();
        }
        EXPECT_EQ(run("reset 22\n"), "reset 22: status: 0\n") << c.name;
    }
}

// The copy of the list level 21 makes, the second after the disabled-error step's: refused, the
// level stops with the copy's code and nothing of level 21 reaches the isolated side.
TEST_F(LateLevels, ARefusedCopyOfTheListStopsLevelTwentyOneBeforeAnyWrite) {
    ASSERT_EQ(add(), 0);
    CallerRecord record({0x20905});
    uint64_t failures = 0;
    int64_t status = 0;
    {
        // The record's copy, then the disabled-error step's, then level 21's.
        kal::sim::FailKernelCall refuse("replicateInboundIOControlBuffer", 3);
        status = resetTo(22, &record);
        failures = refuse.failures();
    }
    EXPECT_EQ(failures, 1u);
    EXPECT_EQ(status, -52005);
    EXPECT_EQ(tracker().reached, 20);
    const std::vector<PortAccess> level21 = during(kStepIsoDisabledErrors);
    EXPECT_TRUE(std::none_of(level21.begin(), level21.end(), [](const PortAccess& a) { return a.write; }));
    EXPECT_EQ(resetTo(22, &record), 0);
}

// A list longer than 65,536 entries is refused by level 21 itself with -52000 before anything is
// allocated or read (the disabled-error step, which refuses it first, stands in here); the largest
// list still passes.
TEST_F(LateLevels, LevelTwentyOneRefusesALongListBeforeAllocatingOrReading) {
    plan_.fake(kStepDisabledErrors, BringUpPlan::kSucceed);
    ASSERT_EQ(add(), 0);
    std::vector<uint64_t> longest(65536, 0);
    longest.back() = 0x20905;
    for (const uint64_t count : {uint64_t{65537}, uint64_t{1} << 61, uint64_t{65536}}) {
        CallerRecord record({});
        // Unreadable past the largest list: a read of 65,537 entries would be refused with -52005.
        kal::sim::UserMemory list(longest.data(), longest.size() * 8);
        record.record.disabledErrors = reinterpret_cast<uint64_t>(longest.data());
        record.record.disabledErrorCount = count;
        kal::sim::markLargestAllocation();
        const int64_t status = resetTo(22, &record);
        EXPECT_LE(kal::sim::largestAllocationSinceMark(), 65536u * 8 + 64) << count;
        if (count > 65536) {
            EXPECT_EQ(status, -52000) << count;
            EXPECT_EQ(tracker().reached, 20) << count;
            const std::vector<PortAccess> level21 = during(kStepIsoDisabledErrors);
            EXPECT_TRUE(std::none_of(level21.begin(), level21.end(), [](const PortAccess& a) { return a.write; }))
                << count;
        } else {
            EXPECT_EQ(status, 0);
            EXPECT_EQ(writesOf(during(kStepIsoDisabledErrors), {kChannelErrorMux}), (Writes{{0x1220, 0x20050000}}));
        }
    }
}

}  // namespace
