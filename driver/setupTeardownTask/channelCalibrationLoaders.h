// Setup level 15: one calibration loader per channel, every channel loaded from its stored
// calibration, then the common-mode current digipot set from the manufacturing record.
#pragma once

#include <cstdint>

#include "controllers/calibrationControllersInterface.h"
#include "device/storageMaps.h"
#include "kzhtl/sharedPtr.h"
#include "kzhtl/vector.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoFpgaRegMap.h"
#include "setupTeardownTask/channelCalibrationLoader.h"

namespace kzvorn_driver {

class ChannelCalibrationLoaders {
public:
    using tStatus = nKZAPALS100::tStatus;

    // A loader per channel over the isolated FPGA map's channel map and the channel's
    // charge-balance controller (-52000 when one cannot be allocated, and nothing is loaded); then
    // channels 0 to 3 loaded with validation.
    ChannelCalibrationLoaders(kzvorn_regmaps::tTolvaneIsoFpgaRegMap* isoFpgaMap,
                              CalibrationControllersInterface* controllers, StorageMaps* storageMaps, tStatus& status);
    // Releases the loaders; writes no register.
    ~ChannelCalibrationLoaders() = default;
    ChannelCalibrationLoaders(const ChannelCalibrationLoaders&) = delete;
    ChannelCalibrationLoaders& operator=(const ChannelCalibrationLoaders&) = delete;

    // The channels of the mask in ascending order, then the digipot, written even when it holds
    // the value already. The first failure ends the load.
    void loadCalibrationToFirmware(uint64_t channelMask, bool validate, tStatus& status);

private:
    // With validation the stored byte only under a valid checksum, else the middle setting.
    uint8_t digipotSetting(bool validate, tStatus& status);

    kzvorn_regmaps::tTolvaneIsoFpgaRegMap* isoFpgaMap_;
    StorageMaps* storageMaps_;
    kzhtl::Vector<kzhtl::SharedPtr<ChannelCalibrationLoader>> loaders_;
};

}  // namespace kzvorn_driver
