#include "controllers/fifoControllers.h"

namespace kzvorn_driver {

bool MeasureFIFOOverflowStatusController::isOverflowed(uint64_t channelMask, nKZAPALS100::tStatus& status) {
    uint32_t bits = 0;
    for (unsigned c = 0; c < 64; ++c)
        if (channelMask & (uint64_t{1} << c)) bits |= uint32_t{1} << ((3 * c) % 32);
    return (status_.readRegister(status) & bits) != 0;
}

bool MeasureFIFOOverflowStatusController::isChannelOverflowed(uint8_t channel, nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return false;
    nKZAPAL000::tAutoLock guard(lock_);
    return isOverflowed(channel < 64 ? uint64_t{1} << channel : 0, status);
}

void MeasureFIFOOverflowStatusController::checkOverflow(uint64_t channelMask, nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return;
    nKZAPAL000::tAutoLock guard(lock_);
    if (isOverflowed(channelMask, status)) KZ_SET_CODE(status, kStatusMeasureFifoOverflowed);
}

}  // namespace kzvorn_driver
