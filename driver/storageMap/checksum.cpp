#include "storageMap/checksum.h"

namespace storagemap {

namespace {

// Sixteen bytes a step: table k gives the CRC of a byte followed by k zero bytes, so the sixteen
// lookups of a block are independent of each other and only their XOR depends on the last step.
// The byte-at-a-time loop of the plain table left the processor waiting on each lookup.
constexpr uint32_t kSliceCount = 16;

struct Crc32Tables {
    uint32_t entries[kSliceCount][256];
};

constexpr Crc32Tables makeCrc32Tables() {
    Crc32Tables tables{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        tables.entries[0][n] = c;
    }
    for (uint32_t k = 1; k < kSliceCount; ++k)
        for (uint32_t n = 0; n < 256; ++n) {
            const uint32_t previous = tables.entries[k - 1][n];
            tables.entries[k][n] = (previous >> 8) ^ tables.entries[0][previous & 0xFF];
        }
    return tables;
}

constexpr Crc32Tables kCrc32Tables = makeCrc32Tables();

inline uint32_t step(uint32_t crc, uint8_t byte) { return kCrc32Tables.entries[0][(crc ^ byte) & 0xFF] ^ (crc >> 8); }

inline uint32_t littleEndian32(const uint8_t* bytes) {
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

// Byte i of the block goes through table 15 - i.
inline uint32_t word(uint32_t value, uint32_t firstTable) {
    const auto& t = kCrc32Tables.entries;
    return t[firstTable][value & 0xFF] ^ t[firstTable - 1][(value >> 8) & 0xFF] ^
           t[firstTable - 2][(value >> 16) & 0xFF] ^ t[firstTable - 3][value >> 24];
}

}  // namespace

uint32_t CRC32Checksum::calculate(const void* data, uint64_t length, nKZAPALS100::tStatus& status) {
    if (status.isFatal() || data == nullptr) return 0xFFFFFFFF;
    const auto* bytes = static_cast<const uint8_t*>(data);
    uint32_t crc = 0xFFFFFFFF;
    for (; length >= kSliceCount; length -= kSliceCount, bytes += kSliceCount) {
        crc = word(crc ^ littleEndian32(bytes), 15) ^ word(littleEndian32(bytes + 4), 11) ^
              word(littleEndian32(bytes + 8), 7) ^ word(littleEndian32(bytes + 12), 3);
    }
    for (; length > 0; --length) crc = step(crc, *bytes++);
    return ~crc;
}

}  // namespace storagemap
