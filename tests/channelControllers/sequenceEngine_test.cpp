// The sequence engine controller against the board's sequence engines and sequencers: starts
// waiting for the queued commands, resets through the reset subroutine, the fault check of
// isRunning, refusals, and the construction's failure paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <thread>

#include "controllers/sequenceEngineController.h"
#include "kal/sim/clock.h"
#include "kal/sim/faults.h"
#include "sequencedChannels.h"

namespace {

using kzvorn_driver::SequenceEngineController;
using nKZAPALS100::tStatus;
using tWrites = std::vector<std::pair<uint32_t, uint32_t>>;

constexpr int64_t kRunning = KZ_DEVICE_CODE(0xBFFA4315);
constexpr int64_t kTimeout = KZ_DEVICE_CODE(0xBFFA4317);
constexpr int64_t kCountTooLarge = KZ_DEVICE_CODE(0xBFFA4326);
constexpr int64_t kNotFound = KZ_DEVICE_CODE(0xBFFA4309);
constexpr uint32_t kStartFirst = 1u << 25;
constexpr uint32_t kStartSecond = 1u << 8;
constexpr uint32_t kResetComplete = 1u << 24;

struct SequenceEngines : channeltest::SequencedChannels {
    std::unique_ptr<SequenceEngineController> make(unsigned c) {
        return std::make_unique<SequenceEngineController>(map(c), checker, *dispatchers[c], st);
    }
    board::SequenceEnginesModel::Engine& engine(unsigned c) { return fpga().sequenceEngines().engine(c); }
    size_t count(const std::vector<uint32_t>& offsets, uint32_t offset) {
        return size_t(std::count(offsets.begin(), offsets.end(), offset));
    }
};

TEST_F(SequenceEngines, StartsWaitForTheQueuedCommandsAndRefuseWithoutWriting) {
    struct Case {
        uint32_t queued;
        bool running;
        uint32_t count;
        int64_t code;
        bool fifoRead;
    };
    const Case cases[] = {
        {512, false, 512, 0, true},
        {600, false, 513, kCountTooLarge, false},
        {0, false, 0, 0, false},
        {9, false, 10, kTimeout, true},
        {100, true, 1, kRunning, false},
    };
    for (const Case& c : cases) {
        const unsigned ch = 1;
        engine(ch) = board::SequenceEnginesModel::Engine{};
        engine(ch).queued = c.queued;
        engine(ch).running = c.running;
        checker.runs = 0;
        auto controller = make(ch);
        clearLogs();
        const uint64_t from = kal::sim::clock().nowUs();
        tStatus status;
        controller->start(c.count, status);
        EXPECT_EQ(status.code, c.code) << c.count;
        const bool started = c.code == 0;
        EXPECT_EQ(writesOf(ch), started ? (tWrites{{0x00, kStartFirst}, {0x00, kStartSecond}}) : tWrites{}) << c.count;
        EXPECT_EQ(engine(ch).running, started || c.running) << c.count;
        EXPECT_EQ(count(readsOf(ch), 0x03) != 0, c.fifoRead) << c.count;
        EXPECT_EQ(count(readsOf(ch), 0x00), 2u) << c.count;
        if (c.code == kTimeout) {
            EXPECT_GE(kal::sim::clock().nowUs() - from, 10000u);
            EXPECT_EQ(checker.runs, 1);
        } else {
            EXPECT_EQ(checker.runs, 0);
        }
    }
    EXPECT_TRUE(writesOf(0).empty() && writesOf(2).empty() && writesOf(3).empty());
}

TEST_F(SequenceEngines, ResetCompletesOnlyAfterTheSequencerWentIdle) {
    {
        std::lock_guard<board::BoardLock> guard(fpga().boardLock());
        link().sequencers().options().durationUs[draviktools::kSubroutineSequenceEngineReset] = 50;
    }
    auto controller = make(2);
    engine(2).running = true;
    const uint64_t from = kal::sim::clock().nowUs();
    controller->reset(st);
    EXPECT_EQ(st.code, 0);
    EXPECT_GE(kal::sim::clock().nowUs() - from, 50u);
    EXPECT_EQ(ranOn(2), (std::vector<uint32_t>{draviktools::kSubroutineSequenceEngineReset}));
    EXPECT_FALSE(engine(2).running);
    EXPECT_EQ(engine(2).resetCompletions, 1u);
    EXPECT_EQ(engine(2).completionsWhileRunning, 0u);
    // The status read just before the completion showed the sequencer idle.
    const std::vector<board::PortAccess> log = link().log();
    const auto completion = std::find_if(log.begin(), log.end(), [&](const board::PortAccess& a) {
        return a.write && a.address == word(2, 0x00) && a.value == kResetComplete;
    });
    ASSERT_NE(completion, log.end());
    const auto lastStatus = std::find_if(std::make_reverse_iterator(completion), log.rend(), [&](const board::PortAccess& a) {
        return !a.write && a.address == word(2, 0x00);
    });
    ASSERT_NE(lastStatus, log.rend());
    EXPECT_EQ(lastStatus->value & 1u, 0u);
    EXPECT_TRUE(writesOf(1).empty() && writesOf(3).empty());
}

TEST_F(SequenceEngines, CleanupDoesWhatResetDoes) {
    auto resetting = make(1);
    auto cleaning = make(3);
    resetting->reset(st);
    cleaning->getCleanupOperation()->cleanup(st);
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(writesOf(1), writesOf(3));
    EXPECT_EQ(ranOn(1), ranOn(3));
    EXPECT_EQ(engine(3).resetCompletions, 1u);
}

TEST_F(SequenceEngines, AResetThatStaysBusyOrCannotRunNeverCompletes) {
    {
        std::lock_guard<board::BoardLock> guard(fpga().boardLock());
        link().sequencers().options().channels[0].busyStuck = true;
    }
    auto stuck = make(0);
    tStatus status;
    stuck->reset(status);
    EXPECT_EQ(status.code, kTimeout);
    EXPECT_EQ(checker.runs, 1);
    EXPECT_EQ(engine(0).resetCompletions, 0u);

    // A package without the reset subroutine: nothing reaches the channel.
    tStatus made;
    auto registrar = channeltest::systemRegistrar(draviktools::kSubroutineSequenceEngineReset, made);
    kzvorn_driver::SubroutineDispatcher dispatcher(registrar, *generators[1], checker, map(1), made);
    SequenceEngineController withoutReset(map(1), checker, dispatcher, made);
    ASSERT_EQ(made.code, 0);
    clearLogs();
    tStatus missing;
    withoutReset.reset(missing);
    EXPECT_EQ(missing.code, kNotFound);
    EXPECT_TRUE(link().log().empty());
}

TEST_F(SequenceEngines, AChannelFaultIsCheckedBeforeTheAnswer) {
    auto controller = make(2);
    engine(2).fault = true;
    engine(2).running = true;
    EXPECT_TRUE(controller->isRunning(st));
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(checker.runs, 1);
    EXPECT_EQ(readsOf(2), (std::vector<uint32_t>{0x00, 0x00}));

    checker.finds = -77;
    tStatus found;
    controller->start(0, found);
    EXPECT_EQ(found.code, -77);
    EXPECT_TRUE(writesOf(2).empty());
    engine(2).fault = false;
    engine(2).running = false;
    EXPECT_FALSE(controller->isRunning(st));
}

TEST_F(SequenceEngines, AStartAndACleanupOnTwoThreadsNeverInterleave) {
    auto controller = make(0);
    std::thread starting([&] {
        for (int i = 0; i < 20; ++i) {
            tStatus status;
            controller->start(0, status);
            EXPECT_TRUE(status.code == 0 || status.code == kRunning) << status.code;
        }
    });
    std::thread closing([&] {
        for (int i = 0; i < 20; ++i) {
            tStatus status;
            controller->cleanup(status);
            EXPECT_EQ(status.code, 0);
        }
    });
    starting.join();
    closing.join();
    // A start's two status reads and two strobes, and a reset's last status read and its
    // completion, follow each other on the channel's port.
    std::vector<board::PortAccess> log;
    for (const board::PortAccess& a : link().log())
        if (a.address >= word(0, 0) && a.address < word(0, 0x200)) log.push_back(a);
    size_t starts = 0;
    for (size_t i = 0; i < log.size(); ++i) {
        if (!log[i].write || log[i].address != word(0, 0x00)) continue;
        if (log[i].value == kStartFirst) {
            ++starts;
            ASSERT_TRUE(i >= 2 && i + 1 < log.size()) << i;
            EXPECT_TRUE(!log[i - 2].write && !log[i - 1].write && log[i - 1].address == word(0, 0x00)) << i;
            EXPECT_EQ(log[i + 1].value, kStartSecond) << i;
        } else if (log[i].value == kResetComplete) {
            ASSERT_GE(i, 1u);
            EXPECT_TRUE(!log[i - 1].write && log[i - 1].address == word(0, 0x00) && (log[i - 1].value & 1) == 0) << i;
        }
    }
    EXPECT_EQ(engine(0).starts, starts);
    EXPECT_GE(starts, 1u);
    EXPECT_EQ(engine(0).resetCompletions, 20u);
    EXPECT_EQ(engine(0).completionsWhileRunning, 0u);
}

TEST_F(SequenceEngines, AnIncomingErrorDoesNothing) {
    auto controller = make(0);
    engine(0).running = true;
    tStatus status;
    KZ_SET_CODE(status, -9);
    EXPECT_FALSE(controller->isRunning(status));
    controller->start(0, status);
    controller->reset(status);
    controller->cleanup(status);
    EXPECT_EQ(status.code, -9);
    EXPECT_TRUE(link().log().empty());
    EXPECT_TRUE(ranOn(0).empty());
}

TEST_F(SequenceEngines, ARefusedAllocationOrMutexLeavesNothingAndTouchesNoRegister) {
    sweepConstruction([&](tStatus& status) {
        auto controller = kzhtl::makeShared<SequenceEngineController>(map(0), checker, *dispatchers[0], status);
        EXPECT_EQ(controller.get() == nullptr, status.isFatal());
    });
}

}  // namespace
