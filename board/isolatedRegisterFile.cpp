#include "board/isolatedRegisterFile.h"

#include "board/isolatedSequencers.h"

namespace board {

namespace {

struct Range {
    uint32_t first;
    uint32_t last;
};

constexpr Range kFpgaSplitWords[] = {{0x08, 0x08}, {0x30, 0x39}, {0x40, 0x40}, {0x68, 0x6A}};
// Offsets within a channel block.
constexpr Range kChannelSplitWords[] = {{0x000, 0x000}, {0x020, 0x035}, {0x04B, 0x04B}, {0x05C, 0x05C},
                                        {0x133, 0x135}};

}  // namespace

IsolatedRegisterFile::IsolatedRegisterFile() : written_(kWords), presented_(kWords), split_(kWords) {
    for (const Range& r : kFpgaSplitWords)
        for (uint32_t a = r.first; a <= r.last; ++a) split_[a] = true;
    for (unsigned c = 0; c < kChannelBlockCount; ++c)
        for (const Range& r : kChannelSplitWords)
            for (uint32_t a = r.first; a <= r.last; ++a) split_[kChannelBlocks + c * kChannelBlockWords + a] = true;
}

uint32_t IsolatedRegisterFile::read(uint32_t address, uint32_t signature) const {
    address %= kWords;
    if (address == kSignature) return signature;
    if (address == kRevision) return kRevisionValue;
    uint32_t value = split_[address] ? presented_[address] : written_[address];
    if (sequencers_ != nullptr) value = sequencers_->read(address, value).value_or(value);
    if (address < kChannelBlocks || address >= kChannelBlocks + kChannelBlockCount * kChannelBlockWords) return value;
    const uint32_t block = address - kChannelBlocks;
    for (const ChannelReadHook& hook : channelReadHooks_)
        value = hook(block / kChannelBlockWords, block % kChannelBlockWords, value);
    return value;
}

void IsolatedRegisterFile::write(uint32_t address, uint32_t value) {
    address %= kWords;
    written_[address] = value;
    if (sequencers_ != nullptr) sequencers_->write(address, value);
    if (address < kChannelBlocks || address >= kChannelBlocks + kChannelBlockCount * kChannelBlockWords) return;
    const uint32_t block = address - kChannelBlocks;
    calibration_[block / kChannelBlockWords].write(block % kChannelBlockWords, value);
    for (const ChannelWriteHook& hook : channelWriteHooks_) hook(block / kChannelBlockWords, block % kChannelBlockWords, value);
}

void IsolatedRegisterFile::present(uint32_t address, uint32_t value) {
    address %= kWords;
    split_[address] = true;
    presented_[address] = value;
}

}  // namespace board
