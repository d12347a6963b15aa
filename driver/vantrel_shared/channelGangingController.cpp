#include "vantrel_shared/channelGangingController.h"

#include "vantrel_shared/statusCodes.h"

namespace vantrel_shared {

using kzvorn_driver::nKZAPAL000::tAutoLock;

ChannelGangingController::ChannelGangingController(uint8_t channelCount,
                                                   kzvorn_driver::ChannelUngangingController* unganging,
                                                   tStatus& status)
    : unganging_(unganging), lock_(status) {
    for (uint8_t channel = 0; channel < channelCount && status.isNotFatal(); ++channel) {
        auto operation = kzhtl::makeShared<ChannelGangingCleanupOperation>(channel, this, status);
        if (status.isFatal()) break;
        if (!reservations_.push_back(ChannelGangingReservation{}, status)) break;
        if (!cleanupOperations_.push_back(kzhtl::move(operation), status)) reservations_.pop_back();
    }
}

void ChannelGangingController::ChannelGangingCleanupOperation::cleanup(tStatus& status) {
    if (status.isFatal()) return;
    tAutoLock guard(controller_->lock_);
    if (controller_->isCurrentChannelGangingMaster(channel_, status)) controller_->unreserveGang(channel_);
}

const ChannelGangingReservation* ChannelGangingController::reservationOf(uint8_t channel, tStatus& status) {
    if (status.isFatal()) return nullptr;
    if (channel < reservations_.size()) return &reservations_[channel];
    KZ_SET_CODE(status, kStatusInvalidChannel);
    return nullptr;
}

uint32_t ChannelGangingController::masterOf(uint32_t channel) const {
    while (channel > 0 && !reservations_[channel].master) --channel;
    return channel;
}

void ChannelGangingController::breakUpGang(uint32_t first, uint32_t blockSize, tStatus& status) {
    unganging_->ungang(uint8_t(first), status);
    if (status.isFatal()) return;
    for (uint32_t j = first; j < first + blockSize && j < reservations_.size(); ++j)
        reservations_[j] = ChannelGangingReservation{};
}

void ChannelGangingController::reserveChannelsForGanging(uint8_t start, uint32_t count, tStatus& status) {
    if (status.isFatal()) return;
    tAutoLock guard(lock_);
    // The range is checked whole before anything changes: no record past the last channel exists.
    if (start >= reservations_.size() || uint64_t(start) + count > reservations_.size()) {
        KZ_SET_CODE(status, kStatusInvalidChannel);
        return;
    }
    const uint32_t end = uint32_t(start) + count;
    const ChannelGangingReservation saved = reservations_[start];
    kzhtl::Vector<ChannelGangingReservation> before(reservations_, status);
    if (status.isFatal()) return;

    if (saved.master && saved.reserved) unreserveGang(start);
    for (uint32_t j = start; j < end; ++j) {
        if (reservations_[j].reserved) {
            for (size_t i = 0; i < reservations_.size(); ++i) reservations_[i] = before[i];
            KZ_SET_CODE(status, kStatusGangChannelReserved);
            return;
        }
    }

    const uint32_t savedSize = saved.mergeCount & 0xFF;
    // A smaller gang on the start channel of a larger one: the larger one is broken up first, or
    // its channels past the new gang would stay ganged in hardware with no record that any later
    // reservation breaks up.
    if (count >= 1 && saved.master && savedSize > count) {
        breakUpGang(start, savedSize, status);
        if (status.isFatal()) return;
    }
    // Gangs that overlap the range are broken up; the start channel's own gang is covered whole.
    // The gang broken up is the one recorded for the channel, found at its master: a gang need not
    // start on a multiple of its size, and a block computed from the size alone would leave that
    // gang's other channels ganged and touch channels outside it.
    for (uint32_t i = saved.master ? start + savedSize : start; i < end; ++i) {
        const uint32_t size = reservations_[i].mergeCount & 0xFF;
        if (size <= 1) continue;
        const uint32_t first = masterOf(i);
        if ((reservations_[first].mergeCount & 0xFF) != size || first + size <= i) continue;
        breakUpGang(first, size, status);
        if (status.isFatal()) return;
    }
    for (uint32_t j = start; j < end; ++j) reservations_[j] = ChannelGangingReservation{count, true, j == start};
}

void ChannelGangingController::unreserveChannelsForGanging(uint8_t channel, tStatus& status) {
    if (status.isFatal()) return;
    tAutoLock guard(lock_);
    if (reservationOf(channel, status) != nullptr) unreserveGang(channel);
}

void ChannelGangingController::unreserveGang(uint8_t channel) {
    tAutoLock guard(lock_);
    if (channel >= reservations_.size()) return;
    const uint32_t end = uint32_t(channel) + (reservations_[channel].mergeCount & 0xFF);
    for (uint32_t j = channel; j < end && j < reservations_.size(); ++j) reservations_[j].reserved = false;
}

uint32_t ChannelGangingController::getMergeCount(uint8_t channel, tStatus& status) {
    if (status.isFatal()) return 1;
    tAutoLock guard(lock_);
    const ChannelGangingReservation* reservation = reservationOf(channel, status);
    return reservation == nullptr ? 1 : reservation->mergeCount;
}

bool ChannelGangingController::isCurrentChannelGangingMaster(uint8_t channel, tStatus& status) {
    if (status.isFatal()) return false;
    tAutoLock guard(lock_);
    const ChannelGangingReservation* reservation = reservationOf(channel, status);
    return reservation != nullptr && reservation->master;
}

bool ChannelGangingController::isCurrentChannelGangingReserved(uint8_t channel, tStatus& status) {
    if (status.isFatal()) return false;
    tAutoLock guard(lock_);
    const ChannelGangingReservation* reservation = reservationOf(channel, status);
    return reservation != nullptr && reservation->reserved;
}

kdut::CleanupOperationInterface* ChannelGangingController::getCleanupOperation(uint8_t channel) {
    return channel < cleanupOperations_.size() ? cleanupOperations_[channel].get() : nullptr;
}

}  // namespace vantrel_shared
