#include "vantrel_shared/powerAllocationController.h"

#include "vantrel_shared/statusCodes.h"

namespace vantrel_shared {

using kzvorn_driver::nKZAPAL000::tAutoLock;

PowerAllocationController::PowerAllocationController(uint32_t totalBudget, uint64_t channelCount, tStatus& status)
    : total_(totalBudget), available_(totalBudget), lock_(status) {
    if (status.isNotFatal()) allocations_.resize(channelCount, ChannelAllocation{}, status);
}

PowerAllocationController::ChannelAllocation* PowerAllocationController::allocationOf(uint8_t channel,
                                                                                      tStatus& status) {
    if (channel < allocations_.size()) return &allocations_[channel];
    KZ_SET_CODE(status, kStatusInvalidChannel);
    return nullptr;
}

void PowerAllocationController::setTotalBudget(uint32_t total, tStatus& status) {
    if (status.isFatal()) return;
    tAutoLock guard(lock_);
    if (total_ > int64_t(total) && available_ != total_) {
        KZ_SET_CODE(status, kStatusPowerBudgetInUse);
        return;
    }
    available_ += int64_t(total) - total_;
    total_ = total;
}

uint32_t PowerAllocationController::stagePowerAllocation(uint8_t channel, uint32_t allocation, tStatus& status) {
    if (status.isFatal()) return 0;
    tAutoLock guard(lock_);
    ChannelAllocation* a = allocationOf(channel, status);
    if (a == nullptr) return 0;
    if (a->pending) discardPowerAllocation(channel, status);
    if (status.isFatal()) return 0;
    const int64_t delta = int64_t(allocation) - a->committed;
    if (delta < 0) {
        a->staged = allocation;
        a->pending = true;
    } else if (delta > 0) {
        if (delta > available_) {
            KZ_SET_CODE(status, kStatusPowerBudgetExceeded);
        } else {
            available_ -= delta;
            a->staged = allocation;
            a->pending = true;
        }
    }
    return uint32_t(available_);
}

void PowerAllocationController::commitPowerAllocation(uint8_t channel, tStatus& status) {
    if (status.isFatal()) return;
    tAutoLock guard(lock_);
    ChannelAllocation* a = allocationOf(channel, status);
    if (a == nullptr || !a->pending) return;
    if (a->staged < a->committed) available_ += a->committed - a->staged;
    a->committed = a->staged;
    a->pending = false;
}

void PowerAllocationController::discardPowerAllocation(uint8_t channel, tStatus& status) {
    if (status.isFatal()) return;
    tAutoLock guard(lock_);
    ChannelAllocation* a = allocationOf(channel, status);
    if (a == nullptr || !a->pending) return;
    if (a->staged > a->committed) available_ += a->staged - a->committed;
    a->staged = 0;
    a->pending = false;
}

uint32_t PowerAllocationController::getActualPowerAllocation(uint8_t channel, tStatus& status) {
    if (status.isFatal()) return 0;
    tAutoLock guard(lock_);
    ChannelAllocation* a = allocationOf(channel, status);
    return a == nullptr ? 0 : uint32_t(a->committed);
}

}  // namespace vantrel_shared
