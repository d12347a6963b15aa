// Setup level 15, the channels' stored calibration loaded into their FPGA registers, and the step
// after level 22, which measures the charge-balance offsets that calibration leaves out.
#include "device/tolvaneHelper.h"
#include "kzapal/protons/memory.h"
#include "kzapal/protons/statusCodes.h"
#include "setupTeardownTask/channelCalibrationLoaders.h"
#include "setupTeardownTask/chargeBalanceOffsetTask.h"

namespace kzvorn_driver {

using nKZAPALS100::tStatus;

namespace {

CalibrationControllersInterface* calibrationControllersOf(IsolatedObjects* isolated) {
    return isolated != nullptr ? isolated->getCalibrationControllers() : nullptr;
}

}  // namespace

void TolvaneHelper::stepChannelCalibration(tStatus& status) {
    // Faked levels 3, 8 or 11 leave no records, maps or controllers to load with.
    StorageMaps* storageMaps = pavoObjects_ != nullptr ? pavoObjects_->getStorageMaps() : nullptr;
    CalibrationControllersInterface* controllers = calibrationControllersOf(isolatedObjects_);
    if (storageMaps == nullptr || isolatedRegMaps_ == nullptr || controllers == nullptr)
        return void(KZ_SET_CODE(status, nKZAPALS100::kStatusResourceNotFound));
    calibrationLoaders_ =
        new (status) ChannelCalibrationLoaders(&isolatedRegMaps_->getIsoFpgaMap(), controllers, storageMaps, status);
}

void TolvaneHelper::teardownCalibrationLoaders(tStatus& status) {
    delete calibrationLoaders_;
    calibrationLoaders_ = nullptr;
}

void TolvaneHelper::stepChargeBalanceOffset(tStatus& status) {
    StorageMaps* storageMaps = pavoObjects_ != nullptr ? pavoObjects_->getStorageMaps() : nullptr;
    CalibrationControllersInterface* controllers = calibrationControllersOf(isolatedObjects_);
    if (storageMaps == nullptr || controllers == nullptr)
        return void(KZ_SET_CODE(status, nKZAPALS100::kStatusResourceNotFound));
    ChargeBalanceOffsetTask task(*storageMaps, *controllers, status);
}

}  // namespace kzvorn_driver
