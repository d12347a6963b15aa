// The charge balancers of the four isolated channels. A balancer measures the offset of one of four
// ranges: the range's calculation subroutine arms it; a write of the balancer's control word (0x5C)
// selecting that range (bit r) then completes `delayUs` later, setting status bit 4r + 1 on the
// read side of 0x5C and loading bits 0-13 of the range's offset word (0x58 + r) with the result the
// board holds for it. A selection of a range that is not armed sets status bit 4r + 2 (failed) at
// once; the failure knob fails an armed selection too, the silent knob lets it never complete. The
// finishing subroutine clears the status and any arming. The offset words are plain storage.
// Every call is made under the board's lock.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "board/isolatedRegisterFile.h"

namespace board {

class ChargeBalancersModel {
public:
    static constexpr unsigned kChannels = 4;
    static constexpr unsigned kRanges = 4;
    static constexpr uint32_t kCalculationIds[kRanges] = {0x89193290, 0x615EE36C, 0x64BB1817, 0x12D6624E};
    static constexpr uint32_t kFinishId = 0x5C5D3FC9;
    static constexpr uint32_t kOffsets = 0x58;
    static constexpr uint32_t kControl = 0x5C;
    static constexpr uint16_t kDefaultResult = 0x2000;

    struct Balancer {
        std::optional<unsigned> armedRange;
        // A selection under way and when it completes.
        std::optional<unsigned> selectedRange;
        uint64_t doneAtUs = 0;
        uint32_t status = 0;
        unsigned selections = 0;
        // Knobs: what a calculation of each range loads, and how the balancer fails.
        std::array<uint16_t, kRanges> results{kDefaultResult, kDefaultResult, kDefaultResult, kDefaultResult};
        bool fail = false;
        bool silent = false;
    };

    uint64_t delayUs = 20;

    // The offsets are loaded into these registers.
    explicit ChargeBalancersModel(IsolatedRegisterFile& registers) : registers_(registers) {}

    // The subroutines' effects.
    void arm(unsigned channel, unsigned range);
    void finish(unsigned channel);
    // A write of a channel block word (channel 0 to 6, word offset within the block).
    void isolatedWrite(unsigned channel, uint32_t offset, uint32_t value, uint64_t nowUs);
    // What a read of a channel block word answers, given what it answers without the balancer.
    uint32_t isolatedRead(unsigned channel, uint32_t offset, uint32_t value, uint64_t nowUs);

    // The balancer and its range's offset word as they stand at `nowUs`.
    const Balancer& balancer(unsigned channel, uint64_t nowUs);
    uint16_t offset(unsigned channel, unsigned range, uint64_t nowUs);
    // For the knobs.
    Balancer& knobs(unsigned channel) { return balancers_.at(channel); }

private:
    static uint32_t word(unsigned channel, uint32_t offset) {
        return IsolatedRegisterFile::kChannelBlocks + channel * IsolatedRegisterFile::kChannelBlockWords + offset;
    }
    void advance(unsigned channel, uint64_t nowUs);

    IsolatedRegisterFile& registers_;
    std::array<Balancer, kChannels> balancers_{};
};

}  // namespace board
