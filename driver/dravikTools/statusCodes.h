// Status codes of the sequencer subroutine engine.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"

namespace draviktools {

// A subroutine id that the registrar does not hold.
constexpr int64_t kStatusSubroutineNotFound = KZ_DEVICE_CODE(0xBFFA4309);
// Some, but not all, of the five fields of a replacement subroutine package were given.
constexpr int64_t kStatusPackageFieldsIncomplete = KZ_DEVICE_CODE(0xBFFA432A);

}  // namespace draviktools
