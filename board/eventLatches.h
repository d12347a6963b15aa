// The event latches of the four isolated channels, channel word 0x4B: its read side shows the
// events the channel latched since they were last cleared, one bit per event; a write clears the
// bits written and leaves the others latched. Tests and options latch events. Every call is made
// under the board's lock.
#pragma once

#include <array>
#include <cstdint>

namespace board {

class EventLatchesModel {
public:
    static constexpr unsigned kChannels = 4;
    static constexpr uint32_t kLatch = 0x4B;

    // A write or read of a channel block word (channel 0 to 6, word offset within the block).
    void isolatedWrite(unsigned channel, uint32_t offset, uint32_t value);
    uint32_t isolatedRead(unsigned channel, uint32_t offset, uint32_t value) const;

    void latch(unsigned channel, uint32_t bits) { latched_.at(channel) |= bits; }
    uint32_t latched(unsigned channel) const { return latched_.at(channel); }
    // How many clear words the channel was written.
    unsigned clears(unsigned channel) const { return clears_.at(channel); }

private:
    std::array<uint32_t, kChannels> latched_{};
    std::array<unsigned, kChannels> clears_{};
};

}  // namespace board
