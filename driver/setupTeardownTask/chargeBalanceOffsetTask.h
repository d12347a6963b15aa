// The step after a complete bring-up: every charge-balance range that the stored calibration
// leaves uncalibrated is measured on the channel instead.
#pragma once

#include "controllers/calibrationControllersInterface.h"
#include "device/storageMaps.h"

namespace kzvorn_driver {

class ChargeBalanceOffsetTask {
public:
    // Works only on a status without an error, which after a bring-up means level 22 was reached.
    // Per channel, the record level 15 loads with validation decides; a channel without one is
    // skipped. Stored records are only read. A failed measurement stays in the status and ends the
    // step.
    ChargeBalanceOffsetTask(StorageMaps& storageMaps, CalibrationControllersInterface& controllers,
                            nKZAPALS100::tStatus& status);
};

}  // namespace kzvorn_driver
