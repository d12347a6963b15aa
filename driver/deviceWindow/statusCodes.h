// Status codes of the device windows and the flash behind them.
#pragma once

#include <cstdint>

#include "kzRegiTools/statusCodes.h"

namespace devicewindow {

constexpr int64_t kStatusRangeOutsideWindow = -240015;
constexpr int64_t kStatusAddressOutsideFlash = -240029;
constexpr int64_t kStatusFlashSizeNotSectorMultiple = -240030;
constexpr int64_t kStatusNullPointer = kzregitools::kStatusNullPointer;
constexpr int64_t kStatusBadFlashSize = -240032;
constexpr int64_t kStatusBadSectorSize = -240033;

}  // namespace devicewindow
