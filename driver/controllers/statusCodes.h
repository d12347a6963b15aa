// Status codes of the board and channel controllers and the channel sequencer services.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"

namespace kzvorn_driver {

// A number outside its range: a temperature sensor, an alarm, a measure sub-unit, a cooling mode.
constexpr int64_t kStatusArgumentOutOfRange = KZ_DEVICE_CODE(0xBFFA4300);
// A channel index or mask outside the board's channels.
constexpr int64_t kStatusInvalidChannel = KZ_DEVICE_CODE(0xBFFA4303);
// A subroutine's line stayed latched, or its channel busy, past the wait of the bring-up, the
// shutdown before teardown or unganging.
constexpr int64_t kStatusSubroutineTimedOut = KZ_DEVICE_CODE(0xBFFA468C);
// A temperature reading did not become valid in time.
constexpr int64_t kStatusTemperatureNotValid = KZ_DEVICE_CODE(0xBFFA4329);

}  // namespace kzvorn_driver
