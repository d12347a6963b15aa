// Status codes of the device template.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"

namespace kdut {

// The wait for the requests in flight ran out of time (it waits without a limit, so nobody sees it).
constexpr int64_t kStatusIODrainTimeout = KZ_DEVICE_CODE(0xBFFA4305);

}  // namespace kdut
