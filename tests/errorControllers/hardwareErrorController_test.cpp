// The hardware error controller over the non-isolated board's and the channels' error
// controllers: the record, the check, the manager start, the disabled errors, the clear.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "device/hardwareErrorCheckers.h"
#include "isoFixture.h"
#include "kal/sim/clock.h"
#include "kal/sim/faults.h"

namespace {

using namespace errtest;
using kzvorn_driver::HardwareErrorController;
using Record = vantrel_shared::TolvaneHardwareErrors;

// The controllers as the isolated objects build them: through the factory, for all four channels.
struct HecHardware : IsoErrorHardware {
    vantrel_shared::IsoErrorControllers controllers{*factory, 0xF, st};
    vantrel_shared::ChannelErrorControllers& channelControllers = controllers.channelErrorControllers;
    vantrel_shared::ChannelInterruptControllers& interruptControllers = controllers.channelInterruptControllers;
    std::unique_ptr<HardwareErrorController> hec;

    HecHardware() {
        hec = std::make_unique<HardwareErrorController>(nisoController.get(), controllers.isoBoardErrorController.get(),
                                                        channelControllers, interruptControllers, nullptr, st);
        EXPECT_EQ(st.code, 0);
        clearLogs();
    }
};

TEST(HardwareErrorRecord, BytesAsTheHardwareLatched) {
    struct Case {
        const char* name;
        std::function<void(HecHardware&)> latch;
        std::vector<std::pair<size_t, uint8_t>> bytes;
    };
    const std::vector<Case> cases = {
        {"nothing latched", [](HecHardware&) {}, {{40, 1}}},
        {"the non-isolated board holds 0x20D",
         [](HecHardware& f) { f.latchNiso({0x20D, 0x227}); },
         {{0, 0x0D}, {1, 0x02}, {35, 1 << 5}, {38, 1 << 7}}},
        {"channel 2 holds 0x904",
         [](HecHardware& f) { f.latchChannel(2, {0x904, 0x90D}); },
         {{40, 1}, {46, 0x04}, {47, 0x09}, {54, 1 << 4}, {55, 1 << 5}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HecHardware f;
        c.latch(f);
        const Record record = f.hec->getErrors(f.st);
        EXPECT_EQ(f.st.code, 0);
        uint8_t expected[Record::kSize] = {};
        for (auto [offset, value] : c.bytes) expected[offset] = value;
        for (size_t i = 0; i < Record::kSize; ++i) EXPECT_EQ(record.bytes[i], expected[i]) << "byte " << i;
    }
}

TEST(HardwareErrorRecord, IdsOutsideAFieldAreNotEntered) {
    Record record;
    record.setBoardInputLatched(0xFF);
    record.setBoardInputLatched(555);
    record.setChannelInputLatched(0, 0x8FF);
    record.setChannelInputLatched(3, 0x90E);
    record.setChannelInputLatched(4, 0x900);
    record.setChannelErrorId(4, 0x900);
    record.setBoardInputLatched(554);
    for (size_t i = 0; i < Record::kSize; ++i) EXPECT_EQ(record.bytes[i], i == 39 ? 1 << 2 : 0) << i;
}

TEST(HardwareErrorController, AnIncomingErrorLeavesEverythingAlone) {
    HecHardware f;
    f.latchChannel(2, {0x904});
    f.clearLogs();
    tStatus failed;
    KZ_SET_CODE(failed, -9);
    kzhtl::Vector<uint64_t> entries;
    entries.push_back(0x905 | 0xF << 16, f.st);
    f.hec->disableIsoErrors(entries, failed);
    f.hec->enableIsoErrorManagers(failed);
    f.hec->checkErrorState(0xF, failed);
    f.hec->clearChannelErrors(0xF, failed);
    EXPECT_TRUE(f.hec->hasErrorOccurred(0xF, failed));
    const Record record = f.hec->getErrors(failed);
    for (uint8_t b : record.bytes) EXPECT_EQ(b, 0);
    EXPECT_EQ(failed.code, -9);
    EXPECT_TRUE(f.isoSeen().empty());
    EXPECT_TRUE(f.seen().empty());
}

TEST(HardwareErrorController, CheckErrorStateRanksTheBoardThenOwnCodesThenTheRest) {
    struct Case {
        const char* name;
        uint64_t mask;
        std::function<void(HecHardware&)> latch;
        int64_t expected;
        std::vector<unsigned> channelsRead;
    };
    const std::vector<Case> cases = {
        {"mask 0 checks the board alone", 0, [](HecHardware& f) { f.latchChannel(1, {0x904}); }, 0, {}},
        {"the board's code wins",
         0xF,
         [](HecHardware& f) {
             f.latchNiso({0x20D});
             f.latchChannel(0, {0x904});
         },
         code(0xBFFA4094),
         {}},
        {"a channel's own code stops the walk",
         0xF,
         [](HecHardware& f) {
             f.latchChannel(1, {0x902});
             f.latchChannel(2, {0x906});
             f.latchChannel(3, {0x907});
         },
         code(0xBFFA40B5),
         {0, 1, 2}},
        {"only ids without a code",
         0xF,
         [](HecHardware& f) {
             f.latchChannel(1, {0x902});
             f.latchChannel(3, {0x907});
         },
         code(0xBFFA468B),
         {0, 1, 2, 3}},
        {"mask bits above 3 address nothing", 0xFFFF'FFFF'FFFF'FFF0, [](HecHardware& f) {
             f.latchChannel(0, {0x904}); }, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HecHardware f;
        c.latch(f);
        f.clearLogs();
        f.hec->checkErrorState(c.mask, f.st);
        EXPECT_EQ(f.st.code, c.expected);
        std::vector<Access> expected;
        for (unsigned ch : c.channelsRead) {
            const uint32_t address = channelAddress(ch, 0x47);
            expected.push_back(R(address, 32, f.iso.manager(ch).occurrence()));
        }
        EXPECT_EQ(f.isoSeen(), expected);
        EXPECT_EQ(f.hec->nesting(), 0);
    }
}

// A fault that a channel read meets runs the checkers on the same thread: the nested check answers
// 0xBFFA468B and the outer check goes on.
TEST(HardwareErrorController, ANestedCheckOnTheSameThreadFailsAtOnce) {
    HecHardware f;
    tStatus nested;
    int runs = 0;
    f.ports[1]->beforeRead = [&](uint32_t, tStatus&) {
        if (runs++ == 0) f.hec->checkErrorState(0xF, nested);
    };
    f.hec->checkErrorState(0xF, f.st);
    EXPECT_EQ(nested.code, code(0xBFFA468B));
    EXPECT_EQ(f.st.code, 0);
    EXPECT_EQ(f.hec->nesting(), 0);
    f.hec->checkErrorState(0x2, f.st);
    EXPECT_EQ(f.st.code, 0);
}

TEST(HardwareErrorController, EnableIsoErrorManagersRemembersIdsFromTheFirstFailure) {
    HecHardware f;
    f.iso.setStuckId(1, 0x902);
    f.latchChannel(3, {0x905});
    f.clearLogs();
    const uint64_t start = kal::sim::clock().nowUs();
    f.hec->enableIsoErrorManagers(f.st);
    EXPECT_EQ(f.st.code, code(0xBFFA4688));
    EXPECT_GE(kal::sim::clock().nowUs() - start, 2000000u);
    EXPECT_EQ(f.isoSeen(true).front(), W(0x08, 32, 1));
    for (unsigned c = 0; c < 4; ++c) {
        std::vector<Access> strobes;
        for (const Access& a : f.isoSeen(true))
            if (a.address == channelAddress(c, 0)) strobes.push_back(a);
        EXPECT_EQ(strobes, (std::vector<Access>{W(channelAddress(c, 0), 32, 1)})) << c;
    }
    // The remembered ids show while the non-isolated board holds an error.
    f.latchNiso({0x20D});
    tStatus later;
    const Record record = f.hec->getErrors(later);
    EXPECT_EQ(later.code, 0);
    EXPECT_FALSE(record.channelErrorsLive());
    EXPECT_EQ(record.channelErrorId(0), 0);
    EXPECT_EQ(record.channelErrorId(1), 0x902);
    EXPECT_EQ(record.channelErrorId(2), 0);
    EXPECT_EQ(record.channelErrorId(3), 0x905);
}

TEST(HardwareErrorController, DisableIsoErrorsReachesOnlyTheNamedChannels) {
    struct Case {
        const char* name;
        uint64_t entry;
        std::vector<Access> writes;
    };
    const std::vector<Case> cases = {
        {"channels 0 and 1", 0x905 | 1ull << 16 | 1ull << 17,
         {W(channelAddress(0, 0x20), 32, 0x20050000), W(channelAddress(1, 0x20), 32, 0x20050000)}},
        {"channel 4 is none", 0x905 | 1ull << 20, {}},
        {"bit 63 is none", 0x905 | 1ull << 63, {}},
        {"an isolated board id", 0x10F | 0xFull << 16, {W(0x40, 32, 0x202F0000)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HecHardware f;
        kzhtl::Vector<uint64_t> entries;
        entries.push_back(c.entry, f.st);
        f.hec->disableIsoErrors(entries, f.st);
        EXPECT_EQ(f.st.code, 0);
        EXPECT_EQ(f.isoSeen(), c.writes);
    }
}

TEST(HardwareErrorController, ClearAndHasErrorOccurredStayWithinTheMask) {
    HecHardware f;
    f.latchChannel(1, {0x905});
    f.clearLogs();
    EXPECT_FALSE(f.hec->hasErrorOccurred(0x1, f.st));
    EXPECT_TRUE(f.hec->hasErrorOccurred(0x2, f.st));
    f.clearLogs();
    f.hec->clearChannelErrors(0, f.st);
    EXPECT_TRUE(f.isoSeen().empty());
    f.hec->clearChannelErrors(0x2, f.st);
    EXPECT_EQ(f.st.code, 0);
    std::vector<Access> writes = f.isoSeen(true);
    ASSERT_EQ(writes.size(), 3u + 5u);
    EXPECT_EQ(writes[0], W(0x1220, 32, 0x400));
    EXPECT_EQ(writes[1], W(0x1200, 32, 0x2));
    EXPECT_EQ(writes[2], W(0x1200, 32, 0x1));
    EXPECT_EQ(writes[3], W(0x122A, 32, 0x10010000));
    EXPECT_TRUE(f.seen(true).empty());  // the non-isolated board is never cleared here
    EXPECT_FALSE(f.hec->hasErrorOccurred(0xF, f.st));
}

// Over the board with errors latched on the non-isolated board and channel 2, whose log is off:
// it allocates as the host does.
void sweep(const char* name, const std::function<void(HecHardware&, tStatus&)>& action) {
    SCOPED_TRACE(name);
    HecHardware f;
    f.latchNiso({0x20D, 0x227});
    f.latchChannel(2, {0x904, 0x90D});
    f.board.log().setEnabled(false);
    sweepAllocations([&](tStatus& st) { action(f, st); });
}

TEST(HardwareErrorController, AllocationFailuresGiveOutOfMemoryAndLeakNothing) {
    sweep("construction", [](HecHardware& f, tStatus& st) {
        HardwareErrorController hec(f.nisoController.get(), f.controllers.isoBoardErrorController.get(),
                                    f.channelControllers, f.interruptControllers, nullptr, st);
    });
    sweep("getErrors", [](HecHardware& f, tStatus& st) { f.hec->getErrors(st); });
    kzhtl::Vector<uint64_t> entries;
    tStatus made;
    entries.push_back(0x905 | 1ull << 16, made);
    entries.push_back(0x906 | 1ull << 17, made);
    sweep("disableIsoErrors", [&](HecHardware& f, tStatus& st) { f.hec->disableIsoErrors(entries, st); });
}

TEST(HardwareErrorController, ALockThatCannotBeMadeIsOutOfMemory) {
    HecHardware f;
    kal::sim::FailKernelCall fail("createSpinLock");
    tStatus st;
    HardwareErrorController hec(f.nisoController.get(), f.controllers.isoBoardErrorController.get(),
                                f.channelControllers, f.interruptControllers, nullptr, st);
    EXPECT_EQ(st.code, -52000);
    EXPECT_EQ(fail.failures(), 1u);
}

TEST(IsoErrorControllers, OnePairPerChannelOfTheMaskAfterTheBoardAndOverflowControllers) {
    for (uint64_t mask : {0xFull, 0x5ull, 0x0ull}) {
        SCOPED_TRACE(mask);
        IsoErrorHardware f;
        vantrel_shared::IsoErrorControllers controllers(*f.factory, mask, f.st);
        EXPECT_EQ(f.st.code, 0);
        EXPECT_NE(controllers.isoBoardErrorController.get(), nullptr);
        EXPECT_NE(controllers.measureFIFOOverflowStatusController.get(), nullptr);
        const size_t count = size_t(__builtin_popcountll(mask));
        ASSERT_EQ(controllers.channelErrorControllers.size(), count);
        ASSERT_EQ(controllers.channelInterruptControllers.size(), count);
        // Index i is the i-th channel of the mask: its check reads that channel's occurrence register.
        unsigned i = 0;
        for (unsigned c = 0; c < 4; ++c) {
            if ((mask >> c & 1) == 0) continue;
            f.clearLogs();
            controllers.channelErrorControllers[i++]->checkForErrors(f.st);
            EXPECT_EQ(f.isoSeen(), (std::vector<Access>{R(channelAddress(c, 0x47), 32, 0)}));
        }
    }
}

TEST(IsoErrorControllers, AllocationFailuresGiveOutOfMemoryAndLeakNothing) {
    IsoErrorHardware f;
    sweepAllocations([&](tStatus& st) { vantrel_shared::IsoErrorControllers controllers(*f.factory, 0xF, st); });
}

TEST(HardwareErrorCheckers, MasksInOrder) {
    HecHardware f;
    f.latchChannel(3, {0x904});
    kzvorn_driver::HardwareErrorCheckers checkers(f.hec.get());
    for (unsigned i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        tStatus s;
        (i < 4 ? checkers.channel(i) : i == 4 ? checkers.boardOnly() : checkers.allChannels()).checkHardwareState(s);
        EXPECT_EQ(s.code, (i == 3 || i == 5) ? code(0xBFFA4098) : 0);
    }
}

}  // namespace

namespace {

// The controller's lock: recursive on its owner, only tried on request, waited for otherwise.
TEST(TryableRecursiveLock, TriesFailWhileAnotherThreadHoldsIt) {
    tStatus st;
    vantrel_shared::TryableRecursiveLock lock(st);
    ASSERT_EQ(st.code, 0);
    ASSERT_TRUE(lock.acquire(false));
    ASSERT_TRUE(lock.acquire(false));  // recursive
    std::atomic<int> stage{0};
    std::thread other([&] {
        EXPECT_FALSE(lock.acquire(false));
        stage = 1;
        EXPECT_TRUE(lock.acquire(true));
        stage = 2;
        lock.release();
    });
    while (stage.load() != 1) std::this_thread::yield();
    lock.release();
    EXPECT_EQ(stage.load(), 1);  // still held once
    lock.release();
    other.join();
    EXPECT_EQ(stage.load(), 2);
    EXPECT_TRUE(lock.acquire(false));
    lock.release();
}

}  // namespace
