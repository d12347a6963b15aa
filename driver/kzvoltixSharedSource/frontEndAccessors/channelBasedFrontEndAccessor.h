// A channel's registers at their offsets within its block of the isolated address space: the
// block's base is ORed into every address on the way to the underlying accessor.
#pragma once

#include <cstdint>

#include "kzvoltixSharedSource/channelBaseAddressCalculatorInterface.h"
#include "kzvoltixSharedSource/frontEndAccessorInterface.h"

namespace kzvoltixsharedsource {

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
