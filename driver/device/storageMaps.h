// The product's stored-data maps on the flash window, with each channel's four calibration maps
// gathered in a group that knows the calibration format this driver reads.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kzvorn_storageMaps/tolvaneStorageMaps.h"
#include "vantrel_shared/channelCalibrationStorageMaps.h"

namespace kzvorn_driver {

class StorageMaps {
public:
    using tStatus = nKZAPALS100::tStatus;
    using CalibrationGroup = vantrel_shared::ChannelCalibrationStorageMaps<kzvorn_storagemaps::CalibrationStorageMap>;

    static constexpr size_t kChannelCount = 4;
    // 1.0.0d4, current and oldest compatible.
    static constexpr uint32_t kCalibrationMapVersion = 0x01000004;

    // The nineteen maps are built whatever the status holds and registered when it holds no error.
    StorageMaps(devicewindow::DeviceWindow* flashWindow, storagemap::StorageMapDispatcher* registry, tStatus& status);
    // Removes the nineteen names.
    virtual ~StorageMaps() {}
    StorageMaps(const StorageMaps&) = delete;
    StorageMaps& operator=(const StorageMaps&) = delete;

    kzvorn_storagemaps::TolvaneStorageMaps maps;
    CalibrationGroup channels[kChannelCount];
    CalibrationGroup* channelGroups[kChannelCount];
};

}  // namespace kzvorn_driver
