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
    std::lock_guard<board::BoardLock> hold(fpga().boardLock());
    expectSelfRecordsLoaded(fpga().isolatedLink().registers());
}

}  // namespace
}  // namespace caltest
