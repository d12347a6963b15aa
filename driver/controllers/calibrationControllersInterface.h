// The four channels' calibration controllers, as the calibration loading and the charge-balance
// step after bring-up reach them.
#pragma once

#include <cstdint>

#include "controllers/chargeBalanceControllerInterface.h"

namespace kzvorn_driver {

class CalibrationControllersInterface {
public:
    virtual ~CalibrationControllersInterface() {}
    // Null for a channel above 3.
    virtual ChargeBalanceControllerInterface* getChargeBalanceController(uint8_t channel) = 0;
};

}  // namespace kzvorn_driver
