// Levels 10 and 12's objects over level 8's isolated maps: every word through the non-isolated
// FPGA's access ports to the board's isolated register file and its sequencer side.
#include <gtest/gtest.h>

#include <memory>

#include "board/bar0Map.h"
#include "board/product.h"
#include "board/subroutineTag.h"
#include "controllers/channelControllers.h"
#include "device/externalPLLSetup.h"
#include "device/isolatedRegMaps.h"
#include "device/localRAMConfigure.h"
#include "kal/sim/clock.h"
#include "kal/sim/registerMemory.h"
#include "kzkal/regmem.h"
#include "kzvorn_regMaps/fixture.h"

namespace {

using nKZAPALS100::tStatus;

board::ProductOptions linkedBoard() {
    board::ProductOptions options = kzmaps::configuredAtStart();
    options.isolated.portsReadyWithoutLink = true;
    return options;
}

struct ThroughPorts : ::testing::Test {
    board::Board board{board::productIdentity()};
    board::ProductBlocks blocks = board::installProduct(board, linkedBoard());
    uint8_t* mapped = nullptr;
    arm::MemorySpaceAccess::Accessor block{};
    tStatus st;
    std::unique_ptr<kzvorn_regmaps::tTolvaneNisoFpgaRegMap> niso;
    armki::ARMDispatcher registry;
    devicewindow::DeviceWindowDispatcher windows;
    kdut::HardwareStateCheckerComposite checkers;
    std::unique_ptr<kzvorn_driver::IsolatedRegMaps> isolated;

    ThroughPorts() {
        kal::sim::clock().reset();
        kal::sim::attachBoard(board);
        mapped = static_cast<uint8_t*>(
            nKZKAL230_mapPhysicalToKernel(kal::sim::barPhysicalAddress(board, 0), board::bar0::kSize, 0));
        block = {reinterpret_cast<uint64_t>(mapped) + board::bar0::kNonIsolatedFpga, board::bar0::kNonIsolatedFpgaSize};
        niso = std::make_unique<kzvorn_regmaps::tTolvaneNisoFpgaRegMap>(&block, st, 0, 0, 0xFFFFFFFF);
        isolated = std::make_unique<kzvorn_driver::IsolatedRegMaps>(*niso, registry, windows, checkers, false, st);
        EXPECT_EQ(st.code, 0);
        link().clearLog();
    }
    ~ThroughPorts() override {
        isolated.reset();
        niso.reset();
        nKZKAL230_unmapPhysicalFromKernel(mapped, 0);
        kal::sim::detachBoard(board);
        kal::sim::clock().reset();
    }
    board::IsolatedLink& link() { return blocks.nonIsolatedFpga.isolatedLink(); }
    board::IsolatedSequencers& sequencers() { return link().sequencers(); }
};

TEST_F(ThroughPorts, TheBuiltInPackageReachesLocalRamThroughPortFour) {
    kzvorn_driver::LocalRAMConfigure level(nullptr, {}, isolated->getIsoFpgaMap(), st);
    ASSERT_EQ(st.code, 0);
    const std::vector<board::PortAccess> accesses = link().log();
    ASSERT_EQ(accesses.size(), 25905u);
    for (const board::PortAccess& a : accesses) {
        ASSERT_EQ(a.port, 4u);
        ASSERT_TRUE(a.write);
    }
    EXPECT_EQ(sequencers().localRam()[0xFFFF], 0x1C0FFF0500000000u);
    const auto& registrar = level.getRegistrar();
    ASSERT_TRUE(registrar);
    for (draviktools::SubroutineId id : draviktools::kSystemSubroutineIds)
        EXPECT_EQ(board::subroutineTagId(sequencers().localRam()[registrar->getStartAddress(id, st)]), id);
    EXPECT_EQ(st.code, 0);
}

TEST_F(ThroughPorts, ThePllLocksAndTheReferenceReadingTurnsValid) {
    kzvorn_driver::ExternalPLLSetup level(*niso, isolated->getIsoFpgaMap(), checkers, st);
    ASSERT_EQ(st.code, 0);
    EXPECT_EQ(sequencers().pllWords(), (std::vector<uint32_t>{0x1F8093, 0x1F8092, 0x100028, 0x1B01}));
    EXPECT_TRUE(sequencers().vrefValid());
    blocks.nonIsolatedFpga.write(0x818, 4, 0x1234);
    EXPECT_EQ(level.getTemperatureSensorController().readVrefTemperature(st), 0x1234);
    EXPECT_EQ(st.code, 0);

    sequencers().options().vrefNeverValid = true;
    const uint64_t start = kal::sim::clock().nowUs();
    level.getTemperatureSensorController().readVrefTemperature(st);
    EXPECT_EQ(st.code, kzvorn_driver::kStatusTemperatureNotValid);
    EXPECT_GE(kal::sim::clock().nowUs() - start, 500000u);
}

// The channel sequencers of a device at level 10, each behind its own port.
TEST_F(ThroughPorts, SubroutinesRunOnTheirChannelAndAStuckChannelTimesOut) {
    kzvorn_driver::LocalRAMConfigure level(nullptr, {}, isolated->getIsoFpgaMap(), st);
    ASSERT_EQ(st.code, 0);
    std::unique_ptr<kzvorn_driver::InterruptGeneratorController> generators[4];
    std::unique_ptr<kzvorn_driver::SubroutineDispatcher> dispatchers[4];
    kzvorn_driver::SubroutineDispatcher* array[4] = {};
    for (unsigned c = 0; c < 4; ++c) {
        generators[c] = std::make_unique<kzvorn_driver::InterruptGeneratorController>(*isolated->getChannelMap(c), st);
        dispatchers[c] = std::make_unique<kzvorn_driver::SubroutineDispatcher>(
            level.getRegistrar(), *generators[c], checkers, *isolated->getChannelMap(c), st);
        array[c] = dispatchers[c].get();
    }
    link().clearLog();
    dispatchers[2]->run(4, draviktools::kSubroutineLevel13, st);
    const uint32_t address = level.getRegistrar()->getStartAddress(draviktools::kSubroutineLevel13, st);
    EXPECT_EQ(sequencers().runs(), (std::vector<board::SequencerRun>{{2, 4, address, draviktools::kSubroutineLevel13}}));
    for (const board::PortAccess& a : link().log()) EXPECT_EQ(a.port, 2u);
    dispatchers[2]->wait(4, 1000000, int32_t(kzvorn_driver::kStatusSubroutineTimedOut), st);
    EXPECT_EQ(st.code, 0);

    sequencers().options().channels[1].busyStuck = true;
    const uint64_t start = kal::sim::clock().nowUs();
    kzvorn_driver::shutdownChannelSequencers(array, st);
    EXPECT_EQ(st.code, kzvorn_driver::kStatusSubroutineTimedOut);
    EXPECT_GE(kal::sim::clock().nowUs() - start, 1000000u);
    EXPECT_EQ(sequencers().runs().size(), 5u);
    EXPECT_TRUE(sequencers().channel(0).shutDown);
    EXPECT_FALSE(sequencers().channel(2).shutDown) << "no wait, so no status read completes its run";
}

}  // namespace
