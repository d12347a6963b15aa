#include "device/storageMaps.h"

// Every operation of the channel groups, compiled for the product's calibration map.
template class vantrel_shared::ChannelCalibrationStorageMaps<kzvorn_storagemaps::CalibrationStorageMap>;

namespace kzvorn_driver {

namespace {

enum CalibrationKind : size_t { kDefault, kFactory, kExternal, kSelf };

}  // namespace

StorageMaps::StorageMaps(devicewindow::DeviceWindow* flashWindow, storagemap::StorageMapDispatcher* registry,
                         tStatus& status)
    : maps(flashWindow, registry, status) {
    for (size_t c = 0; c < kChannelCount; ++c) {
        CalibrationGroup& group = channels[c];
        // Calibration map k = kind x 4 + channel.
        group.defaultCalibration = &maps.calibration[kDefault * kChannelCount + c];
        group.factoryCalibration = &maps.calibration[kFactory * kChannelCount + c];
        group.externalCalibration = &maps.calibration[kExternal * kChannelCount + c];
        group.selfCalibration = &maps.calibration[kSelf * kChannelCount + c];
        group.currentVersion = kCalibrationMapVersion;
        group.oldestCompatibleVersion = kCalibrationMapVersion;
        channelGroups[c] = &group;
    }
}

}  // namespace kzvorn_driver
