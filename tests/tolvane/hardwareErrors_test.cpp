// The hardware error controller joined to a device brought up as far as the driver goes: the
// level-5 board error controller, the device's non-isolated map and checker composite, with the
// isolated objects built over them as the level that builds them will.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "device/errorControllerFactory.h"
#include "device/hardwareErrorCheckers.h"
#include "device/isolatedRegMaps.h"
#include "device/nonIsolatedObjects.h"
#include "fixture.h"

namespace tolvanetest {
namespace {

class DeviceErrors : public Tolvane {
protected:
    void build() {
        TolvaneHelper* helper = device()->getHelper();
        ASSERT_NE(helper, nullptr);
        ASSERT_NE(helper->getNonIsolatedControllers(), nullptr);
        auto& niso = helper->getNonIsolatedObjects()->getRegMaps()->fpga;
        checkers_ = helper->getHardwareStateCheckers();
        for (unsigned p = 0; p < 5; ++p) ports_.push_back(std::make_unique<WindowedFrontEndAccessor>(niso, p, *checkers_, st_));
        isoFpga_ = std::make_unique<kzvorn_regmaps::tTolvaneIsoFpgaRegMap>(ports_[4].get(), st_);
        for (unsigned c = 0; c < 4; ++c) {
            channels_[c] = isoFpga_->channelMap(c);
            channels_[c]->setAccessor(ports_[c].get());
        }
        factory_ = std::make_unique<ErrorControllerFactory>(niso, *isoFpga_, channels_, &isoBoardInputs_, &channelInputs_,
                                                            &interruptInputs_, &errors_);
        controllers_ = std::make_unique<vantrel_shared::IsoErrorControllers>(*factory_, 0xF, st_);
        hec_ = std::make_unique<HardwareErrorController>(
            helper->getNonIsolatedControllers()->getErrorController(), controllers_->isoBoardErrorController.get(),
            controllers_->channelErrorControllers, controllers_->channelInterruptControllers, checkers_, st_);
        hecCheckers_ = std::make_unique<HardwareErrorCheckers>(hec_.get());
        checkers_->add(&hecCheckers_->allChannels(), st_);
        ASSERT_EQ(st_.code, 0);
    }
    void TearDown() override {
        if (checkers_ != nullptr) checkers_->remove(&hecCheckers_->allChannels(), st_);
    }

    tStatus st_;
    kdut::HardwareStateCheckerComposite* checkers_ = nullptr;
    std::vector<std::unique_ptr<WindowedFrontEndAccessor>> ports_;
    std::unique_ptr<kzvorn_regmaps::tTolvaneIsoFpgaRegMap> isoFpga_;
    kzvorn_regmaps::tTolvaneIsoChannelRegMap* channels_[4] = {};
    IsoBoardErrorMuxInputMap isoBoardInputs_{st_};
    IsoChannelErrorMuxInputMap channelInputs_{st_};
    IsoChannelInterruptMuxInputMap interruptInputs_{st_};
    kzvorn_driver_codegen::ErrorMap errors_{st_};
    std::unique_ptr<ErrorControllerFactory> factory_;
    std::unique_ptr<vantrel_shared::IsoErrorControllers> controllers_;
    std::unique_ptr<HardwareErrorController> hec_;
    std::unique_ptr<HardwareErrorCheckers> hecCheckers_;
};

// Level 5 started the board's manager: a board error reaches the check, the device's check
// request (through its composite) and the record, where the channels are the remembered ones.
TEST_F(DeviceErrors, TheLevelFiveBoardControllerLeadsTheCheckAndTheRecord) {
    ASSERT_EQ(add(), 0);
    ASSERT_GE(tracker().reached, 6);
    build();
    tStatus clean;
    hec_->checkErrorState(0xF, clean);
    EXPECT_EQ(clean.code, 0);

    blocks_.nonIsolatedFpga.raiseError(board::NonIsolatedFpga::kNonIsolatedBlock, 0x20D);
    tStatus checked;
    hec_->checkErrorState(0, checked);
    EXPECT_EQ(checked.code, KZ_DEVICE_CODE(0xBFFA4094));
    tStatus composite;
    device()->getHelper()->checkHardwareState(0, composite);
    EXPECT_EQ(composite.code, KZ_DEVICE_CODE(0xBFFA4094));

    tStatus read;
    const vantrel_shared::TolvaneHardwareErrors record = hec_->getErrors(read);
    EXPECT_EQ(read.code, 0);
    EXPECT_EQ(record.boardErrorId(), 0x20D);
    EXPECT_TRUE(record.isBoardInputLatched(0x20D));
    EXPECT_FALSE(record.channelErrorsLive());
}

}  // namespace
}  // namespace tolvanetest
