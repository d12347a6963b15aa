// A power-monitor command window of the non-isolated FPGA (0x18 bytes) in front of one INA231 chip
// of eight 16-bit registers. +0x0: the table register keeps eight entries (index bits 16-18). +0x4:
// a command with bit 19 stores the low 16 bits in chip register bits 16-18; with bit 22 loads that
// register into the read-result word and sets its done bit 21; with bit 30 starts the monitor.
// +0x8: the read-result word, bit 28 ready. +0xC to +0x14: the measurements, bit 17 valid once the
// monitor started. No locking: the register file calls it under the board's lock, and so must tests.
#pragma once

#include <array>
#include <cstdint>

namespace board {

class PowerMonitorModel {
public:
    static constexpr uint64_t kSize = 0x18;

    // Offsets within the window; false when the window does not model the offset.
    bool read(uint64_t offset, uint32_t& value) const;
    bool write(uint64_t offset, uint32_t value);

    uint32_t tableEntry(unsigned index) const { return table_.at(index); }
    uint16_t chipRegister(unsigned pointer) const { return chip_.at(pointer); }
    void setChipRegister(unsigned pointer, uint16_t value) { chip_.at(pointer) = value; }
    // The reading measurement i (0 to 2) reports in bits 0-15.
    void setReading(unsigned i, uint16_t value) { readings_.at(i) = value; }
    bool started() const { return started_; }

    // Fault knobs.
    bool neverReady = false;
    bool readNeverDone = false;
    bool neverValid = false;

private:
    std::array<uint32_t, 8> table_{};
    std::array<uint16_t, 8> chip_{};
    std::array<uint16_t, 3> readings_{};
    uint32_t readResult_ = 0;
    bool started_ = false;
};

}  // namespace board
