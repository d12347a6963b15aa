// The non-isolated register-map set over the product board through the kernel layer: its names,
// its mapping check, the "NisoFpgaWindow" window, and the INA231 chips behind the power-monitor
// windows.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "board/bar0Map.h"
#include "board/product.h"
#include "device/nonIsolatedRegMaps.h"
#include "device/pavoRegMaps.h"
#include "kal/sim/clock.h"
#include "kal/sim/faults.h"
#include "kal/sim/registerMemory.h"
#include "kzapal/protons/memory.h"
#include "kzkal/regmem.h"
#include "kzvorn_regMaps/fixture.h"
#include "level3/registeredNames.h"

namespace {

using kzvorn_driver::NonIsolatedRegMaps;
using kzvorn_driver::PavoRegMaps;
using nKZAPALS100::tStatus;

using level3names::kStreamCircuitNames;
const std::vector<std::string>& kNonIsolatedNames = level3names::kNonIsolatedFpgaNames;

template <class tRegistry>
std::vector<std::string> names(const tRegistry& registry) {
    tStatus st;
    kzhtl::String list;
    registry.getRegistrationList(list, st);
    std::vector<std::string> out;
    std::stringstream text(list.c_str());
    for (std::string name; std::getline(text, name, '\t');) out.push_back(name);
    return out;
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// BAR0 mapped whole, as level 3 maps it, with level 3's maps registered.
struct Set : ::testing::Test {
    board::Board board{board::productIdentity()};
    board::ProductBlocks blocks = board::installProduct(board, kzmaps::configuredAtStart());
    uint8_t* bar = nullptr;
    armki::ARMDispatcher registry;
    devicewindow::DeviceWindowDispatcher windows;
    tStatus st;
    std::unique_ptr<PavoRegMaps> pavo;

    Set() {
        kal::sim::attachBoard(board);
        bar = static_cast<uint8_t*>(
            nKZKAL230_mapPhysicalToKernel(kal::sim::barPhysicalAddress(board, 0), board::bar0::kSize, 0));
        pavo = std::make_unique<PavoRegMaps>(bar, board::bar0::kSize, registry, st);
        EXPECT_EQ(st.code, 0);
        board.log().clear();
    }
    ~Set() override {
        pavo.reset();
        nKZKAL230_unmapPhysicalFromKernel(bar, 0);
        kal::sim::detachBoard(board);
    }
    std::unique_ptr<NonIsolatedRegMaps> build(tStatus& status, uint64_t length = board::bar0::kSize) {
        return std::make_unique<NonIsolatedRegMaps>(bar, length, registry, windows, status);
    }
    board::PowerMonitorModel& backplane() { return blocks.nonIsolatedFpga.backplanePowerMonitor(); }
    std::vector<uint64_t> fpgaAccesses(bool writes) {
        std::vector<uint64_t> out;
        for (const board::Access& a : board.log().entries())
            if ((a.direction == board::Direction::Write) == writes) out.push_back(a.offset - board::bar0::kNonIsolatedFpga);
        return out;
    }
};

TEST_F(Set, RegistersItsNamesAfterLevelThreesAndRemovesThemAgain) {
    const auto level3 = names(registry);
    ASSERT_EQ(level3, level3names::kRegisterMapNames);
    {
        auto set = build(st);
        EXPECT_EQ(st.code, 0);
        EXPECT_EQ(names(registry), level3 + kStreamCircuitNames + kNonIsolatedNames);
        EXPECT_EQ(names(windows), std::vector<std::string>{"NisoFpgaWindow"});
        EXPECT_TRUE(board.log().entries().empty());  // building touches no register
    }
    EXPECT_EQ(names(registry), level3);
    EXPECT_TRUE(names(windows).empty());
}

TEST_F(Set, FailuresStopTheSetAndItsDestructionRemovesWhatItRegistered) {
    const auto level3 = names(registry);
    {
        // The memory window's mutex comes first, then one for each stream circuit's registration,
        // then the set's own first lock.
        kal::sim::FailKernelCall refuse("createMutex", 1 + 8 + 1);
        tStatus status;
        auto set = build(status);
        EXPECT_EQ(status.code, -52000);
        EXPECT_EQ(names(registry), level3 + kStreamCircuitNames);
        EXPECT_TRUE(names(windows).empty());
    }
    EXPECT_EQ(names(registry), level3);
    for (uint64_t length : {uint64_t(0), uint64_t(0x20000), NonIsolatedRegMaps::kMappingNeeded - 1}) {
        tStatus status;
        const int64_t before = kal::sim::liveAllocations();
        {
            auto set = build(status, length);
            EXPECT_EQ(status.code, -52003) << length;
            EXPECT_EQ(names(registry), level3);
            EXPECT_TRUE(names(windows).empty());
        }
        EXPECT_EQ(kal::sim::liveAllocations(), before);
    }
    tStatus enough;
    auto set = build(enough, NonIsolatedRegMaps::kMappingNeeded);
    EXPECT_EQ(enough.code, 0);
}

TEST_F(Set, AllocationFailuresAreOutOfMemoryAndLeakNothing) {
    const auto level3 = names(registry);
    build(st).reset();  // the registries keep the room they grew
    for (uint64_t nth = 1;; ++nth) {
        ASSERT_LT(nth, 400u);
        const int64_t before = kal::sim::liveAllocations();
        tStatus status;
        bool failed = false;
        {
            std::unique_ptr<NonIsolatedRegMaps> set;
            {
                kal::sim::FailAllocations fail(nth);
                set.reset(new (status) NonIsolatedRegMaps(bar, board::bar0::kSize, registry, windows, status));
                failed = fail.triggered();
            }
            if (failed) {
                EXPECT_EQ(status.code, -52000) << nth;
            }
        }
        EXPECT_EQ(names(registry), level3) << nth;
        EXPECT_EQ(kal::sim::liveAllocations(), before) << nth;
        if (!failed) break;
    }
}

TEST_F(Set, TheWindowMovesAlignedWordsInsideTheBlockOnly) {
    auto set = build(st);
    devicewindow::MemoryWindow* window = &set->window;
    blocks.nonIsolatedFpga.write(0x4, 4, 0x11223344);
    blocks.nonIsolatedFpga.write(0x8, 4, 0x55667788);
    board.log().clear();
    char bytes[8] = {};
    window->read(4, 8, bytes, st);
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(fpgaAccesses(false), (std::vector<uint64_t>{0x4, 0x8}));
    EXPECT_EQ(uint8_t(bytes[0]), 0x44);
    EXPECT_EQ(uint8_t(bytes[7]), 0x55);

    struct Case {
        uint64_t offset, size;
        int64_t code;
    };
    for (const Case& c : {Case{0, 2, -52005}, Case{2, 8, -52005}, Case{0x838, 8, -240015}, Case{0x83C, 4, -240015},
                          Case{~uint64_t(0) - 3, 8, -240015}}) {
        board.log().clear();
        tStatus status;
        char buffer[16] = {};
        window->read(c.offset, c.size, buffer, status);
        EXPECT_EQ(status.code, c.code) << c.offset << " " << c.size;
        EXPECT_TRUE(board.log().entries().empty());
    }
}

TEST_F(Set, TheAdapterRefusesMisalignedRunsWithoutAccess) {
    kzvorn_driver::MemorySpaceAccessorToMemoryWindowAdapter::Accessor block{
        reinterpret_cast<uint64_t>(bar) + board::bar0::kNonIsolatedFpga, 0x83C};
    kzvorn_driver::MemorySpaceAccessorToMemoryWindowAdapter adapter(block, 0x83C);
    EXPECT_EQ(adapter.getSize(), 0x83Cu);
    struct Case {
        uint64_t index, count;
        int64_t code;
    };
    for (const Case& c : {Case{0, 0, 0}, Case{8, 0, 0}, Case{2, 0, -52005}, Case{0, 2, -52005}, Case{2, 8, -52005}}) {
        char buffer[8] = {};
        tStatus read, write;
        adapter.read(c.index, c.count, buffer, read);
        adapter.write(buffer, c.index, c.count, write);
        EXPECT_EQ(read.code, c.code) << c.index << " " << c.count;
        EXPECT_EQ(write.code, c.code);
    }
    EXPECT_TRUE(board.log().entries().empty());
    const char words[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    adapter.write(words, 0x1E0, 8, st);
    EXPECT_EQ(blocks.nonIsolatedFpga.read(0x1E0, 4), 0x04030201u);
    EXPECT_EQ(blocks.nonIsolatedFpga.read(0x1E4, 4), 0x08070605u);
}

TEST_F(Set, ChipRegistersThroughTheChassisAccessor) {
    auto set = build(st);
    set->backplaneAccessor.write32(5, 0x1130D, st);
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(backplane().chipRegister(5), 0x130D);
    EXPECT_EQ(set->backplaneAccessor.read32(5, st), 0x0000130Du);
    EXPECT_EQ(set->backplaneAccessor.read32(13, st), 0x0000130Du);
    set->backplaneAccessor.write32(15, 0xFFFF0001, st);
    EXPECT_EQ(backplane().chipRegister(7), 0x0001);
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(blocks.nonIsolatedFpga.sinkingBoardPowerMonitor().chipRegister(5), 0);

    // The chip maps reach the chips by identifier.
    tStatus s;
    uint64_t value = 0;
    set->sinkingBoardChip.write(0x80E12FD5, 0x1234, false, s, 0);  // calibration, register 5
    EXPECT_EQ(blocks.nonIsolatedFpga.sinkingBoardPowerMonitor().chipRegister(5), 0x1234);
    blocks.nonIsolatedFpga.sinkingBoardPowerMonitor().setChipRegister(7, 0xBEEF);
    set->sinkingBoardChip.read(0x80608A95, value, s, 0);  // alert limit, register 7
    EXPECT_EQ(value, 0xBEEFu);
    EXPECT_EQ(s.code, 0);
}

TEST_F(Set, PowerMonitorWindowsKeepTheTableAndReportValidMeasurementsOnceStarted) {
    auto set = build(st);
    auto& monitor = set->fpga.sinkingBoardPowerMonitor();
    monitor.PowerMonitorTableReg().writeRegister(0x00051234, st);
    EXPECT_EQ(blocks.nonIsolatedFpga.sinkingBoardPowerMonitor().tableEntry(5), 0x00051234u);
    blocks.nonIsolatedFpga.sinkingBoardPowerMonitor().setReading(2, 0x0ABC);
    EXPECT_EQ(monitor.Ina231Measurement(2).readRegister(st), 0x0ABCu);
    monitor.Ina231ConfigReg().writeRegister(1u << 30, st);
    EXPECT_EQ(monitor.Ina231Measurement(2).readRegister(st), 0x20ABCu);
    blocks.nonIsolatedFpga.sinkingBoardPowerMonitor().neverValid = true;
    EXPECT_EQ(monitor.Ina231Measurement(2).readRegister(st), 0x0ABCu);
    EXPECT_EQ(blocks.nonIsolatedFpga.backplanePowerMonitor().tableEntry(5), 0u);
    EXPECT_EQ(st.code, 0);
}

TEST_F(Set, ChassisAccessorTimeOuts) {
    auto set = build(st);
    {
        backplane().neverReady = true;
        tStatus status;
        const uint64_t start = kal::sim::clock().nowUs();
        EXPECT_EQ(set->backplaneAccessor.read32(1, status), 0xFFFFFFFFu);
        EXPECT_EQ(status.code, int64_t(int32_t(0xBFFA431F)));
        EXPECT_GE(kal::sim::clock().nowUs() - start, 500u);
        EXPECT_TRUE(fpgaAccesses(true).empty());
        tStatus write;
        set->backplaneAccessor.write32(1, 1, write);
        EXPECT_EQ(write.code, int64_t(int32_t(0xBFFA431F)));
        EXPECT_TRUE(fpgaAccesses(true).empty());
        backplane().neverReady = false;
    }
    backplane().readNeverDone = true;
    tStatus status;
    const uint64_t start = kal::sim::clock().nowUs();
    EXPECT_EQ(set->backplaneAccessor.read32(1, status), 0xFFFFFFFFu);
    EXPECT_EQ(status.code, int64_t(int32_t(0xBFFA4320)));
    EXPECT_GE(kal::sim::clock().nowUs() - start, 10000u);
}

TEST_F(Set, TwoThreadsNeverInterleaveTheirWindowTransactions) {
    auto set = build(st);
    // Each thread its own chip registers: a command word mixed from both would cross them.
    auto worker = [&](uint32_t first, uint32_t base) {
        for (uint32_t i = 0; i < 200; ++i) {
            tStatus s;
            const uint32_t reg = first + i % 4;
            set->backplaneAccessor.write32(reg, base + i, s);
            EXPECT_EQ(s.code, 0);
            EXPECT_EQ(set->backplaneAccessor.read32(reg, s), base + i);
        }
    };
    std::thread a(worker, 0, 0x1000), b(worker, 4, 0x2000);
    a.join();
    b.join();
}

}  // namespace
