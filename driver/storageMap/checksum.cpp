#include "storageMap/checksum.h"

namespace storagemap {

namespace {

struct Crc32Table {
    uint32_t entries[256];
};

constexpr Crc32Table makeCrc32Table() {
    Crc32Table table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table.entries[n] = c;
    }
    return table;
}

constexpr Crc32Table kCrc32Table = makeCrc32Table();

inline uint32_t step(uint32_t crc, uint8_t byte) { return kCrc32Table.entries[(crc ^ byte) & 0xFF] ^ (crc >> 8); }

}  // namespace

uint32_t CRC32Checksum::calculate(const void* data, uint64_t length, nKZAPALS100::tStatus& status) {
    if (status.isFatal() || data == nullptr) return 0xFFFFFFFF;
    const auto* bytes = static_cast<const uint8_t*>(data);
    uint32_t crc = 0xFFFFFFFF;
    for (; length >= 8; length -= 8, bytes += 8) {
        crc = step(crc, bytes[0]);
        crc = step(crc, bytes[1]);
        crc = step(crc, bytes[2]);
        crc = step(crc, bytes[3]);
        crc = step(crc, bytes[4]);
        crc = step(crc, bytes[5]);
        crc = step(crc, bytes[6]);
        crc = step(crc, bytes[7]);
    }
    for (; length > 0; --length) crc = step(crc, *bytes++);
    return ~crc;
}

}  // namespace storagemap
