// Status codes of the channel sequencer services and the isolated-side board controllers.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"

namespace kzvorn_driver {

// A subroutine's line stayed latched, or its channel busy, past the wait of the bring-up, the
// shutdown before teardown or unganging.
constexpr int64_t kStatusSubroutineTimedOut = KZ_DEVICE_CODE(0xBFFA468C);
// A channel's start subroutine did not finish within the bring-up's wait.
constexpr int64_t kStatusStartSubroutineTimedOut = KZ_DEVICE_CODE(0xBFFA469A);
// A temperature reading did not become valid in time.
constexpr int64_t kStatusTemperatureNotValid = KZ_DEVICE_CODE(0xBFFA4329);
// The external PLL's shift register stayed busy, or the PLL did not lock.
constexpr int64_t kStatusExternalPLLNotReady = KZ_DEVICE_CODE(0xBFFA467A);

}  // namespace kzvorn_driver
