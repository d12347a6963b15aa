// Status codes of the FPGA image download.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"

namespace kzvorn_driver {

// A target without a built-in image or without a download path.
constexpr int64_t kStatusNoSuchFirmwareTarget = KZ_DEVICE_CODE(0xBFFA4302);

}  // namespace kzvorn_driver
