// Status codes of the FPGA image download.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"
#include "quolinTools/statusCodes.h"

namespace kzvorn_driver {

// A target without a built-in image or without a download path.
constexpr int64_t kStatusNoSuchFirmwareTarget = KZ_DEVICE_CODE(0xBFFA4302);
// An image whose block does not decompress to the size the bridge's downloader loads.
constexpr int64_t kStatusFirmwareSizeMismatch = quolintools::kStatusFirmwareSizeMismatch;

}  // namespace kzvorn_driver
