// The channels' error and interrupt controllers and alarms against the isolated side's occurrence
// hardware, and the tables they translate with.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>

#include "controllers/channelAlarmController.h"
#include "isoFixture.h"
#include "kal/sim/faults.h"

namespace {

using namespace errtest;

TEST(IsoInputMaps, LookupsAndCountsAsTheTablesGiveThem) {
    tStatus st;
    kzvorn_driver::IsoBoardErrorMuxInputMap board(st);
    kzvorn_driver::IsoChannelErrorMuxInputMap channel(st);
    kzvorn_driver::IsoChannelInterruptMuxInputMap interrupt(st);
    ASSERT_EQ(st.code, 0);
    struct Case {
        const char* name;
        std::function<uint64_t(tStatus&)> lookup;
        uint64_t result;
        int64_t status;
    };
    const std::vector<Case> cases = {
        {"58 isolated board inputs", [&](tStatus&) { return board.getInputCount(); }, 58, 0},
        {"14 channel error inputs", [&](tStatus&) { return channel.getInputCount(); }, 14, 0},
        {"5 interrupt inputs", [&](tStatus&) { return interrupt.getInputCount(); }, 5, 0},
        {"0x908 sits at 9", [&](tStatus& s) { return channel.getInputForId(0x908, s); }, 9, 0},
        {"0x909 sits at 8", [&](tStatus& s) { return channel.getInputForId(0x909, s); }, 8, 0},
        {"position 10 is 0x90B", [&](tStatus& s) { return channel.getIdForInput(10, s); }, 0x90B, 0},
        {"position 11 is 0x90A", [&](tStatus& s) { return channel.getIdForInput(11, s); }, 0x90A, 0},
        {"isolated position 18", [&](tStatus& s) { return board.getIdForInput(18, s); }, 0x139, 0},
        {"isolated position 57", [&](tStatus& s) { return board.getIdForInput(57, s); }, 0x138, 0},
        {"0x10F is no channel id", [&](tStatus& s) { return channel.containsId(0x10F, s); }, 0, 0},
        {"0x90E is no input", [&](tStatus& s) { return channel.getInputForId(0x90E, s); }, 0, code(0xBFFA4300)},
        {"the guard is position 0", [&](tStatus& s) { return interrupt.getInputForId(0x705, s); }, 0, 0},
        {"0x709 is position 4", [&](tStatus& s) { return interrupt.getInputForId(0x709, s); }, 4, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tStatus s;
        EXPECT_EQ(c.lookup(s), c.result);
        EXPECT_EQ(s.code, c.status);
    }
}

TEST(IsoInputMaps, AllocationFailuresGiveOutOfMemoryAndLeakNothing) {
    sweepAllocations([](tStatus& st) { kzvorn_driver::IsoBoardErrorMuxInputMap map(st); });
    sweepAllocations([](tStatus& st) { kzvorn_driver::IsoChannelErrorMuxInputMap map(st); });
    sweepAllocations([](tStatus& st) { kzvorn_driver::IsoChannelInterruptMuxInputMap map(st); });
}

TEST(ChannelErrorController, DisablesOnlyItsOwnIdsOnItsOwnChannel) {
    IsoErrorHardware f;
    auto controller = f.channelErrorController(1);
    kzhtl::Vector<uint64_t> entries;
    entries.push_back(0x905, f.st);
    entries.push_back(0x10F, f.st);
    f.clearLogs();
    controller->disableErrors(entries, f.st);
    EXPECT_EQ(f.st.code, 0);
    EXPECT_EQ(f.isoSeen(), (std::vector<Access>{W(0x1220, 32, 0x20050000)}));
    EXPECT_FALSE(f.iso.errorMux(1).enabled(5));
}

TEST(ChannelErrorController, CheckForErrorsGivesTheLatchedIdsCode) {
    struct Case {
        uint16_t latched;
        int64_t expected;
    };
    for (const Case& c : {Case{0x904, code(0xBFFA4098)}, Case{0x902, code(0xBFFA468B)}, Case{0, 0}}) {
        SCOPED_TRACE(c.latched);
        IsoErrorHardware f;
        auto controller = f.channelErrorController(2);
        if (c.latched != 0) f.latchChannel(2, {c.latched});
        f.clearLogs();
        controller->checkForErrors(f.st);
        EXPECT_EQ(f.st.code, c.expected);
        EXPECT_EQ(f.isoSeen(), (std::vector<Access>{R(0x1447, 32, c.latched)}));
    }
}

TEST(ChannelErrorController, ClearErrorsClearsTheLatchesThenRestartsTheManager) {
    IsoErrorHardware f;
    auto controller = f.channelErrorController(1);
    f.latchChannel(1, {0x905});
    f.clearLogs();
    controller->clearErrors(f.st);
    EXPECT_EQ(f.st.code, 0);
    EXPECT_EQ(f.isoSeen(true),
              (std::vector<Access>{W(0x1220, 32, 0x400), W(0x1200, 32, 0x2), W(0x1200, 32, 0x1)}));
    EXPECT_EQ(f.iso.manager(1).occurrence(), 0u);
    EXPECT_TRUE(f.iso.manager(1).isEnabled());
}

TEST(ChannelInterruptController, EnablesTheFourInputsUnlessTheGuardLatched) {
    for (bool guardLatched : {false, true}) {
        SCOPED_TRACE(guardLatched);
        IsoErrorHardware f;
        auto controller = f.interruptController(0);
        if (guardLatched) f.iso.latchPosition(0, 0x2A, 0);
        f.clearLogs();
        controller->enableInterrupts(f.st);
        EXPECT_EQ(f.st.code, 0);
        std::vector<Access> expected = {W(0x102A, 32, 0x10010000), W(0x102A, 32, 0x10020000),
                                        W(0x102A, 32, 0x10030000), W(0x102A, 32, 0x10040000),
                                        W(0x102A, 32, 0x00000000)};
        expected.push_back(R(0x102A, 32, 0x2705u | (guardLatched ? 0x4000u : 0u)));
        if (guardLatched)
            for (uint32_t p = 1; p <= 4; ++p) expected.push_back(W(0x102A, 32, 0x20000000 | p << 16));
        EXPECT_EQ(f.isoSeen(), expected);
        for (unsigned p = 1; p <= 4; ++p) EXPECT_EQ(f.iso.mux(0, 0x2A)->enabled(p), !guardLatched);
    }
}

TEST(ChannelInterruptController, AllocationFailuresGiveOutOfMemoryAndLeakNothing) {
    IsoErrorHardware f;
    sweepAllocations([&](tStatus& st) {
        f.st = st;
        auto controller = f.interruptController(0);
        st = f.st;
    });
}

// Alarms: the words of each operation reach channel register 0x021 in order.
struct AlarmHardware : IsoErrorHardware {
    kzvorn_driver::ChannelAlarmController alarms{*channels[0], kzvorn_driver_codegen::kChannelAlarmMuxInputMap, st};
};

TEST(ChannelAlarms, OperationsWriteTheirWordsInOrder) {
    struct Case {
        const char* name;
        std::function<void(kzvorn_driver::ChannelAlarmController&, tStatus&)> act;
        std::vector<uint32_t> words;
    };
    using A = kzvorn_driver::ChannelAlarmController;
    const std::vector<Case> cases = {
        {"maskAlarm(0)", [](A& a, tStatus& s) { a.maskAlarm(0, s); }, {0x20000000}},
        {"maskAlarm(1)", [](A& a, tStatus& s) { a.maskAlarm(1, s); }, {0x20060000, 0x20070000}},
        {"unmaskAlarm(0)", [](A& a, tStatus& s) { a.unmaskAlarm(0, s); }, {0x10000000}},
        {"unmaskAlarm(1)", [](A& a, tStatus& s) { a.unmaskAlarm(1, s); }, {0x10060000, 0x10070000}},
        {"clearAlarm(0) twice", [](A& a, tStatus& s) { a.clearAlarm(0, s), a.clearAlarm(0, s); }, {0x800, 0x800}},
        {"clearAlarm(1)", [](A& a, tStatus& s) { a.clearAlarm(1, s); }, {0x00060800, 0x00070800}},
        {"armAlarmInputs(3)", [](A& a, tStatus& s) { a.armAlarmInputs(3, s); }, {0x10001003, 0x10061003, 0x10071003}},
        {"armDefaultAlarmMasks",
         [](A& a, tStatus& s) { a.armDefaultAlarmMasks(s); },
         {0x10001000, 0x10061000, 0x10071000, 0x10001003, 0x10061003, 0x10071003}},
        {"alarm 2 does nothing",
         [](A& a, tStatus& s) {
             a.maskAlarm(2, s), a.unmaskAlarm(2, s), a.clearAlarm(2, s);
             EXPECT_FALSE(a.isAlarmRaised(2, s));
         },
         {}},
        {"writeAlarmMuxInput of the mask index's low bits",
         [](A& a, tStatus& s) { a.writeAlarmMuxInput(0x13, 0xD05, 0xF, s); },
         {0x30050007}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AlarmHardware f;
        f.clearLogs();
        c.act(f.alarms, f.st);
        EXPECT_EQ(f.st.code, 0);
        std::vector<Access> expected;
        for (uint32_t word : c.words) expected.push_back(W(0x1021, 32, word));
        EXPECT_EQ(f.isoSeen(), expected);
    }
}

TEST(ChannelAlarms, AnIdOutsideTheAlarmMuxWritesNothing) {
    AlarmHardware f;
    f.clearLogs();
    f.alarms.writeAlarmMuxInput(1, 0xD08, 0, f.st);
    EXPECT_EQ(f.st.code, code(0xBFFA4300));
    EXPECT_TRUE(f.isoSeen().empty());
}

TEST(ChannelAlarms, IsAlarmRaisedSelectsEachInputBeforeItsRead) {
    struct Case {
        uint32_t alarm;
        std::vector<unsigned> latched;
        bool raised;
    };
    for (const Case& c : {Case{0, {}, false}, Case{0, {0}, true}, Case{1, {}, false}, Case{1, {6}, true},
                          Case{1, {7}, true}}) {
        SCOPED_TRACE(testing::Message() << "alarm " << c.alarm << " latched " << c.latched.size());
        AlarmHardware f;
        f.alarms.armDefaultAlarmMasks(f.st);
        for (unsigned p : c.latched) f.iso.latchPosition(0, 0x21, p);
        f.clearLogs();
        EXPECT_EQ(f.alarms.isAlarmRaised(c.alarm, f.st), c.raised);
        EXPECT_EQ(f.st.code, 0);
        const std::vector<Access> seen = f.isoSeen();
        const std::vector<unsigned> positions = c.alarm == 0 ? std::vector<unsigned>{0} : std::vector<unsigned>{6, 7};
        ASSERT_EQ(seen.size(), 2 * positions.size());
        for (size_t i = 0; i < positions.size(); ++i) {
            EXPECT_EQ(seen[2 * i], W(0x1021, 32, positions[i] << 16));
            EXPECT_FALSE(seen[2 * i + 1].write);
            EXPECT_EQ(seen[2 * i + 1].address, 0x1021u);
        }
    }
}

// Two threads asking for alarms 0 and 1 of one channel: every read follows its own select.
TEST(ChannelAlarms, SelectAndReadNeverInterleaveAcrossThreads) {
    AlarmHardware f;
    f.clearLogs();
    auto ask = [&](uint32_t alarm) {
        tStatus s;
        for (int i = 0; i < 200; ++i) f.alarms.isAlarmRaised(alarm, s);
        EXPECT_EQ(s.code, 0);
    };
    std::thread zero(ask, 0), one(ask, 1);
    zero.join();
    one.join();
    const std::vector<Access> seen = f.isoSeen();
    ASSERT_EQ(seen.size(), 2u * (200 + 400));
    for (size_t i = 0; i < seen.size(); i += 2) {
        ASSERT_TRUE(seen[i].write);
        ASSERT_FALSE(seen[i + 1].write);
        // The status read describes the position just selected.
        EXPECT_EQ((seen[i + 1].value >> 16) & 0xFF, (seen[i].value >> 16) & 0xFF) << i;
    }
}

}  // namespace

namespace {

using namespace errtest;

TEST(ErrorControllerFactory, MuxesGetTheirMapsInputCounts) {
    IsoErrorHardware f;
    auto controller = f.channelErrorController(3);
    auto interrupts = f.interruptController(3);
    f.clearLogs();
    kzhtl::Vector<uint16_t> ids;
    controller->getLatchedInputs(ids, f.st);
    EXPECT_EQ(f.isoSeen(true).size(), 14u);
    EXPECT_EQ(f.isoSeen(true).back(), W(channelAddress(3, 0x20), 32, 13 << 16));
    auto board = f.isoBoardErrorController();
    f.clearLogs();
    board->getLatchedInputs(ids, f.st);
    EXPECT_EQ(f.isoSeen(true).size(), 58u);
    EXPECT_EQ(f.isoSeen(true).back(), W(0x40, 32, 57 << 16));
    EXPECT_EQ(f.st.code, 0);
}

TEST(ErrorControllerFactory, AChannelAboveThreeBuildsNothing) {
    IsoErrorHardware f;
    for (uint8_t channel : {4, 255}) {
        tStatus s;
        EXPECT_EQ(f.factory->createChannelErrorController(channel, s).get(), nullptr);
        EXPECT_EQ(s.code, code(0xBFFA4303));
        tStatus t;
        EXPECT_EQ(f.factory->createChannelInterruptController(channel, t).get(), nullptr);
        EXPECT_EQ(t.code, code(0xBFFA4303));
    }
    tStatus failed;
    KZ_SET_CODE(failed, -9);
    EXPECT_EQ(f.factory->createChannelErrorController(0, failed).get(), nullptr);
    EXPECT_EQ(f.factory->createMeasureFIFOOverflowStatusController(failed).get(), nullptr);
    EXPECT_EQ(failed.code, -9);
}

TEST(ErrorControllerFactory, AllocationFailuresGiveAnEmptyResultAndLeakNothing) {
    IsoErrorHardware f;
    const std::vector<std::pair<const char*, std::function<bool(tStatus&)>>> operations = {
        {"isolated board", [&](tStatus& s) { return f.factory->createIsoBoardErrorController(s).get() != nullptr; }},
        {"channel error", [&](tStatus& s) { return f.factory->createChannelErrorController(1, s).get() != nullptr; }},
        {"channel interrupt",
         [&](tStatus& s) { return f.factory->createChannelInterruptController(1, s).get() != nullptr; }},
        {"overflow", [&](tStatus& s) { return f.factory->createMeasureFIFOOverflowStatusController(s).get() != nullptr; }},
    };
    for (const auto& operation : operations) {
        SCOPED_TRACE(operation.first);
        sweepAllocations([&](tStatus& s) {
            const bool made = operation.second(s);
            EXPECT_EQ(made, s.code == 0);
        });
    }
}

}  // namespace
