// The four channels' charge-balance controllers, built together at the channel set-up and reached
// through one object by the calibration loading, the charge-balance step after bring-up and the
// calibration dispatcher.
#pragma once

#include <cstdint>

#include "controllers/calibrationControllersInterface.h"
#include "controllers/channelControllers.h"
#include "controllers/chargeBalanceController.h"

namespace kzvorn_driver {

using ChannelRegMaps = kzvorn_regmaps::tTolvaneIsoChannelRegMap* const[kSequencerChannelCount];
using ChannelCheckers = kdut::HardwareStateCheckerInterface* const[kSequencerChannelCount];

class CalibrationControllers final : public CalibrationControllersInterface {
public:
    // Channel c's controller over map c, checker c and dispatcher c (all borrowed, none null). On
    // an error status nothing is made; a group whose construction failed hands out no controller.
    CalibrationControllers(ChannelRegMaps& maps, ChannelCheckers& checkers, ChannelDispatchers& dispatchers,
                           nKZAPALS100::tStatus& status);
    // The controllers, channel 3 first.
    ~CalibrationControllers() override {}
    CalibrationControllers(const CalibrationControllers&) = delete;
    CalibrationControllers& operator=(const CalibrationControllers&) = delete;

    // Null for a channel above 3.
    ChargeBalanceController* getChargeBalanceController(uint8_t channel) override {
        return channel < kSequencerChannelCount ? controllers_[channel] : nullptr;
    }

private:
    ChargeBalanceController chargeBalance_[kSequencerChannelCount];
    ChargeBalanceController* controllers_[kSequencerChannelCount] = {};
};

}  // namespace kzvorn_driver
