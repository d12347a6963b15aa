// One channel's calibration loading: the choice of the stored calibration to load and its
// conversion into the channel's calibration registers, in the order the channel FPGA takes them.
#pragma once

#include <cstdint>

#include "controllers/chargeBalanceControllerInterface.h"
#include "kzapal/protons/synchronization.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoChannelRegMap.h"
#include "kzvorn_storageMaps/calibrationStorageMap.h"
#include "vantrel_shared/channelCalibrationStorageMaps.h"

namespace kzvorn_driver {

class ChannelCalibrationLoader {
public:
    using tStatus = nKZAPALS100::tStatus;
    using CalibrationMap = kzvorn_storagemaps::CalibrationStorageMap;
    using CalibrationGroup = vantrel_shared::ChannelCalibrationStorageMaps<CalibrationMap>;

    // Borrows all three; creates the loader's lock (-52000 when the kernel layer has none).
    ChannelCalibrationLoader(kzvorn_regmaps::tTolvaneIsoChannelRegMap* channelMap, CalibrationGroup* calibration,
                             ChargeBalanceControllerInterface* chargeBalance, tStatus& status);
    ChannelCalibrationLoader(const ChannelCalibrationLoader&) = delete;
    ChannelCalibrationLoader& operator=(const ChannelCalibrationLoader&) = delete;

    // With validation the first usable stored map, none leaving the channel as it is without an
    // error; without it the self map as user mode last wrote its cached copy.
    void loadCalibrationToFirmware(bool validate, tStatus& status);
    // The whole write sequence. The first failure ends it; what was written stays written.
    void writeCalibration(CalibrationMap& map, tStatus& status);

private:
    void writeVoltageRanges(CalibrationMap& map, tStatus& status);
    void writeCurrentRanges(CalibrationMap& map, tStatus& status);
    void writeChargeBalanceOffsets(CalibrationMap& map, tStatus& status);
    void writePredictiveGains(CalibrationMap& map, tStatus& status);

    kzvorn_regmaps::tTolvaneIsoChannelRegMap* channelMap_;
    CalibrationGroup* calibration_;
    ChargeBalanceControllerInterface* chargeBalance_;
    // Held across a whole load, so two loads of the channel never interleave their pointer and
    // data writes. Lock order: loader, charge-balance controller, access port; a storage map's
    // lock is only taken inside its getters, never across a register write.
    nKZAPAL000::tMutex lock_;
};

}  // namespace kzvorn_driver
