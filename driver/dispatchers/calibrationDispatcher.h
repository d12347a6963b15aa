// The calibration requests' way to the channels' calibration controllers.
#pragma once

#include <cstdint>

#include "controllers/calibrationControllersInterface.h"
#include "kzhtl/sharedPtr.h"

namespace kzvorn_driver {

class CalibrationDispatcher {
public:
    using tStatus = nKZAPALS100::tStatus;

    explicit CalibrationDispatcher(const kzhtl::SharedPtr<CalibrationControllersInterface>& controllers)
        : controllers_(controllers) {}
    virtual ~CalibrationDispatcher() {}
    CalibrationDispatcher(const CalibrationDispatcher&) = delete;
    CalibrationDispatcher& operator=(const CalibrationDispatcher&) = delete;

    // The offset the channel's charge balancer measures for the range code (1, 2, 4 or 8). A
    // channel above 3 or another code: -52005 and 0, and nothing reaches the channel.
    uint16_t calculateChargeBalanceOffset(uint8_t channel, uint8_t rangeCode, tStatus& status);

private:
    kzhtl::SharedPtr<CalibrationControllersInterface> controllers_;
};

}  // namespace kzvorn_driver
