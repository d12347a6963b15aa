// The bridge's vendor capability list in its register space, holding the chassis geographic
// address (capability 0x4741). Bridge register 0x0C points to a word whose bit 0 chooses
// register 0x14 (set) or 0x10 (clear) as the holder of the first header's address. Headers:
// identifier in bits 31-16, next pointer in bits 15-2, pointer kind in bits 1-0.
#pragma once

#include <cstdint>

#include "board/bridgeWindow.h"

namespace board {

constexpr uint32_t kGeographicAddressCapability = 0x4741;

struct GeographicAddressOptions {
    enum class Chain {
        Normal,         // another capability first (relative pointer), then the geographic address
        Cyclic,         // two capabilities pointing at each other, no geographic address
        SecondKind3,    // the second header's pointer has kind 3
        NoStart,        // register 0x0C holds 0
        UnalignedStart, // register 0x0C is not a multiple of 4
        Missing,        // the list ends without the geographic address
    };
    Chain chain = Chain::Normal;
    uint32_t slot = 5;
    uint32_t mode = 4;  // 0 nothing to read, 1 direct (BAR0), 4 windowed (bridge space)
    uint32_t width = 2; // descriptor code: 1 8-bit, 2 16-bit, else 32-bit
    uint32_t shift = 3;
    bool holderAt14 = false;      // bit 0 of the word at the start pointer
    bool upperHalfPointer = false;  // the geographic header is reached with pointer kind 1
};

// Where the list and the value register live.
constexpr uint32_t kCapabilityStart = 0x100;
constexpr uint32_t kFirstCapability = 0x200;
constexpr uint32_t kGeographicHeader = 0x300;
constexpr uint32_t kGeographicHeaderHigh = 0x10300;  // with upperHalfPointer
constexpr uint32_t kGeographicValueWindowed = 0x1800;  // beyond the first window selection
constexpr uint32_t kGeographicValueDirect = 0x520;  // BAR0 offset

void installGeographicAddress(Board& board, BridgeWindow& window,
                              const GeographicAddressOptions& options = GeographicAddressOptions{});

}  // namespace board
