#include "controllers/coolingModeSetting.h"

namespace kzvorn_driver {

void CoolingModeSetting::setCoolingMode(uint8_t mode, uint32_t requester, tStatus& status) {
    if (status.isFatal()) return;
    nKZAPAL000::tAutoLock guard(lock_);
    if (requester != kOverrideRequester && pair_->requester == kOverrideRequester) return;
    if (mode != pair_->mode) {
        writer_.setCoolingMode(mode, status);
        if (status.isFatal()) return;
        pair_->mode = mode;
    }
    pair_->requester = requester;
}

uint32_t CoolingModeSetting::getCoolingMode() {
    nKZAPAL000::tAutoLock guard(lock_);
    return pair_->mode;
}

}  // namespace kzvorn_driver
