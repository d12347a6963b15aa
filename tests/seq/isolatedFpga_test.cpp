// Setup levels 10 and 12 over the isolated FPGA register map, with the board's sequencer side
// behind its accessor.
#include <gtest/gtest.h>
#include <lz4.h>

#include <algorithm>
#include <vector>

#include "device/externalPLLSetup.h"
#include "device/localRAMConfigure.h"
#include "dravikTools/statusCodes.h"
#include "kal/sim/clock.h"
#include "kzvorn_regMaps/fixture.h"
#include "seq/countingChecker.h"
#include "seq/modelFrontEnd.h"
#include "board/subroutineTag.h"
#include "stowlyImages.h"

namespace {

using armtest::Access;
using armtest::R;
using armtest::W;
using kzvorn_regmaps::tTolvaneIsoFpgaRegMap;
using nKZAPALS100::tStatus;

TEST(LocalRamLevel, TheBuiltInPackageCostsThreeWritesAWordAndNoRead) {
    seqtest::ModelFrontEnd board;
    tStatus st;
    tTolvaneIsoFpgaRegMap map(&board, st);
    kzvorn_driver::LocalRAMConfigure level(nullptr, {}, map, st);
    ASSERT_EQ(st.code, 0);

    std::vector<uint64_t> package(8634);
    LZ4_decompress_safe(reinterpret_cast<const char*>(stowly_TolvaneSubroutineData_bin),
                        reinterpret_cast<char*>(package.data()), int(stowly_TolvaneSubroutineData_bin_size), 69072);
    const std::vector<uint64_t>& ram = board.model.localRam();
    EXPECT_TRUE(std::equal(package.begin(), package.end(), ram.begin()));
    EXPECT_TRUE(std::all_of(ram.begin() + 8634, ram.end() - 1, [](uint64_t w) { return w == 0; }));
    EXPECT_EQ(ram[0xFFFF], 0x1C0FFF0500000000u);

    ASSERT_EQ(board.log.size(), 25905u);
    for (size_t i = 0; i < board.log.size(); ++i) {
        const uint32_t expected[] = {0x52, 0x53, 0x50};
        ASSERT_TRUE(board.log[i].write) << i;
        ASSERT_EQ(board.log[i].address, expected[i % 3]) << i;
    }
    EXPECT_EQ(board.log.back(), W(0x50, 32, 0xFFFF));
    EXPECT_EQ(map.SeqLocalRamWriteAddressReg().getShadow(), 0u) << "the address shadows start over after each word";

    ASSERT_TRUE(level.getRegistrar());
    EXPECT_EQ(level.getRegistrar()->getNumSubroutines(st), 123u);
    for (draviktools::SubroutineId id : draviktools::kSystemSubroutineIds) {
        const uint32_t address = level.getRegistrar()->getStartAddress(id, st);
        EXPECT_EQ(board::subroutineTagId(ram[address]), id);
    }
    EXPECT_EQ(st.code, 0);
}

struct PllLevel : kzmaps::NisoBoard {
    kzvorn_regmaps::tTolvaneNisoFpgaRegMap niso{&block, st, 0, 0, 0xFFFFFFFF};
    seqtest::ModelFrontEnd isolated;
    tStatus mapStatus;
    tTolvaneIsoFpgaRegMap iso{&isolated, mapStatus};
    seqtest::CountingChecker checker;

    PllLevel() {
        kal::sim::clock().reset();
        kal::sim::clock().recordSleeps(true);
    }
    ~PllLevel() override { kal::sim::clock().reset(); }

    bool touched(uint32_t address) const {
        for (const Access& a : isolated.log)
            if (a.address == address) return true;
        return false;
    }
};

TEST_F(PllLevel, FourWordsWhenIdleThenTheLockThenTheSensor) {
    kzvorn_driver::ExternalPLLSetup level(niso, iso, checker, st);
    ASSERT_EQ(st.code, 0);
    const uint32_t locked = 1u << 9;
    EXPECT_EQ(isolated.log, (std::vector<Access>{R(8, 32, 0), W(9, 32, 0x1F8093), R(8, 32, 0), W(9, 32, 0x1F8092),
                                                 R(8, 32, 0), W(9, 32, 0x100028), R(8, 32, 0), W(9, 32, 0x1B01),
                                                 R(8, 32, locked), W(6, 32, 0x00056060), W(6, 32, 0x00800000)}));
    EXPECT_EQ(kal::sim::clock().sleeps(), (std::vector<uint32_t>{10000}));
    const size_t n = isolated.atNs.size();
    EXPECT_GE(isolated.atNs[n - 3] - isolated.atNs[n - 4], 10000000u) << "the lock is read after the settling";
    EXPECT_GE(isolated.atNs[n - 1] - isolated.atNs[n - 2], 165000u);
    EXPECT_TRUE(isolated.model.pllLocked());
    EXPECT_TRUE(isolated.model.vrefValid());
    EXPECT_EQ(checker.runs, 0);
}

TEST_F(PllLevel, ABusyShiftRegisterOrAnUnlockedPllStopsTheLevelBeforeTheSensor) {
    struct Case {
        const char* what;
        bool stuckBusy;
        size_t words;
    };
    for (const Case& c : {Case{"stuck busy", true, 0}, Case{"never locks", false, 4}}) {
        isolated.log.clear();
        isolated.model.reset();
        isolated.model.options().pllStuckBusy = c.stuckBusy;
        isolated.model.options().pllNeverLocks = !c.stuckBusy;
        tStatus status;
        const uint64_t start = kal::sim::clock().nowUs();
        kzvorn_driver::ExternalPLLSetup level(niso, iso, checker, status);
        EXPECT_EQ(status.code, kzvorn_driver::kStatusExternalPLLNotReady) << c.what;
        EXPECT_EQ(isolated.model.pllWords().size(), c.words) << c.what;
        EXPECT_FALSE(touched(6)) << c.what;
        if (c.stuckBusy) {
            EXPECT_GE(kal::sim::clock().nowUs() - start, 1000u);
            EXPECT_LT(kal::sim::clock().nowUs() - start, 1200u);
        }
    }
    EXPECT_EQ(checker.runs, 0);
}

}  // namespace
