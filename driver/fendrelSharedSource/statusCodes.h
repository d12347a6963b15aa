// Status codes of the kernel sessions.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"

namespace fendrelsharedsource {

// The session was opened before a reset, stop or power-down.
constexpr int64_t kStatusSessionInvalidated = KZ_DEVICE_CODE(0xBFFA9179);

}  // namespace fendrelsharedsource
