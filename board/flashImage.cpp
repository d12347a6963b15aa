#include "board/flashImage.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/crc32.h"

namespace board {

namespace {

constexpr uint32_t kVersion0 = 0x01000000;  // "1.0.0d0"
constexpr uint32_t kVersion1 = 0x01000001;  // "1.0.0d1"
constexpr uint32_t kVersion4 = 0x01000004;  // "1.0.0d4"
constexpr uint32_t kRecordSize = 0x1000;
constexpr uint32_t kFirstCalibrationRecord = 0xA000;

std::array<StoredRecord, kStoredRecordCount> makeRecords() {
    static const char* const kKinds[kCalibrationKinds] = {"Default", "Factory", "External", "Self"};
    // Names live as long as the process; built once.
    static char names[kCalibrationKinds * kChannels][40];
    std::array<StoredRecord, kStoredRecordCount> records{{
        {"Posc", 0x0, 0x8000, kVersion0, false},
        {"Manufacturing", 0x8000, kRecordSize, kVersion1, true},
        {"Header", 0x9000, kRecordSize, kVersion0, true},
    }};
    for (uint32_t k = 0; k < kCalibrationKinds * kChannels; ++k) {
        std::snprintf(names[k], sizeof names[k], "%sCalibrationChannel%u", kKinds[k / kChannels], k % kChannels);
        records[3 + k] = {names[k], kFirstCalibrationRecord + k * kRecordSize, kRecordSize, kVersion4, true};
    }
    return records;
}

// r = value x 2^shift as a 128-bit two's complement number.
Coefficient shifted(int64_t value, unsigned shift) {
    const unsigned __int128 r = static_cast<unsigned __int128>(static_cast<__int128>(value)) << shift;
    return {static_cast<uint64_t>(r), static_cast<uint64_t>(r >> 64)};
}

}  // namespace

const std::array<StoredRecord, kStoredRecordCount>& storedRecords() {
    static const std::array<StoredRecord, kStoredRecordCount> records = makeRecords();
    return records;
}

const StoredRecord& storedRecord(std::string_view name) {
    for (const StoredRecord& record : storedRecords()) {
        if (name == record.name) return record;
    }
    std::fprintf(stderr, "board: no stored record named %.*s\n", static_cast<int>(name.size()), name.data());
    std::abort();
}

namespace factory {

Coefficient coefficient(uint32_t k, uint32_t fieldOffset, uint32_t index) {
    const int64_t n = static_cast<int64_t>(k * 16 + index);
    switch (fieldOffset) {
    case record::kVoltageReferenceInVolts:
        return {static_cast<uint64_t>(n + 1) << 40, 5};
    case record::kResistor5KReferenceInOhms:
        return {static_cast<uint64_t>(n + 1) << 44, 5000};
    // Gains near the middle of the 24-bit gain registers: r < 2^55.
    case record::kVoltageGain:
    case record::kLowCurrentGain:
    case record::kThreeAmpGain:
        return shifted((int64_t{1} << 23) + n, 31);
    // Offsets of a few register steps, the residual ones negative: |r| < 2^60.
    case record::kVoltageOffset:
    case record::kVoltageRemoteOffset:
    case record::kLowCurrentOffset:
    case record::kThreeAmpOffset:
        return shifted(n + 3, 30);
    case record::kResidualLocalSenseOffset:
    case record::kResidualRemoteSenseOffset:
    case record::kResidualCurrentOffset:
        return shifted(-(n + 1), 30);
    // Common-mode current gains: |r| < 2^56.
    case record::kLowCurrentCmcGain:
    case record::kThreeAmpCmcGain:
        return shifted((int64_t{1} << 22) + n, 33);
    // Non-zero 14-bit charge-balance offsets in bits 63 to 76.
    case record::kChargeBalanceOffsets:
        return shifted(0x100 + n, 63);
    // Signed 32-bit predictive gains in bits 60 to 91.
    case record::kPredictiveGains:
        return shifted(0x10000 + static_cast<int64_t>(k * 64 + index), 60);
    default:
        return {0, 0};
    }
}

int32_t unused2(uint32_t k, uint32_t index) { return -static_cast<int32_t>(k * 16 + index); }

}  // namespace factory

FlashImage::FlashImage() : bytes_(std::make_shared<std::vector<uint8_t>>(kFlashSize, 0xFF)) {}

std::vector<uint8_t>& FlashImage::own() {
    if (bytes_.use_count() > 1) bytes_ = std::make_shared<std::vector<uint8_t>>(*bytes_);
    return *bytes_;
}

FlashImage FlashImage::erased() { return FlashImage(); }

FlashImage FlashImage::standard() {
    FlashImage image;
    auto put8 = [&](uint32_t address, uint8_t value) { image.write(address, &value, 1); };
    auto put32 = [&](uint32_t address, uint32_t value) { image.write(address, &value, 4); };
    auto putCoefficient = [&](uint32_t address, const Coefficient& value) {
        image.write(address, &value.low, 8);
        image.write(address + 8, &value.high, 8);
    };

    const StoredRecord& posc = storedRecord("Posc");
    for (uint32_t i = 0; i < posc.size; ++i) put8(posc.offset + i, static_cast<uint8_t>(i * 7 + 3));

    for (const StoredRecord& stored : storedRecords()) {
        if (!stored.checksummed) continue;
        // The fields cover the start of a record; the rest of its checksummed range is zero.
        std::memset(image.data() + stored.offset + 4, 0, stored.size - 4);
        put32(stored.offset + record::kMapVersion, stored.version);
        put32(stored.offset + record::kOldestCompatibleMapVersion, stored.version);
    }

    const uint32_t m = storedRecord("Manufacturing").offset;
    put32(m + record::kBoardSerialNumber, factory::kSerialNumber);
    put8(m + record::kBoardRevision, factory::kBoardRevision);
    put8(m + record::kOldestCompatibleBoardRevision, factory::kOldestCompatibleBoardRevision);
    put8(m + record::kCommonModeCurrentDigipot, factory::kCommonModeCurrentDigipot);
    put32(m + record::kSinkingBoardBiasDAC, factory::kSinkingBoardBiasDAC);

    const uint32_t h = storedRecord("Header").offset;
    image.write(h + record::kComments, factory::kComments, std::strlen(factory::kComments));

    // Every coefficient field with its element count.
    static const uint32_t kCoefficientFields[][2] = {
        {record::kVoltageReferenceInVolts, 1}, {record::kResistor5KReferenceInOhms, 1},
        {record::kResidualLocalSenseOffset, 3}, {record::kResidualRemoteSenseOffset, 3},
        {record::kResidualCurrentOffset, 7}, {record::kPredictiveGains, 49},
        {record::kChargeBalanceOffsets, 4}, {record::kLowCurrentCmcGain, 6},
        {record::kThreeAmpCmcGain, 1}, {record::kVoltageRemoteOffset, 3},
        {record::kVoltageOffset, 3}, {record::kVoltageGain, 3},
        {record::kLowCurrentOffset, 6}, {record::kLowCurrentGain, 6},
        {record::kThreeAmpOffset, 1}, {record::kThreeAmpGain, 1},
    };
    for (uint32_t k = 0; k < kCalibrationKinds * kChannels; ++k) {
        const uint32_t c = storedRecords()[3 + k].offset;
        image.write(c + record::kTemperature, &factory::kTemperature, 8);
        image.write(c + record::kTime, factory::kTime, 16);
        image.write(c + record::kCalibrationDueDate, factory::kCalibrationDueDate, 16);
        for (const auto& field : kCoefficientFields) {
            for (uint32_t i = 0; i < field[1]; ++i) {
                putCoefficient(c + field[0] + 16 * i, factory::coefficient(k, field[0], i));
            }
        }
        for (uint32_t i = 0; i < 7; ++i) put32(c + record::kUnused2 + 4 * i, factory::unused2(k, i));
        put32(c + record::kCalibratedDacZeroV, factory::kCalibratedDacZeroV);
        put8(c + record::kDACCurrentGainCoarse, factory::kDACCurrentGainCoarse);
        put8(c + record::kDACCurrentGainFine, factory::kDACCurrentGainFine);
    }

    for (const StoredRecord& stored : storedRecords()) {
        if (stored.checksummed) image.sealChecksum(stored.name);
    }
    return image;
}

void FlashImage::write(uint32_t address, const void* source, size_t size) {
    if (address > this->size() || size > this->size() - address) std::abort();
    std::memcpy(data() + address, source, size);
}

void FlashImage::read(uint32_t address, void* destination, size_t size) const {
    if (address > this->size() || size > this->size() - address) std::abort();
    std::memcpy(destination, bytes_->data() + address, size);
}

uint32_t FlashImage::read32(uint32_t address) const {
    uint32_t value;
    read(address, &value, 4);
    return value;
}

uint32_t FlashImage::storedChecksum(std::string_view name) const {
    return read32(storedRecord(name).offset + record::kChecksum);
}

uint32_t FlashImage::calculatedChecksum(std::string_view name) const {
    const StoredRecord& stored = storedRecord(name);
    return crc32(bytes_->data() + stored.offset + 4, stored.size - 4);
}

FlashImage& FlashImage::sealChecksum(std::string_view name) {
    const uint32_t crc = calculatedChecksum(name);
    write(storedRecord(name).offset + record::kChecksum, &crc, 4);
    return *this;
}

FlashImage& FlashImage::corruptChecksum(std::string_view name) {
    const uint32_t wrong = calculatedChecksum(name) ^ 0x00A50000;
    write(storedRecord(name).offset + record::kChecksum, &wrong, 4);
    return *this;
}

FlashImage& FlashImage::setVersions(std::string_view name, uint32_t version, uint32_t oldestCompatible) {
    const uint32_t offset = storedRecord(name).offset;
    write(offset + record::kMapVersion, &version, 4);
    write(offset + record::kOldestCompatibleMapVersion, &oldestCompatible, 4);
    return sealChecksum(name);
}

FlashImage& FlashImage::setCoefficient(std::string_view name, uint32_t fieldOffset, uint32_t index,
                                       const Coefficient& value) {
    const uint32_t address = storedRecord(name).offset + fieldOffset + 16 * index;
    write(address, &value.low, 8);
    write(address + 8, &value.high, 8);
    return sealChecksum(name);
}

FlashImage& FlashImage::breakVersion(std::string_view name) {
    const uint32_t newer = storedRecord(name).version + 1;
    return setVersions(name, newer, newer);
}

FlashImage& FlashImage::setOldestCompatibleBoardRevision(uint8_t revision) {
    write(storedRecord("Manufacturing").offset + record::kOldestCompatibleBoardRevision, &revision, 1);
    return sealChecksum("Manufacturing");
}

FlashImage& FlashImage::erase(std::string_view name) {
    const StoredRecord& stored = storedRecord(name);
    std::memset(data() + stored.offset, 0xFF, stored.size);
    return *this;
}

}  // namespace board
