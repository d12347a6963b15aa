// How the helper's request operations reach the objects the bring-up built: each on a clean
// status only, and bounded by the board's channels before any array is indexed.
#pragma once

#include "device/statusCodes.h"
#include "kzapal/protons/statusCodes.h"
#include "kzvorn_shared/channelBitmask.h"
#include "setupTeardownTask/isolatedObjects.h"

namespace kzvorn_driver {

// The object a channel's request reaches: 0xBFFA4303 for a channel the board does not have,
// -52002 for one the bring-up did not build; null then.
template <class T>
T* channelObject(T* object, unsigned channel, nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return nullptr;
    if (channel >= kzvorn_shared::kChannelCount) {
        KZ_SET_CODE(status, kStatusInvalidChannel);
        return nullptr;
    }
    if (object == nullptr) KZ_SET_CODE(status, nKZAPALS100::kStatusFeatureNotSupported);
    return object;
}

// The same, by the level-11 getter (bounded: null past the last channel).
template <class T>
T* channelObject(const IsolatedObjects* objects, T* (IsolatedObjects::*getter)(unsigned) const, unsigned channel,
                 nKZAPALS100::tStatus& status) {
    return channelObject(objects != nullptr ? (objects->*getter)(channel) : nullptr, channel, status);
}

template <class T>
T* boardObject(T* object, nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return nullptr;
    if (object == nullptr) KZ_SET_CODE(status, nKZAPALS100::kStatusFeatureNotSupported);
    return object;
}

}  // namespace kzvorn_driver
