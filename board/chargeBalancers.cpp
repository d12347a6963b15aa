#include "board/chargeBalancers.h"

namespace board {

namespace {
constexpr uint32_t kOffsetBits = 0x3FFF;
uint32_t completedBit(unsigned range) { return 1u << (4 * range + 1); }
uint32_t failedBit(unsigned range) { return 1u << (4 * range + 2); }
}  // namespace

void ChargeBalancersModel::arm(unsigned channel, unsigned range) {
    if (channel < kChannels && range < kRanges) balancers_[channel].armedRange = range;
}

void ChargeBalancersModel::finish(unsigned channel) {
    if (channel >= kChannels) return;
    Balancer& b = balancers_[channel];
    b.status = 0;
    b.armedRange.reset();
    b.selectedRange.reset();
}

void ChargeBalancersModel::advance(unsigned channel, uint64_t nowUs) {
    Balancer& b = balancers_[channel];
    if (!b.selectedRange || nowUs < b.doneAtUs || b.silent) return;
    const unsigned r = *b.selectedRange;
    b.selectedRange.reset();
    if (b.fail) {
        b.status |= failedBit(r);
        return;
    }
    b.status |= completedBit(r);
    const uint32_t address = word(channel, kOffsets + r);
    registers_.write(address, (registers_.stored(address) & ~kOffsetBits) | (b.results[r] & kOffsetBits));
}

void ChargeBalancersModel::isolatedWrite(unsigned channel, uint32_t offset, uint32_t value, uint64_t nowUs) {
    if (channel >= kChannels || offset != kControl) return;
    Balancer& b = balancers_[channel];
    ++b.selections;
    for (unsigned r = 0; r < kRanges; ++r) {
        if ((value & (1u << r)) == 0) continue;
        if (b.armedRange == r && !b.selectedRange) {
            b.armedRange.reset();
            b.selectedRange = r;
            b.doneAtUs = nowUs + delayUs;
        } else {
            b.status |= failedBit(r);
        }
    }
}

uint32_t ChargeBalancersModel::isolatedRead(unsigned channel, uint32_t offset, uint32_t value, uint64_t nowUs) {
    if (channel >= kChannels) return value;
    if (offset == kControl) return balancer(channel, nowUs).status;
    if (offset < kOffsets || offset >= kOffsets + kRanges) return value;
    advance(channel, nowUs);
    return registers_.stored(word(channel, offset));
}

const ChargeBalancersModel::Balancer& ChargeBalancersModel::balancer(unsigned channel, uint64_t nowUs) {
    advance(channel, nowUs);
    return balancers_.at(channel);
}

uint16_t ChargeBalancersModel::offset(unsigned channel, unsigned range, uint64_t nowUs) {
    advance(channel, nowUs);
    return uint16_t(registers_.stored(word(channel, kOffsets + range)) & kOffsetBits);
}

}  // namespace board
