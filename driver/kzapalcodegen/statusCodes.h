// Status codes of the generated request interfaces.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"

namespace kzvorn_driver {

// A request the interface knows that this device does not offer.
constexpr int64_t kStatusNotOnThisDevice = KZ_DEVICE_CODE(0xBFFA4308);

}  // namespace kzvorn_driver
