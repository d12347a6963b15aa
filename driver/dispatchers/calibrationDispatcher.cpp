#include "dispatchers/calibrationDispatcher.h"

#include "controllers/channelControllers.h"
#include "controllers/chargeBalanceController.h"

namespace kzvorn_driver {

uint16_t CalibrationDispatcher::calculateChargeBalanceOffset(uint8_t channel, uint8_t rangeCode, tStatus& status) {
    if (status.isFatal()) return 0;
    if (channel >= kSequencerChannelCount || chargeBalanceRangeRow(rangeCode) >= kChargeBalanceRangeCount) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
        return 0;
    }
    ChargeBalanceControllerInterface* controller =
        controllers_ ? controllers_->getChargeBalanceController(channel) : nullptr;
    if (controller == nullptr) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusResourceNotFound);
        return 0;
    }
    return controller->calculate(rangeCode, status);
}

}  // namespace kzvorn_driver
