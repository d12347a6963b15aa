// Status codes of the isolation-port device kit.
#pragma once

#include <cstdint>

namespace selkaddk {

// No core attached, or the core's routing is locked.
constexpr int64_t kStatusCoreUnavailable = -700000;
// The window does not present the core's identification word.
constexpr int64_t kStatusIdentificationMismatch = -700001;
// Only one line connection is held at a time.
constexpr int64_t kStatusConnectionAlreadyOpen = -700020;

}  // namespace selkaddk
