// What a configuration image is for.
#pragma once

#include <cstdint>

#include "kdut/firmware.h"

namespace kzvorn_driver {

enum FirmwareDownloadTarget : uint32_t {
    kNisoFpga = 0,
    kIsoFpga = 1,
    kSubroutineData = 2,
};

using Firmware = kdut::FirmwareInterface<FirmwareDownloadTarget>;

}  // namespace kzvorn_driver
