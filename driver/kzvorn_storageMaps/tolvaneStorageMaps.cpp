#include "kzvorn_storageMaps/tolvaneStorageMaps.h"

namespace kzvorn_storagemaps {

static_assert(TolvaneStorageMaps::kCalibrationBase + TolvaneStorageMaps::kCalibrationMapCount *
                          CalibrationStorageMap::kSize == 0x1A000,
              "the maps cover the first 104 KB of the flash");

template <class Visit>
void TolvaneStorageMaps::forEachMap(Visit visit) {
    visit(PoscStorageMap::getMapNames()[0], posc);
    visit(ManufacturingStorageMap::getMapNames()[0], manufacturing);
    visit(kzvoltixcalibrationtools::HeaderStorageMap::getMapNames()[0], header);
    for (size_t k = 0; k < kCalibrationMapCount; ++k) visit(CalibrationStorageMap::getMapNames()[k], calibration[k]);
}

void TolvaneStorageMaps::registerMaps(tStatus& status) {
    // A failed registration leaves its code; the names after it are not registered.
    forEachMap([&](const char* name, storagemap::StorageMapInterface& map) { registry->add(name, map, status); });
}

TolvaneStorageMaps::~TolvaneStorageMaps() {
    const char* names[3 + kCalibrationMapCount];
    size_t count = 0;
    forEachMap([&](const char* name, storagemap::StorageMapInterface&) { names[count++] = name; });
    tStatus dropped;
    while (count > 0) registry->remove(names[--count], dropped);
}

}  // namespace kzvorn_storagemaps
