#include "device/storageMapCheckers.h"

#include "device/statusCodes.h"

namespace kzvorn_driver {

using nKZAPALS100::tStatus;

bool isManufacturingVersionSupported(StorageMaps& maps, tStatus& status) {
    return vantrel_shared::areStoredVersionsValid(maps.maps.manufacturing, kSupportedManufacturingVersions.newest,
                                                  kSupportedManufacturingVersions.oldest, status);
}

bool StorageMapVersionChecker::areVersionsSupported(tStatus& status) {
    if (status.isFatal()) return false;
    if (!vantrel_shared::areStoredVersionsValid(maps_.maps.header, kSupportedHeaderVersions.newest,
                                                kSupportedHeaderVersions.oldest, status))
        return false;
    if (!isManufacturingVersionSupported(maps_, status)) return false;
    for (StorageMaps::CalibrationGroup* group : maps_.channelGroups)
        if (!group->areVersionsValid(status)) return false;
    return true;
}

void StorageMapVersionChecker::checkHardwareState(tStatus& status) {
    if (!areVersionsSupported(status) && status.isNotFatal()) KZ_SET_CODE(status, kStatusStorageMapVersionUnsupported);
}

bool StorageMapChecksumChecker::areChecksumsValid(tStatus& status) {
    if (status.isFatal()) return false;
    if (!maps_.maps.header.isChecksumValid(status) || !maps_.maps.manufacturing.isChecksumValid(status)) return false;
    for (StorageMaps::CalibrationGroup* group : maps_.channelGroups)
        if (!group->areChecksumsValid(status)) return false;
    return status.isNotFatal();
}

void StorageMapChecksumChecker::checkHardwareState(tStatus& status) {
    if (!areChecksumsValid(status) && status.isNotFatal()) KZ_SET_CODE(status, kStatusStorageMapChecksumInvalid);
}

}  // namespace kzvorn_driver
