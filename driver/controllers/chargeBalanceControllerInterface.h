// What the calibration loading and the charge-balance step after bring-up ask of a channel's
// charge-balance controller.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"

namespace kzvorn_driver {

class ChargeBalanceControllerInterface {
public:
    virtual ~ChargeBalanceControllerInterface() {}
    // Measures the offset of the range with the one-hot code 1, 2, 4 or 8 on the channel and
    // returns it (bits 0-13 of the range's offset register).
    virtual uint16_t calculate(uint8_t rangeCode, nKZAPALS100::tStatus& status) = 0;
    // Bits 0-13 of the offset register of range index 0 to 3 take the offset.
    virtual void setOffset(uint8_t rangeIndex, uint32_t offset, nKZAPALS100::tStatus& status) = 0;
};

}  // namespace kzvorn_driver
