// One channel's four calibration records and whether their stored versions and checksums are
// acceptable. Invalid versions or checksums are a false result without a code; the caller turns
// them into its own code.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"
#include "storageMap/storageMapCommon.h"

namespace vantrel_shared {

// The system reads formats [oldestSupported, currentSupported]; a record declares itself readable
// by [storedOldest, storedVersion]. Both ranges must be well formed and overlap.
constexpr bool isStoredVersionCompatible(uint32_t storedVersion, uint32_t storedOldest, uint32_t currentSupported,
                                         uint32_t oldestSupported) {
    return oldestSupported <= currentSupported && storedOldest <= storedVersion &&
           storedOldest <= currentSupported && oldestSupported <= storedVersion;
}

// The version rule for one map with mapVersion and oldestCompatibleMapVersion fields; both are
// read under the map's lock, so a concurrent writer cannot hand over half of a new pair.
template <class Map>
bool areStoredVersionsValid(Map& map, uint32_t currentSupported, uint32_t oldestSupported,
                            nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return false;
    storagemap::StorageMapCommon::Guard guard(map, status);
    const uint32_t storedOldest = map.getOldestCompatibleMapVersion(status);
    const uint32_t storedVersion = map.getMapVersion(status);
    return status.isNotFatal() &&
           isStoredVersionCompatible(storedVersion, storedOldest, currentSupported, oldestSupported);
}

template <class Map>
class ChannelCalibrationStorageMaps {
public:
    using tStatus = nKZAPALS100::tStatus;

    bool areVersionsValid(Map& map, tStatus& status) {
        return areStoredVersionsValid(map, currentVersion, oldestCompatibleVersion, status);
    }

    // In the order default, factory, external, self; stops at the first invalid map.
    bool areVersionsValid(tStatus& status) {
        for (Map* map : maps()) {
            if (!areVersionsValid(*map, status)) return false;
        }
        return true;
    }

    bool areChecksumsValid(tStatus& status) {
        for (Map* map : maps()) {
            if (status.isFatal() || !map->isChecksumValid(status)) return false;
        }
        return true;
    }

    // The map to load: the first of self, external, factory and default whose checksum is valid
    // and whose versions this driver reads; null when none is, or when a check fails (its error is
    // then in the status).
    Map* firstUsableMap(tStatus& status) {
        Map* const preference[] = {selfCalibration, externalCalibration, factoryCalibration, defaultCalibration};
        for (Map* map : preference) {
            if (status.isFatal()) return nullptr;
            if (map->isChecksumValid(status) && areVersionsValid(*map, status)) return map;
        }
        return nullptr;
    }

    Map* defaultCalibration = nullptr;
    Map* factoryCalibration = nullptr;
    Map* externalCalibration = nullptr;
    Map* selfCalibration = nullptr;
    uint32_t currentVersion = 0;
    uint32_t oldestCompatibleVersion = 0;

private:
    struct Maps {
        Map* entries[4];
        Map* const* begin() const { return entries; }
        Map* const* end() const { return entries + 4; }
    };
    Maps maps() const { return {{defaultCalibration, factoryCalibration, externalCalibration, selfCalibration}}; }
};

}  // namespace vantrel_shared
