#include "board/sequenceEngines.h"

namespace board {

namespace {
constexpr uint32_t kConfiguration = 0x00;
constexpr uint32_t kCommandFifoFullness = 0x03;
constexpr uint32_t kStartSecond = 1u << 8;
constexpr uint32_t kResetComplete = 1u << 24;
constexpr uint32_t kStartFirst = 1u << 25;
constexpr uint32_t kChannelFault = 1u << 25;
constexpr uint32_t kEngineStopped = 1u << 27;
}  // namespace

void SequenceEnginesModel::isolatedWrite(unsigned channel, uint32_t offset, uint32_t value) {
    if (channel >= kChannels || offset != kConfiguration) return;
    Engine& e = engines_[channel];
    if ((value & kStartSecond) && e.startArmed) {
        e.running = true;
        ++e.starts;
    }
    e.startArmed = (value & kStartFirst) != 0;
    if (value & kResetComplete) {
        ++e.resetCompletions;
        if (e.running) ++e.completionsWhileRunning;
    }
}

uint32_t SequenceEnginesModel::isolatedRead(unsigned channel, uint32_t offset, uint32_t value) const {
    if (channel >= kChannels) return value;
    const Engine& e = engines_[channel];
    if (offset == kCommandFifoFullness) return e.queued;
    if (offset != kConfiguration) return value;
    if (!e.running) value |= kEngineStopped;
    if (e.fault) value |= kChannelFault;
    return value;
}

void SequenceEnginesModel::stop(unsigned channel) {
    if (channel < kChannels) engines_[channel].running = false;
}

}  // namespace board
