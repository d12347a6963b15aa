// A channel as the hardware numbers it (0 to 3 on this instrument; the isolated FPGA has blocks
// for seven).
#pragma once

#include <cstdint>

namespace kzvoltixsharedsource {

using PhysicalChannelNumber = uint32_t;

}  // namespace kzvoltixsharedsource
