// Status codes of the shared instrument services: error multiplexing, ganging and power allocation.
#pragma once

#include <cstdint>

#include "controllers/statusCodes.h"
#include "kzapal/protons/status.h"

namespace vantrel_shared {

// An occurrence id or mux position that a mux input map does not hold.
constexpr int64_t kStatusInputNotInMap = kzvorn_driver::kStatusArgumentOutOfRange;
constexpr int64_t kStatusInvalidChannel = kzvorn_driver::kStatusInvalidChannel;
// An error manager still held a latched id when it was to be enabled.
constexpr int64_t kStatusErrorManagerStillLatched = KZ_DEVICE_CODE(0xBFFA4688);
// A latched error without a code of its own.
constexpr int64_t kStatusUnknownLatchedError = KZ_DEVICE_CODE(0xBFFA468B);
// A power increase larger than the budget left.
constexpr int64_t kStatusPowerBudgetExceeded = KZ_DEVICE_CODE(0xBFFA40A9);
// A channel of a new gang is still reserved in another.
constexpr int64_t kStatusGangChannelReserved = KZ_DEVICE_CODE(0xBFFA40AE);
// The total power budget cannot be lowered while power is allocated.
constexpr int64_t kStatusPowerBudgetInUse = KZ_DEVICE_CODE(0xBFFA4331);

}  // namespace vantrel_shared
