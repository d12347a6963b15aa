#include "storageMap/checksum.h"

namespace storagemap {

namespace {

constexpr uint32_t kPolynomial = 0xEDB88320u;  // reflected: bit 31 holds x^0

// The data runs as rows of kLanes eight-byte words; word k of every row belongs to lane k, and each
// lane keeps a register of its own, so that kLanes independent chains of lookups are in flight. A
// lane's register is folded into its next word, a whole row further on, so its tables carry a byte
// over the rest of its word and over the words of the other lanes. The last row merges the lanes
// in order through the plain tables.
constexpr uint64_t kLanes = 4;
constexpr uint64_t kWordBytes = 8;
constexpr uint64_t kRowBytes = kLanes * kWordBytes;

// Table j gives the CRC of a byte followed by j zero bytes (plain), or by j + kRowBytes -
// kWordBytes zero bytes (braid): byte i of a word goes through table 7 - i.
using WordTables = uint32_t[kWordBytes][256];

struct Crc32Tables {
    WordTables plain;
    WordTables braid;
};

constexpr uint32_t overZeroByte(const WordTables& plain, uint32_t crc) { return plain[0][crc & 0xFF] ^ (crc >> 8); }

constexpr Crc32Tables makeCrc32Tables() {
    Crc32Tables tables{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) != 0 ? kPolynomial ^ (c >> 1) : c >> 1;
        tables.plain[0][n] = c;
    }
    for (uint32_t n = 0; n < 256; ++n) {
        for (uint64_t j = 1; j < kWordBytes; ++j) tables.plain[j][n] = overZeroByte(tables.plain, tables.plain[j - 1][n]);
        uint32_t c = tables.plain[0][n];
        for (uint64_t zero = 0; zero < kRowBytes - kWordBytes; ++zero) c = overZeroByte(tables.plain, c);
        for (uint64_t j = 0; j < kWordBytes; ++j, c = overZeroByte(tables.plain, c)) tables.braid[j][n] = c;
    }
    return tables;
}

constexpr Crc32Tables kCrc32Tables = makeCrc32Tables();

inline uint32_t littleEndian32(const uint8_t* bytes) {
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

// The register folded into the word's first four bytes; those four are taken apart in a register,
// the other four are read as bytes straight into their lookups, which costs a load each but spares
// the shifts and masks that bound the loop otherwise.
[[gnu::always_inline]] inline uint32_t word(uint32_t crc, const uint8_t* bytes, const WordTables& t) {
    const uint32_t folded = crc ^ littleEndian32(bytes);
    return t[7][folded & 0xFF] ^ t[6][(folded >> 8) & 0xFF] ^ t[5][(folded >> 16) & 0xFF] ^ t[4][folded >> 24] ^
           t[3][bytes[4]] ^ t[2][bytes[5]] ^ t[1][bytes[6]] ^ t[0][bytes[7]];
}

}  // namespace

uint32_t CRC32Checksum::calculate(const void* data, uint64_t length, nKZAPALS100::tStatus& status) {
    if (status.isFatal() || data == nullptr) return 0xFFFFFFFF;
    const auto* bytes = static_cast<const uint8_t*>(data);
    uint32_t crc = 0xFFFFFFFF;
    if (length >= 2 * kRowBytes) {
        // Every row but the last braided; the last takes the lanes in order.
        uint32_t lanes[kLanes] = {crc};
        const uint8_t* const lastRow = bytes + (length / kRowBytes - 1) * kRowBytes;
        // Unrolled, so that the lanes' registers live in registers.
        for (; bytes != lastRow; bytes += kRowBytes)
#pragma GCC unroll 8
            for (uint64_t k = 0; k < kLanes; ++k) lanes[k] = word(lanes[k], bytes + k * kWordBytes, kCrc32Tables.braid);
        crc = 0;
#pragma GCC unroll 8
        for (uint64_t k = 0; k < kLanes; ++k) crc = word(crc ^ lanes[k], bytes + k * kWordBytes, kCrc32Tables.plain);
        bytes += kRowBytes;
        length %= kRowBytes;
    }
    for (; length >= kWordBytes; length -= kWordBytes, bytes += kWordBytes) crc = word(crc, bytes, kCrc32Tables.plain);
    for (; length > 0; --length) crc = overZeroByte(kCrc32Tables.plain, crc ^ *bytes++);
    return ~crc;
}

}  // namespace storagemap
