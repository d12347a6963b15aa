// The measure units of the four isolated channels, three each, as the two FPGAs show them. On the
// isolated side a unit takes its CIC filter word (channel word 0x130 + u), its record settings
// (0x136 + u: continuous in bit 28) and its control strobes (0x133 + u: bit 0 start, bit 1
// abort). On the non-isolated side 0x398 shows, in bit 3c + u, that a measurement is waiting and
// 0x39C that the unit is idle; the unit's window (0x400 + 0x60 c) takes the strobes of register
// 4u (bit 1 "read done" clears the waiting bit, bit 8 resets the unit to idle) and shows the CIC
// word last written on the isolated side (0x10 + 4u) and the two packets of the last measurement
// (headers at 0x20 + 4u and 0x40 + 4u, data at 0x30 + 4u and 0x50 + 4u).
//
// A start on a one-point unit runs it until its measurement arrives, `measurementDelayUs` later;
// a start on a continuous unit runs it until an abort or reset, with a measurement every
// `continuousIntervalUs` once the previous one was read. Packet words derive from the channel, the
// unit and a count of measurements. Every call is made under the board's lock.
#pragma once

#include <array>
#include <cstdint>

namespace board {

class MeasureUnitsModel {
public:
    static constexpr unsigned kChannels = 4;
    static constexpr unsigned kUnits = 3;
    static constexpr uint64_t kDataReady = 0x398;
    static constexpr uint64_t kIdle = 0x39C;
    static constexpr uint64_t kWindows = 0x400;
    static constexpr uint64_t kWindowStride = 0x60;

    struct Unit {
        uint32_t cicFilterConfig = 0;  // as last written on the isolated side
        bool continuousRecords = false;
        bool running = false;
        bool continuous = false;       // running continuously
        bool dataWaiting = false;
        uint64_t nextMeasurementUs = 0;
        uint32_t headers[2] = {};
        uint32_t data[2] = {};
        // Fault knobs.
        bool neverIdle = false;
        bool neverData = false;
    };

    uint64_t measurementDelayUs = 100;
    uint64_t continuousIntervalUs = 200;

    // A write of a channel block word (channel 0 to 6, word offset within the block).
    void isolatedWrite(unsigned channel, uint32_t offset, uint32_t value, uint64_t nowUs);
    // Non-isolated FPGA offsets this model answers; false for the others.
    bool read(uint64_t offset, uint64_t nowUs, uint32_t& value);
    void write(uint64_t offset, uint32_t value, uint64_t nowUs);
    // Whether a write of the offset reaches the units.
    static bool writes(uint64_t offset) { return offset >= kWindows && offset < kWindows + kChannels * kWindowStride; }

    Unit& unit(unsigned channel, unsigned unit) { return units_.at(channel).at(unit); }
    bool idle(unsigned channel, unsigned unit, uint64_t nowUs);
    bool dataWaiting(unsigned channel, unsigned unit, uint64_t nowUs);

private:
    void advance(unsigned channel, unsigned unit, uint64_t nowUs);

    std::array<std::array<Unit, kUnits>, kChannels> units_{};
    uint32_t measurements_ = 0;
};

}  // namespace board
