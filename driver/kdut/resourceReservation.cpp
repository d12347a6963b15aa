#include "kdut/resourceReservation.h"

namespace kdut {

using kzvorn_driver::nKZAPAL000::tAutoLock;
using nKZAPALS100::tStatus;

ResourceReservationManager::ResourceReservationManager(int32_t alreadyReservedStatus, int32_t notReservedStatus,
                                                       int32_t invalidResourceStatus, uint64_t validMask,
                                                       tStatus& status)
    : alreadyReservedStatus_(alreadyReservedStatus),
      notReservedStatus_(notReservedStatus),
      invalidResourceStatus_(invalidResourceStatus),
      validMask_(validMask),
      mutex_(status) {}

ResourceReservationManager::ResourceReservationManager(int32_t alreadyReservedStatus, int32_t notReservedStatus,
                                                       tStatus& status)
    : ResourceReservationManager(alreadyReservedStatus, notReservedStatus, -1, ~uint64_t(0), status) {}

void ResourceReservationManager::reserve(uint64_t mask, tStatus& status) {
    if (status.isFatal()) return;
    tAutoLock lock(mutex_);
    if ((mask & ~validMask_) != 0) {
        KZ_SET_CODE(status, invalidResourceStatus_);
    } else if ((mask & reservedMask_) != 0) {
        KZ_SET_CODE(status, alreadyReservedStatus_);
    } else {
        reservedMask_ |= mask;
    }
}

void ResourceReservationManager::release(uint64_t mask, tStatus& status) {
    if (status.isFatal()) return;
    tAutoLock lock(mutex_);
    if ((mask & reservedMask_) != mask) {
        KZ_SET_CODE(status, notReservedStatus_);
        return;
    }
    reservedMask_ &= ~mask;
}

uint64_t ResourceReservationManager::getReservedMask() {
    tAutoLock lock(mutex_);
    return reservedMask_;
}

ResourceReservation::ResourceReservation(int32_t notHeldStatus, ResourceReservationManager* manager, tStatus& status)
    : notHeldStatus_(notHeldStatus), mutex_(status), manager_(manager) {}

void ResourceReservation::reserve(CleanupOperationComposite* composite, uint64_t mask, tStatus& status) {
    if (status.isFatal()) return;
    tAutoLock lock(mutex_);
    manager_->reserve(mask, status);
    if (status.isFatal()) return;
    if (!composite->contains(this)) {
        composite->add(this, status);
        if (status.isFatal()) {
            // Without its cleanup operation nobody would return the bits.
            tStatus undo;
            manager_->release(mask, undo);
            return;
        }
    }
    heldMask_ |= mask;
}

void ResourceReservation::release(CleanupOperationComposite* composite, tStatus& status) {
    if (status.isFatal()) return;
    tAutoLock lock(mutex_);
    manager_->release(heldMask_, status);
    if (status.isFatal()) return;
    heldMask_ = 0;
    composite->remove(this, status);
}

void ResourceReservation::require(uint64_t mask, tStatus& status) {
    if (status.isFatal()) return;
    tAutoLock lock(mutex_);
    if ((mask & ~heldMask_) != 0) KZ_SET_CODE(status, notHeldStatus_);
}

void ResourceReservation::cleanup(tStatus& status) {
    if (status.isFatal()) return;
    tAutoLock lock(mutex_);
    if (heldMask_ == 0) return;
    manager_->release(heldMask_, status);
    if (status.isNotFatal()) heldMask_ = 0;
}

uint64_t ResourceReservation::getHeldMask() {
    tAutoLock lock(mutex_);
    return heldMask_;
}

}  // namespace kdut
