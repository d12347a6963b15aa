// The non-isolated board's error mux, error manager and error controller against the board's
// occurrence hardware, and the tables they translate with.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "device/nisoOccurrence.h"
#include "kal/sim/clock.h"
#include "kal/sim/faults.h"
#include "kzvorn_driver_codegen/errorMaps.h"
#include "kzvorn_regMaps/fixture.h"
#include "vantrel_shared/occurrenceErrorController.h"
#include "vantrel_shared/statusCodes.h"

namespace {

using armtest::Access;
using armtest::W;
using kzvorn_regmaps::tTolvaneNisoFpgaRegMap;
using nKZAPALS100::tStatus;
using namespace vantrel_shared;

constexpr int64_t code(uint32_t hex) { return int64_t(int32_t(hex)); }

struct ErrorHardware : kzmaps::NisoBoard {
    tTolvaneNisoFpgaRegMap map{&block, st, 0, 0, 0xFFFFFFFF};
    kzvorn_driver::NisoBoardErrorMuxInputMap inputs{st};
    kzvorn_driver_codegen::ErrorMap errors{st};
    kzhtl::SharedPtr<OccurrenceMuxInterface> mux;
    kzhtl::SharedPtr<ErrorManagerInterface> manager;

    ErrorHardware() {
        mux.reset(kzvorn_driver::newNisoBoardErrorMux(map, uint8_t(inputs.getInputCount()), st), st);
        manager.reset(kzvorn_driver::newNisoBoardErrorManager(map, st), st);
        EXPECT_EQ(st.code, 0);
    }
    OccurrenceErrorController controller() { return OccurrenceErrorController(manager, mux, &inputs, &errors); }
    // An error source latches while the board's manager runs.
    void latch(std::initializer_list<uint16_t> ids) {
        fpga().errorManager().configure(1);
        for (uint16_t id : ids) fpga().raiseError(id);
        board.log().clear();
    }
    size_t reads() const { return seen(false).size(); }
    // Built as an object, one board for each case of a table.
    void TestBody() override {}
};

// Each case acts on a fresh board and names the writes it must make and what it must answer.
struct MuxCase {
    std::string name;
    std::function<uint64_t(ErrorHardware&, tStatus&)> act;
    std::vector<Access> writes;
    uint64_t result;
    size_t reads;
};

TEST(ErrorMux, CasesAgainstTheBoard) {
    const std::vector<MuxCase> cases = {
        {"enableInput twice writes twice",
         [](ErrorHardware& f, tStatus& s) {
             f.mux->enableInput(5, s);
             f.mux->enableInput(5, s);
             return uint64_t(f.fpga().errorMux().enabled(5));
         },
         {W(0x70, 32, 0x10050000), W(0x70, 32, 0x10050000)}, 1, 0},
        {"disableInput of the last position",
         [](ErrorHardware& f, tStatus& s) {
             f.mux->disableInput(42, s);
             return uint64_t(f.fpga().errorMux().enabled(42));
         },
         {W(0x70, 32, 0x202A0000)}, 0, 0},
        // The selecting word is written even for position 0 on a clean shadow; without it the status
        // would describe input 5 and answer true.
        {"isInputLatched(0) right after enableInput(5) selects position 0",
         [](ErrorHardware& f, tStatus& s) {
             f.latch({0x205});
             f.mux->enableInput(5, s);
             return uint64_t(f.mux->isInputLatched(0, s));
         },
         {W(0x70, 32, 0x10050000), W(0x70, 32, 0x00000000)}, 0, 1},
        {"getLatchedInputs appends in position order",
         [](ErrorHardware& f, tStatus& s) {
             f.latch({0x227, 0x200});
             kzhtl::Vector<uint16_t> ids;
             ids.push_back(0x999, s);
             f.mux->getLatchedInputs(ids, s);
             EXPECT_EQ(ids.size(), 3u);
             return uint64_t(ids[0]) << 32 | uint64_t(ids[1]) << 16 | ids[2];
         },
         {}, 0x999'0200'0227, 43 + 2},
        {"readErrorStatus keeps bits 0-11",
         [](ErrorHardware& f, tStatus& s) {
             f.fpga().errorManager().setStuckId(0xF20D);
             return uint64_t(f.manager->readErrorStatus(s));
         },
         {}, 0x20D, 1},
        {"enable and disable strobe on every call",
         [](ErrorHardware& f, tStatus& s) {
             f.manager->enable(s);
             f.manager->enable(s);
             f.manager->disable(s);
             return uint64_t(f.fpga().errorManager().isEnabled());
         },
         {W(0x10, 32, 1), W(0x10, 32, 1), W(0x10, 32, 2)}, 0, 0},
        {"clearAllLatched strobes bit 10",
         [](ErrorHardware& f, tStatus& s) {
             f.latch({0x203});
             f.mux->clearAllLatched(s);
             return uint64_t(f.fpga().errorMux().latched(3));
         },
         {W(0x70, 32, 0x400)}, 0, 0},
    };
    for (const MuxCase& c : cases) {
        SCOPED_TRACE(c.name);
        ErrorHardware f;
        tStatus s;
        const uint64_t result = c.act(f, s);
        EXPECT_EQ(s.code, 0);
        EXPECT_EQ(result, c.result);
        std::vector<Access> writes = f.seen(true);
        if (c.name.rfind("getLatchedInputs", 0) == 0) {
            // One selecting write per position, in order.
            ASSERT_EQ(writes.size(), 43u);
            for (unsigned p = 0; p < 43; ++p) EXPECT_EQ(writes[p], W(0x70, 32, uint64_t(p) << 16));
        } else {
            EXPECT_EQ(writes, c.writes);
        }
        EXPECT_EQ(f.reads(), c.reads);
    }
}

TEST(ErrorMux, NoInputsOrAnIncomingErrorTouchNothing) {
    ErrorHardware f;
    kzvorn_driver::NisoBoardErrorMux empty(f.map.OccurrenceMuxConfig0(), f.map.OccurrenceMuxStatus0(), 0);
    kzhtl::Vector<uint16_t> ids;
    empty.getLatchedInputs(ids, f.st);
    EXPECT_EQ(ids.size(), 0u);
    EXPECT_TRUE(f.seen().empty());

    f.latch({0x200, 0x20D});
    f.map.OccurrenceMuxConfig0().setOccurrenceMuxPosition(7, f.st);
    const uint64_t configShadow = f.map.OccurrenceMuxConfig0().getShadow();
    tStatus failed;
    KZ_SET_CODE(failed, -9);
    f.mux->enableInput(1, failed);
    f.mux->disableInput(1, failed);
    EXPECT_FALSE(f.mux->isInputLatched(0, failed));
    f.mux->getLatchedInputs(ids, failed);
    f.mux->clearAllLatched(failed);
    f.manager->enable(failed);
    f.manager->disable(failed);
    EXPECT_EQ(f.manager->readErrorStatus(failed), 0u);
    auto controller = f.controller();
    kzhtl::Vector<uint64_t> entries;
    entries.push_back(0x227, f.st);
    controller.disableErrors(entries, failed);
    controller.enableErrorManager(failed);
    controller.checkForErrors(failed);
    controller.clearErrors(failed);
    EXPECT_EQ(failed.code, -9);
    EXPECT_EQ(ids.size(), 0u);
    EXPECT_TRUE(f.seen().empty());
    EXPECT_EQ(f.map.OccurrenceMuxConfig0().getShadow(), configShadow);
}

TEST(ErrorController, DisableErrorsTakesTheLowSixteenBitsOfKnownIds) {
    ErrorHardware f;
    auto controller = f.controller();
    kzhtl::Vector<uint64_t> entries;
    controller.disableErrors(entries, f.st);
    EXPECT_TRUE(f.seen().empty());
    for (uint64_t e : {0x227ull, 0x10Full, 0x10200ull, 0xFFFF'FFFF'FFFF'0203ull}) entries.push_back(e, f.st);
    controller.disableErrors(entries, f.st);
    EXPECT_EQ(f.st.code, 0);
    EXPECT_EQ(f.seen(true),
              (std::vector<Access>{W(0x70, 32, 0x202A0000), W(0x70, 32, 0x20000000), W(0x70, 32, 0x20030000)}));
    EXPECT_FALSE(f.fpga().errorMux().enabled(0));
    EXPECT_FALSE(f.fpga().errorMux().enabled(42));
}

TEST(ErrorController, EnableErrorManagerWaitsForTheLatchToClearAndEnablesAnyway) {
    {
        ErrorHardware f;
        auto controller = f.controller();
        controller.enableErrorManager(f.st);
        EXPECT_EQ(f.st.code, 0);
        EXPECT_EQ(f.seen(true), (std::vector<Access>{W(0x10, 32, 1)}));
        EXPECT_TRUE(f.fpga().errorManager().isEnabled());
    }
    ErrorHardware f;
    f.fpga().errorManager().setStuckId(0x20D);
    auto controller = f.controller();
    const uint64_t start = kal::sim::clock().nowUs();
    controller.enableErrorManager(f.st);
    EXPECT_EQ(f.st.code, code(0xBFFA4688));
    EXPECT_GE(kal::sim::clock().nowUs() - start, 2000000u);
    EXPECT_EQ(f.seen(true), (std::vector<Access>{W(0x10, 32, 1)}));
    EXPECT_TRUE(f.fpga().errorManager().isEnabled());
}

TEST(ErrorController, CheckForErrorsTurnsTheLatchedIdIntoItsCode) {
    struct Case {
        uint16_t latched;
        int64_t expected;
    };
    for (const Case& c : {Case{0x20D, code(0xBFFA4094)}, Case{0x21D, code(0xBFFA40B4)},
                          Case{0x202, code(0xBFFA468B)}, Case{0, 0}}) {
        SCOPED_TRACE(c.latched);
        ErrorHardware f;
        if (c.latched != 0) f.latch({c.latched});
        auto controller = f.controller();
        EXPECT_EQ(controller.readErrorStatus(f.st), c.latched);
        controller.checkForErrors(f.st);
        EXPECT_EQ(f.st.code, c.expected);
        EXPECT_TRUE(f.seen(true).empty());
    }
}

TEST(ErrorController, ClearErrorsClearsTheLatchesThenRestartsTheManager) {
    ErrorHardware f;
    f.latch({0x20D, 0x227});
    auto controller = f.controller();
    kzhtl::Vector<uint16_t> ids;
    controller.getLatchedInputs(ids, f.st);
    ASSERT_EQ(ids.size(), 2u);
    EXPECT_EQ(ids[0], 0x20D);
    EXPECT_EQ(ids[1], 0x227);
    f.board.log().clear();
    controller.clearErrors(f.st);
    EXPECT_EQ(f.st.code, 0);
    EXPECT_EQ(f.seen(true), (std::vector<Access>{W(0x70, 32, 0x400), W(0x10, 32, 2), W(0x10, 32, 1)}));
    EXPECT_EQ(controller.readErrorStatus(f.st), 0u);
    EXPECT_FALSE(f.fpga().errorMux().latched(24));
}

TEST(Maps, LookupsAsTheTablesGiveThem) {
    tStatus st;
    kzvorn_driver::NisoBoardErrorMuxInputMap inputs(st);
    kzvorn_driver_codegen::ErrorMap errors(st);
    ASSERT_EQ(st.code, 0);
    EXPECT_EQ(inputs.getInputCount(), 43u);

    struct Case {
        const char* name;
        std::function<uint64_t(tStatus&)> lookup;
        uint64_t result;
        int64_t status;
    };
    const std::vector<Case> cases = {
        {"0x227 is the last position", [&](tStatus& s) { return inputs.getInputForId(0x227, s); }, 42, 0},
        {"0x22B is not an input", [&](tStatus& s) { return inputs.getInputForId(0x22B, s); }, 0, code(0xBFFA4300)},
        {"position 0", [&](tStatus& s) { return inputs.getIdForInput(0, s); }, 0x200, 0},
        {"position 43", [&](tStatus& s) { return inputs.getIdForInput(43, s); }, 0, code(0xBFFA4300)},
        {"containsId", [&](tStatus& s) { return inputs.containsId(0x213, s); }, 1, 0},
        {"containsId on an error",
         [&](tStatus& s) {
             KZ_SET_CODE(s, -9);
             return inputs.containsId(0x200, s);
         },
         0, -9},
        {"0x905's code", [&](tStatus&) { return uint32_t(errors.getStatusForId(0x905)); }, 0xBFFA40B3, 0},
        {"0xBFFA40B3's id", [&](tStatus&) { return errors.getIdForStatus(int32_t(0xBFFA40B3)); }, 0x901, 0},
        {"0xBFFA400A's id", [&](tStatus&) { return errors.getIdForStatus(int32_t(0xBFFA400A)); }, 0x10D, 0},
        {"0x900 has no code", [&](tStatus&) { return errors.containsId(0x900); }, 0, 0},
        {"an absent id", [&](tStatus&) { return uint32_t(errors.getStatusForId(0x900)); }, 0xBFFA468B, 0},
        {"an absent code", [&](tStatus&) { return errors.getIdForStatus(-1); }, 0, 0},
        {"seven codes", [&](tStatus&) { return errors.statusCount(); }, 7, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tStatus s;
        EXPECT_EQ(c.lookup(s), c.result);
        EXPECT_EQ(s.code, c.status);
    }
}

// Fails each allocation in turn until building succeeds: each failure is -52000 and leaks nothing.
template <class tBuild>
void sweepAllocations(tBuild build) {
    for (uint64_t nth = 1;; ++nth) {
        ASSERT_LT(nth, 1000u);
        const int64_t before = kal::sim::liveAllocations();
        tStatus st;
        bool failed = false;
        {
            kal::sim::FailAllocations fail(nth);
            build(st);
            failed = fail.triggered();
        }
        EXPECT_EQ(kal::sim::liveAllocations(), before) << nth;
        if (!failed) {
            EXPECT_EQ(st.code, 0);
            return;
        }
        EXPECT_EQ(st.code, -52000) << nth;
    }
}

TEST(Maps, AllocationFailuresGiveOutOfMemoryAndLeakNothing) {
    sweepAllocations([](tStatus& st) { kzvorn_driver::NisoBoardErrorMuxInputMap inputs(st); });
    sweepAllocations([](tStatus& st) { kzvorn_driver_codegen::ErrorMap errors(st); });
}

}  // namespace
