// The channel sequencer's interrupt lines, the subroutine dispatcher and the channel services on
// it, against the board's sequencers behind four channels' isolated blocks.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

#include "controllers/channelControllers.h"
#include "controllers/interruptGeneratorController.h"
#include "controllers/statusCodes.h"
#include "controllers/subroutineDispatcher.h"
#include "device/statusCodes.h"
#include "dravikTools/statusCodes.h"
#include "kal/sim/clock.h"
#include "seq/countingChecker.h"
#include "kal/sim/faults.h"
#include "board/subroutineTag.h"
#include "seq/modelFrontEnd.h"

namespace {

using armtest::Access;
using armtest::R;
using armtest::W;
using kzvorn_driver::InterruptGeneratorController;
using kzvorn_driver::SubroutineDispatcher;
using kzvorn_regmaps::tTolvaneIsoChannelRegMap;
using nKZAPALS100::tStatus;
using board::SequencerRun;

constexpr int64_t kOutOfRange = kzvorn_driver::kStatusArgumentOutOfRange;
constexpr int64_t kTimedOut = kzvorn_driver::kStatusSubroutineTimedOut;
constexpr uint32_t kLevel13Address = 0x100;
constexpr uint32_t kUngangAddress = 0x200;
constexpr uint32_t kShutdownAddress = 0x300;

using Checker = seqtest::CountingChecker;

struct Sequencers : ::testing::Test {
    seqtest::ModelFrontEnd board;
    std::unique_ptr<tTolvaneIsoChannelRegMap> maps[4];
    std::unique_ptr<InterruptGeneratorController> generators[4];
    std::unique_ptr<SubroutineDispatcher> dispatchers[4];
    SubroutineDispatcher* dispatcherArray[4] = {};
    kzhtl::SharedPtr<draviktools::SubroutineRegistrarInterface> registrar;
    Checker checker;
    tStatus st;

    Sequencers() {
        kal::sim::clock().reset();
        const uint64_t words[1] = {};
        const draviktools::SubroutineId ids[] = {draviktools::kSubroutineLevel13, draviktools::kSubroutineUngang,
                                                 draviktools::kSubroutineShutdown};
        const uint32_t addresses[] = {kLevel13Address, kUngangAddress, kShutdownAddress};
        draviktools::SubroutinePackage package(words, 1, ids, addresses, 3, st);
        for (unsigned i = 0; i < 3; ++i) board.model.localRam()[addresses[i]] = board::kSubroutineTagPattern | ids[i];
        registrar.reset(draviktools::SubroutineRegistrarFactory().create(
                            package, int32_t(draviktools::kStatusSubroutineNotFound), st),
                        st);
        for (unsigned c = 0; c < 4; ++c) {
            maps[c] = std::make_unique<tTolvaneIsoChannelRegMap>(&board, seqtest::channelBase(c), 0, 512);
            generators[c] = std::make_unique<InterruptGeneratorController>(*maps[c], st);
            dispatchers[c] = std::make_unique<SubroutineDispatcher>(registrar, *generators[c], checker, *maps[c], st);
            dispatcherArray[c] = dispatchers[c].get();
        }
        EXPECT_EQ(st.code, 0);
    }
    ~Sequencers() override { kal::sim::clock().reset(); }

    bool untouched(unsigned channel) { return board.take(channel).empty(); }
};

TEST_F(Sequencers, ProgramLineWritesVectorLineAndCodeThenArmsTheMux) {
    struct Case {
        uint32_t line;
        uint32_t config;
    };
    // Lines beyond the table take line & 7 and code 1.
    for (const Case& c : {Case{4, 0x14}, Case{0, 0x70}, Case{1, 0x61}, Case{2, 0x42}, Case{6, 0x16}}) {
        for (int twice = 0; twice < 2; ++twice) {
            generators[1]->programLine(c.line, 0xABC, st);
            EXPECT_EQ(board.take(1), (std::vector<Access>{W(0x4A, 32, 0xABC), W(0x49, 32, c.config), W(0x2A, 32, 0x1000)}))
                << c.line;
        }
    }
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(board.model.channel(1).vectors[4], 0xABCu);
    EXPECT_TRUE(untouched(0) && untouched(2) && untouched(3));
}

TEST_F(Sequencers, FireLineRaisesOneLineOnEveryCall) {
    for (uint32_t line : {0u, 2u, 4u, 2u}) {
        generators[0]->fireLine(line, st);
        EXPECT_EQ(board.take(0), (std::vector<Access>{W(0x44, 32, 1u << (16 + line))}));
        EXPECT_EQ(maps[0]->SoftwareInterruptAndOverrideReg().getShadow() & 0x1F0000, 0u);
    }
    generators[0]->fireLine(5, st);
    EXPECT_EQ(board.take(0), (std::vector<Access>{W(0x44, 32, 0)}));
    generators[0]->fireLine(40, st);
    EXPECT_EQ(board.take(0), (std::vector<Access>{W(0x44, 32, 0)}));
    EXPECT_EQ(st.code, 0);
}

TEST_F(Sequencers, LatchQueriesSelectTheLinesMuxPosition) {
    board.model.options().channels[3].lineStuckLatched = 3;
    generators[3]->programLine(3, 0, st);
    generators[3]->fireLine(3, st);
    board.take(3);
    EXPECT_TRUE(generators[3]->isLineLatched(3, st));
    EXPECT_EQ(board.take(3), (std::vector<Access>{W(0x2A, 32, 0x30000), R(0x2A, 32, 0x34000)}));
    EXPECT_FALSE(generators[3]->isLineLatched(1, st));
    board.take(3);
    generators[3]->clearLineLatch(1, st);
    EXPECT_EQ(board.take(3), (std::vector<Access>{W(0x2A, 32, 0x10800)}));
    EXPECT_EQ(st.code, 0);

    for (uint32_t line : {5u, 8u, 0xFFFFFFFFu}) {
        tStatus latched;
        EXPECT_FALSE(generators[3]->isLineLatched(line, latched));
        EXPECT_EQ(latched.code, kOutOfRange);
        tStatus cleared;
        generators[3]->clearLineLatch(line, cleared);
        EXPECT_EQ(cleared.code, kOutOfRange);
    }
    EXPECT_TRUE(untouched(3));
}

TEST_F(Sequencers, NothingReachesTheChannelOnAnErrorOrOutsideTheWindow) {
    tStatus failed;
    KZ_SET_CODE(failed, -9);
    generators[0]->programLine(4, 1, failed);
    generators[0]->fireLine(4, failed);
    generators[0]->clearLineLatch(4, failed);
    EXPECT_FALSE(generators[0]->isLineLatched(4, failed));
    dispatchers[0]->run(4, draviktools::kSubroutineLevel13, failed);
    dispatchers[0]->wait(4, 0, -3, failed);
    EXPECT_EQ(failed.code, -9);
    EXPECT_TRUE(untouched(0));

    // A map whose window ends before the interrupt registers.
    tTolvaneIsoChannelRegMap narrow(&board, seqtest::channelBase(0), 0, 0x40);
    InterruptGeneratorController generator(narrow, st);
    generator.programLine(4, 1, st);
    EXPECT_EQ(st.code, nKZAPALS100::kStatusResourceNotFound);
    EXPECT_TRUE(untouched(0));
}

TEST_F(Sequencers, RunStartsTheRegisteredAddressOnTheChannelOnly) {
    dispatchers[2]->run(4, draviktools::kSubroutineLevel13, st);
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(board.model.runs(), (std::vector<SequencerRun>{{2, 4, kLevel13Address, draviktools::kSubroutineLevel13}}));
    EXPECT_EQ(board.take(2), (std::vector<Access>{W(0x4A, 32, kLevel13Address), W(0x49, 32, 0x14), W(0x2A, 32, 0x1000),
                                                  W(0x44, 32, 1u << 20)}));
    EXPECT_TRUE(untouched(0) && untouched(1) && untouched(3));

    dispatchers[2]->run(4, 0x12345678, st);
    EXPECT_EQ(st.code, draviktools::kStatusSubroutineNotFound);
    EXPECT_TRUE(untouched(2));
}

TEST_F(Sequencers, AWaitThatHoldsAtOnceReadsOnceAndDoesNotPause) {
    kal::sim::clock().recordSleeps(true);
    dispatchers[1]->run(4, draviktools::kSubroutineLevel13, st);
    board.take(1);
    dispatchers[1]->wait(4, 1000000, int32_t(kTimedOut), st);
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(board.take(1), (std::vector<Access>{W(0x2A, 32, 0x40000), R(0x2A, 32, 0x40000), R(0x00, 32, 0)}));
    EXPECT_TRUE(kal::sim::clock().sleeps().empty());
    EXPECT_EQ(checker.runs, 0);
}

TEST_F(Sequencers, AStuckLineTimesOutAfterTheHardwareCheck) {
    struct Case {
        const char* what;
        bool stuckLatched;
        bool stuckBusy;
        int64_t fault;
        uint32_t timeoutUs;
        int64_t code;
    };
    for (const Case& c : {Case{"busy", false, true, 0, 1000000, kTimedOut},
                          Case{"latched", true, false, 0, 1000000, kTimedOut},
                          Case{"checker's fault wins", false, true, -77, 1000000, -77},
                          Case{"no time at all", false, true, 0, 0, kTimedOut}}) {
        board.model.options().channels[0].lineStuckLatched =
            c.stuckLatched ? std::optional<unsigned>(4) : std::nullopt;
        board.model.options().channels[0].busyStuck = c.stuckBusy;
        checker.runs = 0;
        checker.fault = c.fault;
        tStatus status;
        dispatchers[0]->run(4, draviktools::kSubroutineLevel13, status);
        board.take(0);
        const uint64_t start = kal::sim::clock().nowUs();
        dispatchers[0]->wait(4, c.timeoutUs, int32_t(kTimedOut), status);
        const uint64_t elapsed = kal::sim::clock().nowUs() - start;
        EXPECT_EQ(status.code, c.code) << c.what;
        EXPECT_EQ(checker.runs, 1) << c.what;
        EXPECT_GE(elapsed, c.timeoutUs) << c.what;
        EXPECT_LT(elapsed, c.timeoutUs + 1200) << c.what;
        if (c.timeoutUs == 0) {
            EXPECT_EQ(board.take(0).size(), 3u) << "one evaluation";
        }
    }
}

TEST_F(Sequencers, AWaitOnALineBeyondTheTableFails) {
    dispatchers[0]->wait(5, 1000, -3, st);
    EXPECT_EQ(st.code, kOutOfRange);
    EXPECT_EQ(checker.runs, 0);
}

TEST_F(Sequencers, ARefusedMutexLeavesNoUsableObjects) {
    for (int which = 0; which < 2; ++which) {
        kal::sim::FailKernelCall fail("createMutex");
        tStatus status;
        if (which == 0) {
            InterruptGeneratorController generator(*maps[0], status);
        } else {
            SubroutineDispatcher dispatcher(registrar, *generators[0], checker, *maps[0], status);
        }
        EXPECT_EQ(status.code, nKZAPALS100::kStatusMemoryFull) << which;
    }
}

TEST_F(Sequencers, ComplianceIsBit26OfTheChannelStatus) {
    kzvorn_driver::ChannelController channel(*maps[1]);
    EXPECT_FALSE(channel.queryInCompliance(st));
    board.model.options().channels[1].compliance = true;
    EXPECT_TRUE(channel.queryInCompliance(st));
    EXPECT_EQ(board.take(1), (std::vector<Access>{R(0x00, 32, 0), R(0x00, 32, 1u << 26)}));
    tStatus failed;
    KZ_SET_CODE(failed, -9);
    EXPECT_FALSE(channel.queryInCompliance(failed));
    EXPECT_TRUE(untouched(1));
    EXPECT_EQ(st.code, 0);
}

TEST_F(Sequencers, UngangRunsOnItsChannelAndRefusesAChannelBeyondTheBoard) {
    kzvorn_driver::ChannelUngangingController unganging(dispatcherArray);
    unganging.ungang(2, st);
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(board.model.runs(), (std::vector<SequencerRun>{{2, 4, kUngangAddress, draviktools::kSubroutineUngang}}));
    EXPECT_EQ(board.model.channel(2).ungangs, 1u);
    EXPECT_TRUE(untouched(0) && untouched(1) && untouched(3));

    for (uint8_t channel : {4, 255}) {
        tStatus status;
        unganging.ungang(channel, status);
        EXPECT_EQ(status.code, kzvorn_driver::kStatusInvalidChannel);
    }
    board.take(2);
    EXPECT_TRUE(untouched(0) && untouched(1) && untouched(2) && untouched(3));
    EXPECT_EQ(board.model.runs().size(), 1u);
}

TEST_F(Sequencers, ShutdownStartsEveryChannelThenWaitsUntilTheFirstFailure) {
    kzvorn_driver::shutdownChannelSequencers(dispatcherArray, st);
    EXPECT_EQ(st.code, 0);
    const auto shutdown = draviktools::kSubroutineShutdown;
    EXPECT_EQ(board.model.runs(), (std::vector<SequencerRun>{{0, 4, kShutdownAddress, shutdown},
                                                             {1, 4, kShutdownAddress, shutdown},
                                                             {2, 4, kShutdownAddress, shutdown},
                                                             {3, 4, kShutdownAddress, shutdown}}));
    for (unsigned c = 0; c < 4; ++c) EXPECT_TRUE(board.model.channel(c).shutDown);

    board.model.options().channels[1].busyStuck = true;
    for (unsigned c = 0; c < 4; ++c) board.take(c);
    kzvorn_driver::shutdownChannelSequencers(dispatcherArray, st);
    EXPECT_EQ(st.code, kTimedOut);
    EXPECT_EQ(board.model.runs().size(), 8u);
    for (unsigned c : {2u, 3u}) {
        for (const Access& a : board.take(c)) EXPECT_TRUE(a.write) << "no wait on channel " << c;
    }
}

}  // namespace
