#include "board/isolatedSequencers.h"

#include "board/subroutineTag.h"

namespace board {

IsolatedSequencers::IsolatedSequencers(IsolatedSequencerOptions options, std::function<uint64_t()> nowUs)
    : options_(std::move(options)), nowUs_(std::move(nowUs)), ram_(kLocalRamWords) {
    effects_[kShutdownId] = [this](unsigned c) { channels_[c].shutDown = true; };
    effects_[kUngangId] = [this](unsigned c) { ++channels_[c].ungangs; };
}

void IsolatedSequencers::reset() {
    pllWords_.clear();
    pllBusyUntilUs_ = 0;
    pllWritten_ = false;
    sensorConfigured_ = false;
    sensorStarted_ = false;
}

bool IsolatedSequencers::pllLocked() const {
    if (options_.pllNeverLocks || pllWords_.size() < 4) return false;
    static constexpr uint32_t kOrder[] = {3, 2, 0, 1};
    const size_t first = pllWords_.size() - 4;
    for (size_t i = 0; i < 4; ++i)
        if ((pllWords_.fromOldest(first + i) & 3) != kOrder[i]) return false;
    return true;
}

void IsolatedSequencers::write(uint32_t address, uint32_t value) {
    if (address >= kChannelBlocks) {
        const uint32_t relative = address - kChannelBlocks;
        const unsigned c = relative / kChannelBlockWords;
        if (c < kChannels) channelWrite(c, relative % kChannelBlockWords, value);
        return;
    }
    switch (address) {
        case kLocalRamHigh: high_ = value; break;
        case kLocalRamLow: low_ = value; break;
        case kLocalRamWriteAddress: ram_[value % kLocalRamWords] = (uint64_t(high_) << 32) | low_; break;
        case kLocalRamReadAddress: {
            const uint64_t word = ram_[value % kLocalRamWords];
            high_ = uint32_t(word >> 32);
            low_ = uint32_t(word);
            break;
        }
        case kPllShift: {
            const uint64_t at = now();
            if (options_.pllStuckBusy || (pllWritten_ && at < pllBusyUntilUs_)) ++pllWritesWhileBusy_;
            pllWords_.push(value & 0xFFFFFF);
            pllWritten_ = true;
            pllBusyUntilUs_ = at + options_.pllBusyUs;
            break;
        }
        case kTemperatureConfig:
            if (value & (1u << 18)) sensorConfigured_ = true;
            if ((value & (1u << 23)) && sensorConfigured_) sensorStarted_ = true;
            break;
        default: break;
    }
}

std::optional<uint32_t> IsolatedSequencers::read(uint32_t address, uint32_t stored) {
    if (address >= kChannelBlocks) {
        const uint32_t relative = address - kChannelBlocks;
        const unsigned c = relative / kChannelBlockWords;
        if (c < kChannels) return channelRead(c, relative % kChannelBlockWords, stored);
        return std::nullopt;
    }
    switch (address) {
        case kLocalRamHigh: return high_;
        case kLocalRamLow: return low_;
        case kFpgaStatus: {
            const bool busy = options_.pllStuckBusy || (pllWritten_ && now() < pllBusyUntilUs_);
            uint32_t value = stored;
            if (busy) value |= 1u << 8;
            if (pllLocked()) value |= 1u << 9;
            return value;
        }
        default: return std::nullopt;
    }
}

void IsolatedSequencers::channelWrite(unsigned c, uint32_t offset, uint32_t value) {
    Channel& ch = channels_[c];
    switch (offset) {
        case kLineAddress: ch.address = value; break;
        case kLineConfig: {
            const unsigned line = value & 7;
            if (line >= kLines) break;
            ch.vectors[line] = ch.address;
            ch.codes[line] = (value >> 4) & 7;
            break;
        }
        case kInterruptMux: ch.selected = (value >> 16) & 0xFF; break;
        case kRaise:
            for (unsigned line = 0; line < kLines; ++line)
                if (value & (1u << (16 + line))) raise(c, line);
            break;
        default: break;
    }
}

void IsolatedSequencers::raise(unsigned c, unsigned line) {
    Channel& ch = channels_[c];
    ch.latched[line] = true;
    ch.busy = true;
    if (latchHook_) latchHook_(c, line, true);
    const uint32_t address = ch.vectors[line].value_or(0) % kLocalRamWords;
    const std::optional<uint32_t> id = ch.vectors[line] ? subroutineTagId(ram_[address]) : std::nullopt;
    runs_.push(SequencerRun{c, line, address, id});
    if (options_.strict && !id) {
        // Nothing to run: the sequencer faults and never finishes.
        ch.fault = true;
        ch.running.reset();
        return;
    }
    ch.running = line;
    ch.runningId = id;
    const auto duration = id ? options_.durationUs.find(*id) : options_.durationUs.end();
    ch.doneAtUs = now() + (duration != options_.durationUs.end() ? duration->second : 0);
}

void IsolatedSequencers::complete(unsigned c) {
    Channel& ch = channels_[c];
    if (!ch.running || now() < ch.doneAtUs) return;
    const unsigned line = *ch.running;
    const SequencerChannelOptions& knobs = options_.channels[c];
    if (knobs.lineStuckLatched != line) {
        ch.latched[line] = false;
        if (latchHook_) latchHook_(c, line, false);
    }
    if (!knobs.busyStuck) ch.busy = false;
    ch.running.reset();
    if (ch.runningId) {
        const auto effect = effects_.find(*ch.runningId);
        if (effect != effects_.end() && effect->second) effect->second(c);
    }
}

std::optional<uint32_t> IsolatedSequencers::channelRead(unsigned c, uint32_t offset, uint32_t stored) {
    if (offset != kChannelStatus && offset != kInterruptMux) return std::nullopt;
    complete(c);
    const Channel& ch = channels_[c];
    if (offset == kChannelStatus) {
        const SequencerChannelOptions& knobs = options_.channels[c];
        return stored | (ch.busy || knobs.busyStuck ? 1u : 0) | (ch.fault ? 1u << 25 : 0) |
               (knobs.compliance ? 1u << 26 : 0);
    }
    const bool latched = ch.selected < kLines && ch.latched[ch.selected];
    return (ch.selected << 16) | (latched ? 1u << 14 : 0);
}

IsolatedSequencers::ChannelView IsolatedSequencers::channel(unsigned c) const {
    const Channel& ch = channels_[c];
    return ChannelView{ch.vectors, ch.codes, ch.latched, ch.busy, ch.fault, ch.shutDown, ch.ungangs};
}

}  // namespace board
