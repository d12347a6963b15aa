// The non-isolated side's names, maps and windows, the cooling requests and the hardware-state
// check through the ioctl envelope, as kzvorn-sim's scripts send them.
#include <gtest/gtest.h>

#include <cstdio>
#include <mutex>
#include <utility>
#include <string>
#include <vector>

#include "board/bar0Map.h"
#include "level3/registeredNames.h"
#include "tolvane/fixture.h"
#include "tolvane/scriptRun.h"

namespace ioctltest {
namespace {

using Write = std::pair<uint32_t, uint32_t>;

class NonIsolatedScript : public tolvanetest::Tolvane {
protected:
    std::string run(const std::string& script) { return tolvanetest::printedByEveryLine(kernel_, blocks_, script); }
    // The writes to the two power monitors' table registers since the log was last cleared.
    std::vector<Write> tableWrites() {
        std::vector<Write> writes;
        for (const board::Access& a : board_.log().entries()) {
            const uint64_t offset = a.offset - board::bar0::kNonIsolatedFpga;
            if (a.direction == board::Direction::Write && (offset == 0x580 || offset == 0x5A0))
                writes.push_back({uint32_t(offset), uint32_t(a.value)});
        }
        board_.log().clear();
        return writes;
    }
    // The sinking board's eight rows for modes 16 to 31, with row 1 as given.
    static std::vector<Write> sinkingRows(uint32_t row1) {
        return {{0x5A0, 0x0005FCCC}, {0x5A0, row1},       {0x5A0, 0x00012760}, {0x5A0, 0x00002B20},
                {0x5A0, 0x0007FCCC}, {0x5A0, 0x00067FFF}, {0x5A0, 0x00032760}, {0x5A0, 0x00022B20}};
    }
};

constexpr uint32_t kRow1Modes16To31 = 0x00041999;
constexpr uint32_t kRow1Mode32 = 0x00046333;

TEST_F(NonIsolatedScript, TheNonIsolatedNamesMapsAndWindow) {
    ASSERT_EQ(add(), 0);
    std::string names;
    for (const std::string& name : level3names::kRegisterMapNames) names += "  " + name + "\n";
    for (const std::string& name : level3names::listed(level3names::kNonIsolatedRegisterMapNames))
        names += "  " + name + "\n";
    for (const std::string& name : level3names::kIsolatedRegisterMapNames) names += "  " + name + "\n";
    EXPECT_EQ(run("arm.names\nwindow.names\n"),
              "arm.names: 41, status: 0\n" + names +
                  "window.names: 3, status: 0\n  flashWindow\n  NisoFpgaWindow\n  IsoFpgaWindow\n");
    EXPECT_EQ(run("arm.read TolvaneNisoFpgaRegMap_Ver1.5.0f22090707 0x809DAF0B\n"
                  "window.get NisoFpgaWindow 0 4\n"
                  "arm.read Ina231RegMapBackplane_Ver1.5.0f22090707 0x80E12FD5\n"
                  "arm.read Ina231RegMapSinkingBoard_Ver1.5.0f22090707 0x80E12FD5\n"
                  "window.write NisoFpgaWindow 0xC 78563412\n"
                  "arm.read TolvaneNisoFpgaRegMap_Ver1.5.0f22090707 0x80570F81\n"),
              "arm.read TolvaneNisoFpgaRegMap_Ver1.5.0f22090707 0x809DAF0B: value: 0x7A4E0517, status: 0\n"
              "window.get NisoFpgaWindow 0 4: status: 0\n"
              "  bytes: 17054E7A\n"
              "arm.read Ina231RegMapBackplane_Ver1.5.0f22090707 0x80E12FD5: value: 0x130D, status: 0\n"
              "arm.read Ina231RegMapSinkingBoard_Ver1.5.0f22090707 0x80E12FD5: value: 0x20C4, status: 0\n"
              "window.write NisoFpgaWindow 0xC 78563412: status: 0\n"
              "arm.read TolvaneNisoFpgaRegMap_Ver1.5.0f22090707 0x80570F81: value: 0x12345678, status: 0\n");
    // A chip read whose result never comes; the bring-up, which only writes the chips, never meets it.
    {
        std::lock_guard<board::BoardLock> guard(board_.lock());
        blocks_.nonIsolatedFpga.sinkingBoardPowerMonitor().readNeverDone = true;
    }
    EXPECT_EQ(run("arm.read Ina231RegMapSinkingBoard_Ver1.5.0f22090707 0x80E12FD5\n"),
              "arm.read Ina231RegMapSinkingBoard_Ver1.5.0f22090707 0x80E12FD5: value: 0x0, status: 0xBFFA4320\n");
}

// The override holds against the cooling interface; a write only when the mode changes; the mode
// in force outlives a reset, whose level 6 writes that mode's limits.
TEST_F(NonIsolatedScript, CoolingRequests) {
    plan_.fakeLevels(7, kzvorn_shared::SetupLevel::kHighest, kzvorn_driver::BringUpPlan::kSucceed);
    ASSERT_EQ(add(), 0);
    board_.log().clear();
    EXPECT_EQ(run("cooling.get\ncooling.requested\n"), "cooling.get: mode: 16, status: 0\n"
                                                       "cooling.requested: mode: 32, status: 0\n");
    // The mode in force: no write, only the requester is stored; the cooling interface, not yet
    // held off, writes its mode.
    EXPECT_EQ(run("cooling.set 16\ncooling.set 24\n"), "cooling.set 16: status: 0\ncooling.set 24: status: 0\n");
    EXPECT_EQ(tableWrites(), sinkingRows(kRow1Modes16To31));
    // The override takes over the mode in force without a write, and holds from then on.
    EXPECT_EQ(run("cooling.override 24\ncooling.set 20\ncooling.get\n"),
              "cooling.override 24: status: 0\ncooling.set 20: status: 0\ncooling.get: mode: 24, status: 0\n");
    EXPECT_EQ(tableWrites(), std::vector<Write>{});
    EXPECT_EQ(run("cooling.override 20\n"), "cooling.override 20: status: 0\n");
    EXPECT_EQ(tableWrites(), sinkingRows(kRow1Modes16To31)) << "the backplane's entry stands";
    EXPECT_EQ(run("cooling.set 32\ncooling.get\n"), "cooling.set 32: status: 0\ncooling.get: mode: 20, status: 0\n");
    EXPECT_EQ(tableWrites(), std::vector<Write>{});
    EXPECT_EQ(run("cooling.override 32\n"), "cooling.override 32: status: 0\n");
    EXPECT_EQ(tableWrites(), sinkingRows(kRow1Mode32));
    EXPECT_EQ(run("cooling.override 15\ncooling.override 33\ncooling.get\n"),
              "cooling.override 15: status: 0xBFFA4300\ncooling.override 33: status: 0xBFFA4300\n"
              "cooling.get: mode: 32, status: 0\n");
    EXPECT_EQ(tableWrites(), std::vector<Write>{});
    // Both the request and the setting keep the low 8 bits only.
    EXPECT_EQ(run("cooling.override 0x110\ncooling.get\n"),
              "cooling.override 0x110: status: 0\ncooling.get: mode: 16, status: 0\n");
    EXPECT_EQ(tableWrites(), sinkingRows(kRow1Modes16To31));
    EXPECT_EQ(run("cooling.override 32\nreset 22\ncooling.get\ncooling.set 20\ncooling.get\n"),
              "cooling.override 32: status: 0\nreset 22: status: 0\ncooling.get: mode: 32, status: 0\n"
              "cooling.set 20: status: 0\ncooling.get: mode: 32, status: 0\n");
    std::vector<Write> level6 = sinkingRows(kRow1Mode32);
    level6.insert(level6.begin(), {0x580, 0x000471DC});
    std::vector<Write> expected = sinkingRows(kRow1Mode32);
    expected.insert(expected.end(), level6.begin(), level6.end());
    EXPECT_EQ(tableWrites(), expected) << "the override, then level 6 after the reset";
}

TEST_F(NonIsolatedScript, TheHardwareStateCheckTakesInTheNonIsolatedSignature) {
    plan_.fakeLevels(7, kzvorn_shared::SetupLevel::kHighest, kzvorn_driver::BringUpPlan::kSucceed);
    ASSERT_EQ(add(), 0);
    const std::string check = "ioctl 0x00208601 00000000000000000000000000000000 4\n";
    EXPECT_EQ(run(check), "transport: 0\noutput: 00000000\n");
    blocks_.nonIsolatedFpga.overrideSignature(0x7A4E0518);
    EXPECT_EQ(run(check), "transport: 0\noutput: 7C46FABF\n");
}

}  // namespace
}  // namespace ioctltest
