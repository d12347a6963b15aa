#include "storageMap/checksum.h"

namespace storagemap {

namespace {

constexpr uint32_t kPolynomial = 0xEDB88320u;  // reflected: bit 31 holds x^0

// Sixteen bytes a step: table k gives the CRC of a byte followed by k zero bytes, so the sixteen
// lookups of a step are independent of each other and only their XOR waits on the last step.
constexpr uint32_t kSliceCount = 16;

// The three lanes of a block run side by side, each from its own register, so that the processor has
// three independent chains of lookups in flight; a lane's register is then carried over the lane
// bytes that follow it (a multiplication by x^(8 * kLaneBytes), table driven like a step).
constexpr uint64_t kLaneBytes = 64;
constexpr uint64_t kLaneCount = 3;

struct Crc32Tables {
    uint32_t slices[kSliceCount][256];
    uint32_t laneShift[4][256];
};

// a(x) * b(x) modulo the polynomial.
constexpr uint32_t multiply(uint32_t a, uint32_t b) {
    uint32_t product = 0;
    for (uint32_t m = 0x80000000u; m != 0; m >>= 1) {
        if ((a & m) != 0) product ^= b;
        b = (b & 1) != 0 ? (b >> 1) ^ kPolynomial : b >> 1;
    }
    return product;
}

constexpr Crc32Tables makeCrc32Tables() {
    Crc32Tables tables{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) != 0 ? kPolynomial ^ (c >> 1) : c >> 1;
        tables.slices[0][n] = c;
    }
    for (uint32_t k = 1; k < kSliceCount; ++k)
        for (uint32_t n = 0; n < 256; ++n) {
            const uint32_t previous = tables.slices[k - 1][n];
            tables.slices[k][n] = (previous >> 8) ^ tables.slices[0][previous & 0xFF];
        }
    uint32_t shift = 0x80000000u;  // x^0, times x once per bit of a lane
    for (uint64_t bit = 0; bit < 8 * kLaneBytes; ++bit)
        shift = (shift & 1) != 0 ? (shift >> 1) ^ kPolynomial : shift >> 1;
    for (uint32_t k = 0; k < 4; ++k)
        for (uint32_t n = 0; n < 256; ++n) tables.laneShift[k][n] = multiply(shift, n << (8 * k));
    return tables;
}

constexpr Crc32Tables kCrc32Tables = makeCrc32Tables();

inline uint32_t step(uint32_t crc, uint8_t byte) { return kCrc32Tables.slices[0][(crc ^ byte) & 0xFF] ^ (crc >> 8); }

inline uint32_t littleEndian32(const uint8_t* bytes) {
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

// Byte i of the step goes through table 15 - i.
inline uint32_t word(uint32_t value, uint32_t firstTable) {
    const auto& t = kCrc32Tables.slices;
    return t[firstTable][value & 0xFF] ^ t[firstTable - 1][(value >> 8) & 0xFF] ^
           t[firstTable - 2][(value >> 16) & 0xFF] ^ t[firstTable - 3][value >> 24];
}

inline uint32_t slice(uint32_t crc, const uint8_t* bytes) {
    return word(crc ^ littleEndian32(bytes), 15) ^ word(littleEndian32(bytes + 4), 11) ^
           word(littleEndian32(bytes + 8), 7) ^ word(littleEndian32(bytes + 12), 3);
}

// The register carried over kLaneBytes zero bytes.
inline uint32_t overLane(uint32_t crc) {
    const auto& t = kCrc32Tables.laneShift;
    return t[0][crc & 0xFF] ^ t[1][(crc >> 8) & 0xFF] ^ t[2][(crc >> 16) & 0xFF] ^ t[3][crc >> 24];
}

}  // namespace

uint32_t CRC32Checksum::calculate(const void* data, uint64_t length, nKZAPALS100::tStatus& status) {
    if (status.isFatal() || data == nullptr) return 0xFFFFFFFF;
    const auto* bytes = static_cast<const uint8_t*>(data);
    uint32_t crc = 0xFFFFFFFF;
    for (; length >= kLaneCount * kLaneBytes; length -= kLaneCount * kLaneBytes, bytes += kLaneCount * kLaneBytes) {
        uint32_t first = crc;
        uint32_t second = 0;
        uint32_t third = 0;
        for (uint64_t i = 0; i < kLaneBytes; i += kSliceCount) {
            first = slice(first, bytes + i);
            second = slice(second, bytes + kLaneBytes + i);
            third = slice(third, bytes + 2 * kLaneBytes + i);
        }
        crc = overLane(overLane(first) ^ second) ^ third;
    }
    for (; length >= kSliceCount; length -= kSliceCount, bytes += kSliceCount) crc = slice(crc, bytes);
    for (; length > 0; --length) crc = step(crc, *bytes++);
    return ~crc;
}

}  // namespace storagemap
