// The software-raisable triggers of the four isolated channels. Each trigger listens on input 0
// of its channel mux (start 0x22, source 0x23, sequence advance 0x24, main measure 0x27), as the
// isolated side's occurrence muxes hold it. While input 0 is enabled, the trigger's override strobe
// (channel word 0x44, bit 0, 1, 2 or 4) registers its occurrence id (0x700, 0x701, 0x702 or
// 0x704) in the channel's occurrence word 0x45, or 0x46 for the main measure trigger. The
// configuration strobes that precede it (0x00 bits 4 and 6) are logged. Every call is made under
// the board's lock.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "board/boundedLog.h"
#include "board/hostAllocator.h"
#include "board/isolatedRegisterFile.h"

namespace board {

class IsolatedOccurrence;

class TriggerOverridesModel {
public:
    static constexpr unsigned kChannels = 4;
    static constexpr unsigned kTriggers = 4;  // start, source, sequence advance, main measure

    struct Channel {
        // Each configuration write's bits 4 and 6, when any: recorded while the driver runs (the
        // latest kBlockRecordCapacity).
        BoundedLog<uint32_t> configStrobes{kBlockRecordCapacity};
        uint16_t lastId = 0;
        // Fault knob: the id the channel registers for any override.
        std::optional<uint16_t> reportedId;
    };

    // A write of a channel block word (channel 0 to 6, word offset within the block); the occurrence
    // words it sets go to `registers`, the triggers' inputs are read from `occurrence`.
    void isolatedWrite(unsigned channel, uint32_t offset, uint32_t value, IsolatedRegisterFile& registers,
                       IsolatedOccurrence& occurrence);

    Channel& channel(unsigned c) { return channels_.at(c); }

private:
    std::array<Channel, kChannels> channels_{};
};

}  // namespace board
