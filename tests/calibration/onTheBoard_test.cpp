// Level 15's loaders over the board's access ports: every channel's slots hold what the self
// records convert to, and the digipot holds the manufacturing record's setting.
#include <gtest/gtest.h>

#include <memory>

#include "calibrationFixture.h"
#include "device/isolatedRegMaps.h"
#include "kzvorn_regMaps/fixture.h"
#include "setupTeardownTask/channelCalibrationLoaders.h"

namespace caltest {
namespace {

namespace r = board::record;

struct OnTheBoard : kzmaps::NisoBoard, kzvorn_driver::CalibrationControllersInterface {
    kzvorn_regmaps::tTolvaneNisoFpgaRegMap niso{&block, st, 0, 0, 0xFFFFFFFF};
    armki::ARMDispatcher registry;
    devicewindow::DeviceWindowDispatcher windows;
    kdut::HardwareStateCheckerComposite checkers;
    kzvorn_driver::IsolatedRegMaps iso{niso, registry, windows, checkers, false, st};
    storagemap_test::FlashFixture flash;
    storagemap::StorageMapDispatcher storageRegistry;
    kzvorn_driver::StorageMaps maps{&flash.window, &storageRegistry, st};
    std::vector<std::unique_ptr<FakeChargeBalance>> chargeBalance;

    OnTheBoard() {
        for (unsigned c = 0; c < kChannels; ++c) chargeBalance.emplace_back(new FakeChargeBalance(iso.getChannelMap(c)));
    }
    kzvorn_driver::ChargeBalanceControllerInterface* getChargeBalanceController(uint8_t channel) override {
        return chargeBalance[channel].get();
    }
};

TEST_F(OnTheBoard, EveryChannelHoldsItsSelfRecordAndTheDigipotItsSetting) {
    ASSERT_EQ(st.getCode(), 0);
    kzvorn_driver::ChannelCalibrationLoaders loaders(&iso.getIsoFpgaMap(), this, &maps, st);
    ASSERT_EQ(st.getCode(), 0);
    std::lock_guard<std::recursive_mutex> hold(fpga().boardLock());
    const board::IsolatedRegisterFile& registers = fpga().isolatedLink().registers();
    for (uint32_t c = 0; c < kChannels; ++c) {
        SCOPED_TRACE(c);
        const uint32_t k = 12 + c;  // the self record of channel c
        auto at = [&](uint32_t field, uint32_t i = 0) { return value(board::factory::coefficient(k, field, i)); };
        const board::ChannelCalibration& slots = registers.calibration(c);
        for (uint32_t i = 0; i < 3; ++i) {
            const uint32_t range = (i + 1) << 2;
            const uint32_t gain = bits(at(r::kVoltageGain, i), 31, 24);
            EXPECT_EQ(slots.slot(0x60, range | 1), gain);
            EXPECT_EQ(slots.slot(0x60, range | 2), gain);
            EXPECT_EQ(slots.slot(0x63, range | 1), bits(at(r::kVoltageOffset, i) + at(r::kResidualLocalSenseOffset, i), 30, 31));
            EXPECT_EQ(slots.slot(0x63, range | 2),
                      bits(at(r::kVoltageRemoteOffset, i) + at(r::kResidualRemoteSenseOffset, i), 30, 31));
        }
        EXPECT_EQ(slots.single(0x78), bits(at(r::kVoltageGain, 2), 31, 24));
        EXPECT_EQ(slots.single(0x7A), bits(at(r::kVoltageOffset, 2) + at(r::kResidualLocalSenseOffset, 2), 30, 31));
        for (uint32_t range = 1; range <= 6; ++range) {
            EXPECT_EQ(slots.slot(0x68, range), bits(at(r::kLowCurrentGain, range - 1), 31, 24));
            EXPECT_EQ(slots.slot(0x6B, range),
                      bits(at(r::kResidualCurrentOffset, range - 1) + at(r::kLowCurrentOffset, range - 1), 30, 31));
            EXPECT_EQ(slots.slot(0x88, range), bits(at(r::kLowCurrentCmcGain, range - 1), 33, 24));
        }
        EXPECT_EQ(slots.single(0x70), bits(at(r::kThreeAmpGain), 31, 24));
        EXPECT_EQ(slots.single(0x72), bits(at(r::kResidualCurrentOffset, 6) + at(r::kThreeAmpOffset), 30, 31));
        EXPECT_EQ(slots.single(0x8B), bits(at(r::kThreeAmpCmcGain), 33, 24));
        const uint32_t block = board::IsolatedRegisterFile::kChannelBlocks + c * board::IsolatedRegisterFile::kChannelBlockWords;
        for (uint32_t j = 0; j < 4; ++j)
            EXPECT_EQ(registers.stored(block + 0x58 + j) & 0x3FFF, bits(at(r::kChargeBalanceOffsets, j), 63, 14));
        EXPECT_EQ(slots.slots(0x114).size(), 49u);
        for (uint32_t o = 0; o < 7; ++o)
            for (uint32_t i = 0; i < 7; ++i)
                EXPECT_EQ(slots.slot(0x114, 8 * (o + 1) + (i + 1)), bits(at(r::kPredictiveGains, 7 * o + i), 60, 32));
    }
    EXPECT_EQ(registers.stored(board::IsolatedRegisterFile::kCmccDigiPot), board::factory::kCommonModeCurrentDigipot);
}

}  // namespace
}  // namespace caltest
