// A channel's registers at their offsets within its block of the isolated address space: the
// block's base is ORed into every address on the way to the underlying accessor.
#pragma once

#include <cstdint>

#include "kzvoltixSharedSource/frontEndAccessors/frontEndAccessorInterface.h"
#include "kzvoltixSharedSource/physicalChannelNumber.h"

namespace kzvoltixsharedsource {

class ChannelBaseAddressCalculatorInterface {
public:
    virtual ~ChannelBaseAddressCalculatorInterface() {}
    // The isolated word address of the first register of the channel's block.
    virtual uint32_t calculate(PhysicalChannelNumber channel) const = 0;
};

class ChannelBasedFrontEndAccessor final : public FrontEndAccessorInterface {
public:
    ChannelBasedFrontEndAccessor(PhysicalChannelNumber channel, FrontEndAccessorInterface& underlying,
                                 const ChannelBaseAddressCalculatorInterface& calculator)
        : base_(calculator.calculate(channel)), underlying_(&underlying) {}

    void write32(uint32_t address, uint32_t value, nKZAPALS100::tStatus& status) override {
        if (status.isFatal()) return;
        underlying_->write32(address | base_, value, status);
    }
    uint32_t read32(uint32_t address, nKZAPALS100::tStatus& status) override {
        if (status.isFatal()) return 0xFFFFFFFF;
        return underlying_->read32(address | base_, status);
    }

private:
    uint32_t base_;
    FrontEndAccessorInterface* underlying_;
};

}  // namespace kzvoltixsharedsource
