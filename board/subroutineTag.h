// How the sequencer recognises the first word of a subroutine in local RAM: an instruction with
// opcode 8, zero in bits 48-57, the tag marker in bits 32-47 and the subroutine's id in bits 0-31.
#pragma once

#include <cstdint>
#include <optional>

namespace board {

constexpr uint16_t kSubroutineTagMarker = 0x5EB0;
constexpr uint64_t kSubroutineTagMask = 0xFFFFFFFF00000000;
constexpr uint64_t kSubroutineTagPattern = (uint64_t{8} << 58) | (uint64_t{kSubroutineTagMarker} << 32);

constexpr bool isSubroutineTag(uint64_t word) { return (word & kSubroutineTagMask) == kSubroutineTagPattern; }

inline std::optional<uint32_t> subroutineTagId(uint64_t word) {
    if (!isSubroutineTag(word)) return std::nullopt;
    return static_cast<uint32_t>(word);
}

}  // namespace board
