// Checkers of the board's stored data: every checksummed map must hold its checksum, and every map
// must carry a format version this driver reads.
#pragma once

#include <cstdint>

#include "device/storageMaps.h"
#include "kdut/hardwareStateChecker.h"

namespace kzvorn_driver {

// Packed versions [oldest supported, newest supported] per map.
struct SupportedMapVersions {
    uint32_t oldest;
    uint32_t newest;
};
constexpr SupportedMapVersions kSupportedHeaderVersions = {0x01000000, 0x01000000};            // 1.0.0d0
constexpr SupportedMapVersions kSupportedManufacturingVersions = {0x01000001, 0x01000001};     // 1.0.0d1

class StorageMapVersionChecker : public kdut::HardwareStateCheckerInterface {
public:
    explicit StorageMapVersionChecker(StorageMaps& maps) : maps_(maps) {}
    ~StorageMapVersionChecker() override {}

    // 0xBFFA4082 when a map's version is not supported.
    void checkHardwareState(nKZAPALS100::tStatus& status) override;
    // Header, Manufacturing, then the calibration groups of channels 0 to 3; false at the first
    // map that fails, and false when the status holds an error.
    virtual bool areVersionsSupported(nKZAPALS100::tStatus& status);

private:
    StorageMaps& maps_;
};

class StorageMapChecksumChecker : public kdut::HardwareStateCheckerInterface {
public:
    explicit StorageMapChecksumChecker(StorageMaps& maps) : maps_(maps) {}
    ~StorageMapChecksumChecker() override {}

    // 0xBFFA4088 when a checksum does not hold.
    void checkHardwareState(nKZAPALS100::tStatus& status) override;
    // Header, Manufacturing, then the sixteen calibration maps; Posc has no checksum.
    bool areChecksumsValid(nKZAPALS100::tStatus& status);

private:
    StorageMaps& maps_;
};

// The manufacturing map's version rule, shared by the checker and the serial-number read.
bool isManufacturingVersionSupported(StorageMaps& maps, nKZAPALS100::tStatus& status);

}  // namespace kzvorn_driver
