// The channel arguments every per-channel request checks, and the order it checks them in once
// its gate has admitted it: the channel index or the mask first, the session's reservation second,
// so that a bad argument is reported as such and not as a missing reservation.
#include "device/statusCodes.h"
#include "device/tolvaneDevice.h"

namespace kzvorn_driver {

using nKZAPAL000::tEventDescriptor;
using nKZAPALS100::tStatus;

void TolvaneDevice::reportInvalidChannel(tStatus& status) {
    if (status.isNotFatal()) KZ_SET_CODE(status, kStatusInvalidChannel);
}

void TolvaneDevice::checkChannelIndex(uint32_t channel, tStatus& status) {
    if (channel >= kzvorn_shared::kChannelCount) reportInvalidChannel(status);
}

TolvaneHelper* TolvaneDevice::admitChannel(tEventDescriptor& event, uint32_t channel, tReserve reserve,
                                           tStatus& status) {
    checkChannelIndex(channel, status);
    // Only a checked index is turned into a bit.
    if (reserve == tReserve::kYes && status.isNotFatal())
        sessionOf(event)->require(kzvorn_shared::channelIndexToBitmask(uint8_t(channel)), status);
    return forwardTarget(status);
}

TolvaneHelper* TolvaneDevice::admitMask(tEventDescriptor& event, uint64_t mask, tMaskCheck check, tReserve reserve,
                                        tStatus& status) {
    if (check != tMaskCheck::kNone) kzvorn_shared::checkInvalidBitsNotSet(mask, status);
    if (check == tMaskCheck::kFull) kzvorn_shared::checkBitmaskNotEmpty(mask, status);
    if (reserve == tReserve::kYes) sessionOf(event)->require(mask, status);
    return forwardTarget(status);
}

TolvaneHelper* TolvaneDevice::admitAlarmMask(uint64_t mask, tStatus& status) {
    kzvorn_shared::checkInvalidBitsNotSet(mask, status);
    kzvorn_shared::checkBitmaskNotEmpty(mask, status);
    // The mask is not empty here: a second bit survives clearing the lowest one.
    if (status.isNotFatal() && (mask & (mask - 1)) != 0) reportInvalidChannel(status);
    return forwardTarget(status);
}

TolvaneHelper* TolvaneDevice::forwardTarget(tStatus& status) {
    if (status.isFatal()) return nullptr;
    if (helper_ == nullptr) KZ_SET_CODE(status, nKZAPALS100::kStatusFeatureNotSupported);
    return helper_;
}

}  // namespace kzvorn_driver
