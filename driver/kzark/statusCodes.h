// Status codes of trigger routing.
#pragma once

#include <cstdint>

namespace kzark {

// A terminal cannot be reset while one of its inputs is reserved.
constexpr int64_t kStatusTerminalInputReserved = -89127;
// The terminal has no incoming edge of the kind asked for (no default input to program).
constexpr int64_t kStatusNoTerminalInput = -89128;
// A reservation conflicts with reserved routes.
constexpr int64_t kStatusRouteConflict = -89137;

}  // namespace kzark
