#include "setupTeardownTask/chargeBalanceOffsetTask.h"

#include "setupTeardownTask/coefficientConversion.h"

namespace kzvorn_driver {

namespace {

constexpr uint32_t kChargeBalanceRanges = 4;

}  // namespace

ChargeBalanceOffsetTask::ChargeBalanceOffsetTask(StorageMaps& storageMaps, CalibrationControllersInterface& controllers,
                                                 nKZAPALS100::tStatus& status) {
    for (uint32_t c = 0; c < StorageMaps::kChannelCount && status.isNotFatal(); ++c) {
        kzvorn_storagemaps::CalibrationStorageMap* map = storageMaps.channelGroups[c]->firstUsableMap(status);
        if (map == nullptr) continue;
        ChargeBalanceControllerInterface* controller = controllers.getChargeBalanceController(static_cast<uint8_t>(c));
        for (uint32_t j = 0; j < kChargeBalanceRanges; ++j) {
            const Coefficient stored = map->getChargeBalanceOffsets(j, status);
            if (status.isFatal()) return;
            // Range j's one-hot code; the measured value stays in the channel, not in the record.
            if (isUncalibratedChargeBalanceOffset(stored)) controller->calculate(static_cast<uint8_t>(1u << j), status);
        }
    }
}

}  // namespace kzvorn_driver
