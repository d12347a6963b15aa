// The nineteen maps of the board's flash image, registered as the bring-up registers them.
#pragma once

#include <string>
#include <vector>

#include "flash_fixture.h"
#include "kzvorn_storageMaps/tolvaneStorageMaps.h"
#include "vantrel_shared/channelCalibrationStorageMaps.h"

namespace storagemap_test {

using kzvorn_storagemaps::CalibrationStorageMap;
using kzvorn_storagemaps::TolvaneStorageMaps;
using CalibrationGroup = vantrel_shared::ChannelCalibrationStorageMaps<CalibrationStorageMap>;

constexpr uint32_t kHeaderVersion = 0x01000000;
constexpr uint32_t kManufacturingVersion = 0x01000001;
constexpr uint32_t kCalibrationVersion = 0x01000004;

// "Header_Ver1.0.0d0": the name with the version the board writes.
inline std::string versionedName(const board::StoredRecord& record) {
    return std::string(record.name) + "_Ver1.0.0d" + std::to_string(record.version & 0x3FFF);
}

// The board's image behind a window, the registry and the map set on it, and one calibration
// group per channel as the bring-up builds them.
struct MapsFixture : FlashFixture {
    explicit MapsFixture(const board::FlashImage& image = board::FlashImage::standard())
        : FlashFixture(image), maps(&window, &registry, buildStatus) {
        for (uint32_t channel = 0; channel < 4; ++channel) {
            CalibrationGroup& group = groups[channel];
            group.defaultCalibration = &maps.calibration[channel];
            group.factoryCalibration = &maps.calibration[4 + channel];
            group.externalCalibration = &maps.calibration[8 + channel];
            group.selfCalibration = &maps.calibration[12 + channel];
            group.currentVersion = group.oldestCompatibleVersion = kCalibrationVersion;
        }
    }

    storagemap::StorageMapInterface* lookUp(const char* name, tStatus& status) {
        storagemap::StorageMapInterface* map = nullptr;
        registry.getRegistration(name, map, status, nullptr);
        return map;
    }

    // Per record, in the board's order: does the driver accept its checksum / its versions?
    std::vector<bool> checksumResults() {
        std::vector<bool> results;
        for (const board::StoredRecord& record : board::storedRecords()) {
            if (!record.checksummed) continue;
            tStatus status;
            results.push_back(lookUp(versionedName(record).c_str(), status)->isChecksumValid(status));
            EXPECT_EQ(status.getCode(), 0) << record.name;
        }
        return results;
    }
    std::vector<bool> versionResults() {
        tStatus status;
        std::vector<bool> results = {
            vantrel_shared::areStoredVersionsValid(maps.manufacturing, kManufacturingVersion, kManufacturingVersion,
                                                   status),
            vantrel_shared::areStoredVersionsValid(maps.header, kHeaderVersion, kHeaderVersion, status)};
        for (uint32_t k = 0; k < 16; ++k) {
            results.push_back(groups[k % 4].areVersionsValid(maps.calibration[k], status));
        }
        EXPECT_EQ(status.getCode(), 0);
        return results;
    }

    storagemap::StorageMapDispatcher registry;
    tStatus buildStatus;
    TolvaneStorageMaps maps;
    CalibrationGroup groups[4];
};

}  // namespace storagemap_test
