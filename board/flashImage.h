// Contents of the board's serial flash: the stored records the driver reads at bring-up, written by
// the board's own code (its own layout table and CRC-32), so a fault in the driver's storage maps
// cannot hide itself. The standard image is what a calibrated board leaves the factory with;
// the knobs spoil one record at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include <vector>

namespace board {

constexpr uint32_t kFlashSize = 0x100000;
constexpr uint32_t kFlashSectorSize = 0x1000;

// One stored record: where it lives and the format version the factory writes.
struct StoredRecord {
    const char* name;
    uint32_t offset;
    uint32_t size;
    uint32_t version;  // packed "1.0.0dN"; the oldest compatible version equals it
    bool checksummed;  // CRC-32 of bytes 4..size-1 stored in bytes 0..3
};

constexpr uint32_t kCalibrationKinds = 4;
constexpr uint32_t kChannels = 4;
constexpr size_t kStoredRecordCount = 3 + kCalibrationKinds * kChannels;

// Posc, Manufacturing, Header, then the calibration records kind by kind (default, factory,
// external, self), channels 0 to 3 within each kind.
const std::array<StoredRecord, kStoredRecordCount>& storedRecords();
// Aborts on a name that is not a record: a test typo must not pass silently.
const StoredRecord& storedRecord(std::string_view name);

// Byte offsets inside the records.
namespace record {
constexpr uint32_t kChecksum = 0;
constexpr uint32_t kMapVersion = 4;
constexpr uint32_t kOldestCompatibleMapVersion = 8;

constexpr uint32_t kBoardSerialNumber = 12;
constexpr uint32_t kBoardRevision = 16;
constexpr uint32_t kOldestCompatibleBoardRevision = 17;
constexpr uint32_t kCommonModeCurrentDigipot = 18;
constexpr uint32_t kSinkingBoardBiasDAC = 19;  // 4 bytes, unaligned

constexpr uint32_t kPassword = 12;  // 32-byte text
constexpr uint32_t kComments = 44;  // 1024-byte text

// Calibration record: 16-byte fixed-point coefficients (64 fraction bits, low word first) unless
// noted.
constexpr uint32_t kTemperature = 12;  // 8 bytes
constexpr uint32_t kTime = 20;         // 16-byte time stamp
constexpr uint32_t kCalibrationDueDate = 36;
constexpr uint32_t kVoltageReferenceInVolts = 52;
constexpr uint32_t kResistor5KReferenceInOhms = 68;
constexpr uint32_t kResidualLocalSenseOffset = 84;    // 3
constexpr uint32_t kResidualRemoteSenseOffset = 132;  // 3
constexpr uint32_t kResidualCurrentOffset = 196;      // 7
constexpr uint32_t kUnused2 = 308;                    // 7 x 32-bit
constexpr uint32_t kPredictiveGains = 336;            // 49
constexpr uint32_t kChargeBalanceOffsets = 1120;      // 4
constexpr uint32_t kLowCurrentCmcGain = 1184;         // 6
constexpr uint32_t kThreeAmpCmcGain = 1280;
constexpr uint32_t kVoltageRemoteOffset = 1296;  // 3
constexpr uint32_t kVoltageOffset = 1344;        // 3
constexpr uint32_t kVoltageGain = 1392;          // 3
constexpr uint32_t kLowCurrentOffset = 1472;     // 6
constexpr uint32_t kLowCurrentGain = 1568;       // 6
constexpr uint32_t kThreeAmpOffset = 1664;
constexpr uint32_t kThreeAmpGain = 1680;
constexpr uint32_t kCalibratedDacZeroV = 1696;
constexpr uint32_t kDACCurrentGainCoarse = 1700;
constexpr uint32_t kDACCurrentGainFine = 1701;
}  // namespace record

struct Coefficient {
    uint64_t low;
    uint64_t high;
    bool operator==(const Coefficient& other) const { return low == other.low && high == other.high; }
};

// What the standard image holds.
namespace factory {
constexpr uint32_t kSerialNumber = 0x01C0FFEE;
constexpr uint8_t kBoardRevision = 2;
constexpr uint8_t kOldestCompatibleBoardRevision = 1;
constexpr uint8_t kCommonModeCurrentDigipot = 0x5A;
constexpr uint32_t kSinkingBoardBiasDAC = 0x00008A52;
constexpr const char* kComments = "Factory calibration, simulated board";
constexpr uint64_t kTemperature = 0x4039000000000000;  // 25.0 as an IEEE double
constexpr uint64_t kTime[2] = {1765000000, 0};
constexpr uint64_t kCalibrationDueDate[2] = {1796536000, 0};
constexpr uint32_t kCalibratedDacZeroV = 0x00080000;
constexpr uint8_t kDACCurrentGainCoarse = 0x80;
constexpr uint8_t kDACCurrentGainFine = 0x40;

// The coefficient that element `index` of the field at `fieldOffset` holds in calibration record
// `k` (kind x 4 + channel): values inside the ranges the calibration loading converts, different
// per record so a mix-up of records shows. Zero for offsets that are no coefficient field.
Coefficient coefficient(uint32_t k, uint32_t fieldOffset, uint32_t index);
// 32-bit elements of unused2.
int32_t unused2(uint32_t k, uint32_t index);
}  // namespace factory

class FlashImage {
public:
    // Every byte 0xFF, as a new chip.
    static FlashImage erased();
    // Manufacturing, Header and the sixteen calibration records valid; Posc a byte pattern; the
    // rest erased.
    static FlashImage standard();

    // The whole 1 MiB, as the serial flash model loads it.
    const std::vector<uint8_t>& bytes() const { return *bytes_; }
    const uint8_t* data() const { return bytes_->data(); }
    uint8_t* data() { return own().data(); }
    size_t size() const { return bytes_->size(); }
    // The bytes as they stand, for flash chips to start from without a copy of each; a later
    // change of this image copies them first.
    std::shared_ptr<const std::vector<uint8_t>> share() const { return bytes_; }

    // The stored checksum no longer matches; the data are untouched.
    FlashImage& corruptChecksum(std::string_view name);
    // Stores a version pair and seals the checksum again, so only the version is wrong.
    FlashImage& setVersions(std::string_view name, uint32_t version, uint32_t oldestCompatible);
    // Stores element `index` of the coefficient field at `fieldOffset` of a calibration record and
    // seals the checksum again, so only that coefficient differs.
    FlashImage& setCoefficient(std::string_view name, uint32_t fieldOffset, uint32_t index, const Coefficient& value);
    // A record that demands a newer reader than the driver's (version and oldest one above).
    FlashImage& breakVersion(std::string_view name);
    FlashImage& setOldestCompatibleBoardRevision(uint8_t revision);
    FlashImage& erase(std::string_view name);
    // Recomputes and stores the checksum of a record after a raw change.
    FlashImage& sealChecksum(std::string_view name);

    void write(uint32_t address, const void* source, size_t size);
    void read(uint32_t address, void* destination, size_t size) const;
    uint32_t read32(uint32_t address) const;

    uint32_t storedChecksum(std::string_view name) const;
    // The board's CRC-32 over bytes 4..size-1 of the record.
    uint32_t calculatedChecksum(std::string_view name) const;
    bool isChecksumValid(std::string_view name) const {
        return storedChecksum(name) == calculatedChecksum(name);
    }

private:
    FlashImage();

    // The bytes, the image's alone before any change (copies of the image share them until then).
    std::vector<uint8_t>& own();

    std::shared_ptr<std::vector<uint8_t>> bytes_;
};

}  // namespace board
