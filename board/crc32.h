// CRC-32 as the board's hardware computes it (reflected polynomial 0xEDB88320, initial value and
// final XOR all ones), usable incrementally: crc32(b, crc32(a)) == crc32(a followed by b).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace board {

namespace crc32_detail {

constexpr uint32_t kPolynomial = 0xEDB88320u;

// Table k gives a byte's effect k bytes further on, so eight bytes take one step.
constexpr std::array<std::array<uint32_t, 256>, 8> makeTables() {
    std::array<std::array<uint32_t, 256>, 8> tables{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? kPolynomial ^ (c >> 1) : c >> 1;
        tables[0][n] = c;
    }
    for (size_t k = 1; k < 8; ++k)
        for (uint32_t n = 0; n < 256; ++n)
            tables[k][n] = (tables[k - 1][n] >> 8) ^ tables[0][tables[k - 1][n] & 0xFF];
    return tables;
}
inline constexpr std::array<std::array<uint32_t, 256>, 8> kTables = makeTables();

// Eight bytes, the first in the low byte, into the running (unfinished) register.
inline uint32_t step8(uint32_t c, uint64_t bytes) {
    const auto& t = kTables;
    const uint32_t low = c ^ static_cast<uint32_t>(bytes);
    const uint32_t high = static_cast<uint32_t>(bytes >> 32);
    return t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
           t[3][high & 0xFF] ^ t[2][(high >> 8) & 0xFF] ^ t[1][(high >> 16) & 0xFF] ^ t[0][high >> 24];
}

inline uint32_t step1(uint32_t c, uint8_t byte) { return kTables[0][(c ^ byte) & 0xFF] ^ (c >> 8); }

// Polynomials modulo the CRC's, in its reflected form (bit 31 the constant term).
constexpr uint32_t multiply(uint32_t a, uint32_t b) {
    uint32_t product = 0;
    for (uint32_t m = 1u << 31; m != 0; m >>= 1) {
        if ((a & m) != 0) product ^= b;
        b = (b & 1) != 0 ? (b >> 1) ^ kPolynomial : b >> 1;
    }
    return product;
}

// x^(2^k) for k from 0 to 66: enough for the bits of a 64-bit byte count, three places up.
constexpr std::array<uint32_t, 67> makePowers() {
    std::array<uint32_t, 67> powers{};
    powers[0] = 1u << 30;  // x
    for (size_t k = 1; k < powers.size(); ++k) powers[k] = multiply(powers[k - 1], powers[k - 1]);
    return powers;
}
inline constexpr std::array<uint32_t, 67> kPowers = makePowers();

}  // namespace crc32_detail

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "eight bytes are loaded as one little-endian word");

inline uint32_t crc32(const void* data, size_t size, uint32_t previous = 0) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    uint32_t c = ~previous;
    for (; size >= 8; size -= 8, bytes += 8) {
        uint64_t word;
        std::memcpy(&word, bytes, sizeof word);
        c = crc32_detail::step8(c, word);
    }
    for (; size > 0; --size) c = crc32_detail::step1(c, *bytes++);
    return ~c;
}

// The first `width` bytes of value, low byte first, as crc32 over them would take them.
inline uint32_t crc32Word(uint64_t value, unsigned width, uint32_t previous) {
    uint32_t c = ~previous;
    if (width == 8) return ~crc32_detail::step8(c, value);
    for (unsigned i = 0; i < width; ++i) c = crc32_detail::step1(c, static_cast<uint8_t>(value >> (8 * i)));
    return ~c;
}

// What crc32(a) contributes to crc32(a followed by b) when b is `length` bytes long:
// crc32(a followed by b) == crc32Shift(crc32(a), length) ^ crc32(b).
inline uint32_t crc32Shift(uint32_t crc, uint64_t length) {
    // crc times x^(8 length): the powers x^(2^k) of length's bits, three places up.
    for (unsigned k = 3; length != 0; length >>= 1, ++k)
        if ((length & 1) != 0) crc = crc32_detail::multiply(crc32_detail::kPowers[k], crc);
    return crc;
}

}  // namespace board
