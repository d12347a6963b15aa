// Coefficients written as 128-bit integers.
#pragma once

#include <cstdint>

#include "board/flashImage.h"
#include "kztypes/fixedPoint128.h"

namespace caltest {

constexpr __int128 pow2(unsigned n) { return static_cast<__int128>(1) << n; }
constexpr __int128 kMax128 = static_cast<__int128>(~static_cast<unsigned __int128>(0) >> 1);
constexpr __int128 kMin128 = -kMax128 - 1;

inline kztypes::FixedPoint128<> coefficient(__int128 r) {
    const auto u = static_cast<unsigned __int128>(r);
    return {static_cast<uint64_t>(u), static_cast<uint64_t>(u >> 64)};
}
inline board::Coefficient stored(__int128 r) {
    const auto u = static_cast<unsigned __int128>(r);
    return {static_cast<uint64_t>(u), static_cast<uint64_t>(u >> 64)};
}
inline __int128 value(const board::Coefficient& c) {
    return static_cast<__int128>((static_cast<unsigned __int128>(c.high) << 64) | c.low);
}

}  // namespace caltest
