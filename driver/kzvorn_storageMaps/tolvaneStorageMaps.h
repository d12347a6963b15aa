// The nineteen storage maps of the board's serial flash, built on the flash window and registered
// by name.
#pragma once

#include <cstddef>
#include <cstdint>
#include "kzhtl/utility.h"

#include "kzvoltixCalibrationTools/storageMaps/headerStorageMap.h"
#include "kzvorn_storageMaps/calibrationStorageMap.h"
#include "kzvorn_storageMaps/manufacturingStorageMap.h"
#include "kzvorn_storageMaps/poscStorageMap.h"
#include "storageMap/storageMapDispatcher.h"

namespace kzvorn_storagemaps {

class TolvaneStorageMaps {
public:
    using tStatus = nKZAPALS100::tStatus;

    static constexpr uint64_t kPoscBase = 0x0;
    static constexpr uint64_t kManufacturingBase = 0x8000;
    static constexpr uint64_t kHeaderBase = 0x9000;
    // Calibration map k = kind x 4 + channel (kinds default, factory, external, self).
    static constexpr uint64_t kCalibrationBase = 0xA000;
    static constexpr size_t kCalibrationMapCount = 16;

    // Builds the maps whatever the status holds; registers them only when it holds no error.
    TolvaneStorageMaps(devicewindow::DeviceWindow* flashWindow, storagemap::StorageMapDispatcher* registry,
                       tStatus& status)
        : TolvaneStorageMaps(flashWindow, registry, status, kzhtl::MakeIndexSequence<kCalibrationMapCount>()) {}
    // Unregisters the names in reverse order; a name that was never registered is no error.
    virtual ~TolvaneStorageMaps();
    TolvaneStorageMaps(const TolvaneStorageMaps&) = delete;
    TolvaneStorageMaps& operator=(const TolvaneStorageMaps&) = delete;

    storagemap::StorageMapDispatcher* registry;
    PoscStorageMap posc;
    ManufacturingStorageMap manufacturing;
    kzvoltixcalibrationtools::HeaderStorageMap header;
    CalibrationStorageMap calibration[kCalibrationMapCount];

private:
    template <size_t... k>
    TolvaneStorageMaps(devicewindow::DeviceWindow* flashWindow, storagemap::StorageMapDispatcher* registry,
                       tStatus& status, kzhtl::IndexSequence<k...>)
        : registry(registry),
          posc(kPoscBase, flashWindow, status),
          manufacturing(kManufacturingBase, flashWindow, status),
          header(kHeaderBase, flashWindow, status),
          calibration{{kCalibrationBase + k * CalibrationStorageMap::kSize, flashWindow, status}...} {
        registerMaps(status);
    }

    // Calls visit(name, map) in the order of registration.
    template <class Visit>
    void forEachMap(Visit visit);
    void registerMaps(tStatus& status);
};

}  // namespace kzvorn_storagemaps
