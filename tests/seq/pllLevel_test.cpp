// The external PLL loader and setup level 12 over the isolated FPGA register map, with the board's
// PLL and sensor behind its accessor.
#include <gtest/gtest.h>

#include <vector>

#include "device/externalPLLSetup.h"
#include "kal/sim/faults.h"
#include "kal/sim/clock.h"
#include "kzvorn_regMaps/fixture.h"
#include "seq/countingChecker.h"
#include "seq/modelFrontEnd.h"

namespace {

using armtest::Access;
using armtest::R;
using armtest::W;
using kzvorn_regmaps::tTolvaneIsoFpgaRegMap;
using nKZAPALS100::tStatus;

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

// The loader waits out the shift register's busy time before each word.
TEST_F(PllLevel, EachWordWaitsUntilTheShiftRegisterIsIdle) {
    isolated.model.options().pllBusyUs = 30;
    kzvorn_driver::ExternalPLLSetup level(niso, iso, checker, st);
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(isolated.model.pllWords(), (std::vector<uint32_t>{0x1F8093, 0x1F8092, 0x100028, 0x1B01}));
    EXPECT_EQ(isolated.model.pllWritesWhileBusy(), 0u);
}

TEST_F(PllLevel, AnErrorOnEntryOrARefusedWordVectorSendsNothing) {
    tStatus failed;
    KZ_SET_CODE(failed, -9);
    kzvorn_driver::ExternalPLLSetup(niso, iso, checker, failed);
    EXPECT_EQ(failed.code, -9);
    {
        kal::sim::FailAllocations fail(1);
        kzvorn_driver::ExternalPLLSetup(niso, iso, checker, st);
    }
    EXPECT_EQ(st.code, nKZAPALS100::kStatusMemoryFull);
    EXPECT_TRUE(isolated.log.empty());
}

}  // namespace
