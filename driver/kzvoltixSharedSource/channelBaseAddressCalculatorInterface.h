// Where a channel's block of registers starts in the isolated address space.
#pragma once

#include <cstdint>

#include "kzvoltixSharedSource/physicalChannelNumber.h"

namespace kzvoltixsharedsource {

class ChannelBaseAddressCalculatorInterface {
public:
    virtual ~ChannelBaseAddressCalculatorInterface() {}
    // The isolated word address of the first register of the channel's block.
    virtual uint32_t calculate(PhysicalChannelNumber channel) const = 0;
};

}  // namespace kzvoltixsharedsource
