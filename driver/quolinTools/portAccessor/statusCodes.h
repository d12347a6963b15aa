// Status codes of the bridge's port accessors.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"

namespace quolintools {

// The switched bus interface did not report a port read done in time.
constexpr int64_t kStatusPortReadTimedOut = KZ_DEVICE_CODE(0xBFFA807D);
// A port accessor's operation that the port cannot do.
constexpr int64_t kStatusPortOperationUnsupported = KZ_DEVICE_CODE(0xBFFA806F);

}  // namespace quolintools
