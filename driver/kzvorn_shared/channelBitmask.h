// Channel masks as user mode passes them: bit n names channel n, and only the board's four
// channels are valid. Every shift here is bounded, so no mask or index from a request can make one
// undefined.
#pragma once

#include <cstdint>

#include "controllers/statusCodes.h"
#include "kzapal/protons/status.h"

namespace kzvoltixsharedsource {

using PhysicalChannelBitmask = uint64_t;

}  // namespace kzvoltixsharedsource

namespace kzvorn_shared {

using kzvoltixsharedsource::PhysicalChannelBitmask;

constexpr uint32_t kChannelCount = 4;
constexpr PhysicalChannelBitmask kValidChannelBits = (PhysicalChannelBitmask{1} << kChannelCount) - 1;

// 0xBFFA4303 for a bit above the last channel.
inline void checkInvalidBitsNotSet(PhysicalChannelBitmask mask, nKZAPALS100::tStatus& status) {
    if (status.isNotFatal() && (mask & ~kValidChannelBits) != 0)
        KZ_SET_CODE(status, kzvorn_driver::kStatusInvalidChannel);
}

// 0xBFFA4303 for an empty mask.
inline void checkBitmaskNotEmpty(PhysicalChannelBitmask mask, nKZAPALS100::tStatus& status) {
    if (status.isNotFatal() && mask == 0) KZ_SET_CODE(status, kzvorn_driver::kStatusInvalidChannel);
}

constexpr PhysicalChannelBitmask channelIndexToBitmask(uint8_t channel) {
    return PhysicalChannelBitmask{1} << (channel & 63);
}

// 0 for an empty mask.
constexpr uint8_t highestChannelIndex(PhysicalChannelBitmask mask) {
    return mask == 0 ? 0 : uint8_t(63 - __builtin_clzll(mask));
}

// 0 for an empty mask.
constexpr uint8_t lowestChannelIndex(PhysicalChannelBitmask mask) {
    return mask == 0 ? 0 : uint8_t(__builtin_ctzll(mask));
}

constexpr PhysicalChannelBitmask removeHighestChannel(PhysicalChannelBitmask mask) {
    return mask == 0 ? 0 : mask & ~channelIndexToBitmask(highestChannelIndex(mask));
}

// Three flags, each set only when it holds exactly 1.
class FlagTriple {
public:
    // Passed as an override, keeps the base's flag.
    static constexpr uint32_t kKeep = 0xFFFFFFFF;

    constexpr FlagTriple() = default;
    constexpr explicit FlagTriple(uint32_t bits) : first_(bits & 1), second_((bits >> 1) & 1), third_((bits >> 2) & 1) {}
    constexpr FlagTriple(uint32_t first, uint32_t second, uint32_t third)
        : first_(first), second_(second), third_(third) {}
    constexpr FlagTriple(const FlagTriple& base, uint32_t first, uint32_t second, uint32_t third)
        : first_(first == kKeep ? base.first_ : first),
          second_(second == kKeep ? base.second_ : second),
          third_(third == kKeep ? base.third_ : third) {}

    constexpr bool isFirstSet() const { return first_ == 1; }
    constexpr bool isSecondSet() const { return second_ == 1; }
    constexpr bool isThirdSet() const { return third_ == 1; }
    constexpr uint32_t toBits() const {
        return (isFirstSet() ? 1u : 0u) | (isSecondSet() ? 2u : 0u) | (isThirdSet() ? 4u : 0u);
    }

    constexpr bool operator==(const FlagTriple& other) const {
        return first_ == other.first_ && second_ == other.second_ && third_ == other.third_;
    }
    constexpr bool operator!=(const FlagTriple& other) const { return !(*this == other); }

private:
    uint32_t first_ = 0;
    uint32_t second_ = 0;
    uint32_t third_ = 0;
};

}  // namespace kzvorn_shared
