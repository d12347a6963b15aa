// The sequence engines of the four isolated channels. Each executes the commands queued in its
// channel's command FIFO (word 0x03 shows how many; tests set it). A configuration write (word
// 0x00) with bit 25 followed by one with bit 8 starts the engine; the reset subroutine stops it
// when it completes; a configuration write with bit 24 completes the reset and is counted. The
// channel status (read side of 0x00) shows bit 27 while the engine is stopped, and bit 25 (a
// channel fault) while the fault knob is set. Every call is made under the board's lock.
#pragma once

#include <array>
#include <cstdint>

namespace board {

class SequenceEnginesModel {
public:
    static constexpr unsigned kChannels = 4;
    static constexpr uint32_t kResetId = 0xB8AE1123;

    struct Engine {
        uint32_t queued = 0;
        bool running = false;
        // The last configuration write carried the first start strobe.
        bool startArmed = false;
        unsigned starts = 0;
        // Writes of bit 24, and those made while the engine still ran.
        unsigned resetCompletions = 0;
        unsigned completionsWhileRunning = 0;
        // Fault knob: status bit 25.
        bool fault = false;
    };

    // A write of a channel block word (channel 0 to 6, word offset within the block).
    void isolatedWrite(unsigned channel, uint32_t offset, uint32_t value);
    // What a read of a channel block word answers, given what it answers without the engine.
    uint32_t isolatedRead(unsigned channel, uint32_t offset, uint32_t value) const;
    // The reset subroutine's effect.
    void stop(unsigned channel);

    Engine& engine(unsigned c) { return engines_.at(c); }

private:
    std::array<Engine, kChannels> engines_{};
};

}  // namespace board
