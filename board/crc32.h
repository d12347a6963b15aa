// CRC-32 as the board's hardware computes it (reflected polynomial 0xEDB88320, initial value and
// final XOR all ones), usable incrementally: crc32(b, crc32(a)) == crc32(a followed by b).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace board {

namespace crc32_detail {
constexpr std::array<uint32_t, 256> makeTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}
inline constexpr std::array<uint32_t, 256> kTable = makeTable();
}  // namespace crc32_detail

inline uint32_t crc32(const void* data, size_t size, uint32_t previous = 0) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    uint32_t c = ~previous;
    for (size_t i = 0; i < size; ++i) c = crc32_detail::kTable[(c ^ bytes[i]) & 0xFF] ^ (c >> 8);
    return ~c;
}

}  // namespace board
