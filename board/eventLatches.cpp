#include "board/eventLatches.h"

namespace board {

void EventLatchesModel::isolatedWrite(unsigned channel, uint32_t offset, uint32_t value) {
    if (channel >= kChannels || offset != kLatch) return;
    latched_[channel] &= ~value;
    ++clears_[channel];
}

uint32_t EventLatchesModel::isolatedRead(unsigned channel, uint32_t offset, uint32_t value) const {
    return channel < kChannels && offset == kLatch ? latched_[channel] : value;
}

}  // namespace board
