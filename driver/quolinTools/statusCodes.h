// Status codes of the bridge's IO port 2 and its FPGA image download.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"

namespace quolintools {

// IO port 2 did not reach the awaited link state in time.
constexpr int64_t kStatusIOPort2LinkTimedOut = KZ_DEVICE_CODE(0xBFFA807A);
// The image is for another target than the downloader's.
constexpr int64_t kStatusFirmwareTargetMismatch = KZ_DEVICE_CODE(0xBFFA806A);
// The image's size is not the size of the image it loads in place of, or its block does not
// decompress to exactly that size.
constexpr int64_t kStatusFirmwareSizeMismatch = KZ_DEVICE_CODE(0xBFFA806B);
// The configuration port did not report ready before the first byte, or done after the last.
constexpr int64_t kStatusFpgaLoadTimeout = KZ_DEVICE_CODE(0xBFFA807F);

}  // namespace quolintools
