// One isolated channel's calibration registers as the channel FPGA keeps them. A pointer register
// selects the slot that the next write of its data register fills; the other calibration
// registers hold one value each. The board keeps every slot so a test can read back what a load
// left in the channel.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>

#include "board/hostAllocator.h"

namespace board {

class ChannelCalibration {
public:
    // A pointer register and the data register whose slot it selects, channel word offsets.
    struct SlotTable {
        const char* name;
        uint32_t pointer;
        uint32_t pointerBits;  // the pointer field's width
        uint32_t data;
        uint32_t dataBits;
    };
    struct SingleRegister {
        const char* name;
        uint32_t offset;
        uint32_t bits;
    };
    static constexpr SlotTable kSlotTables[] = {
        {"voltage gain", 0x61, 4, 0x60, 24},   {"voltage offset", 0x64, 4, 0x63, 31},
        {"current gain", 0x69, 3, 0x68, 24},   {"current offset", 0x6C, 3, 0x6B, 31},
        {"common-mode gain", 0x89, 3, 0x88, 24}, {"predictive gain", 0x115, 6, 0x114, 32},
    };
    static constexpr SingleRegister kSingleRegisters[] = {
        {"voltage range 3 gain", 0x78, 24}, {"voltage range 3 offset", 0x7A, 31}, {"3 A gain", 0x70, 24},
        {"3 A offset", 0x72, 31},           {"3 A common-mode gain", 0x8B, 24},
    };

    // A write of one of the channel's registers; false for a register that is not a calibration
    // register (the caller keeps it as it keeps every register).
    bool write(uint32_t offset, uint32_t value);

    // What a slot or a single register holds; empty when nothing was written there.
    std::optional<uint32_t> slot(uint32_t data, uint32_t pointer) const;
    std::optional<uint32_t> single(uint32_t offset) const;
    // The filled slots of a data register: (selection, value), ascending.
    HostVector<std::pair<uint32_t, uint32_t>> slots(uint32_t data) const;

    // Same slots, single values and pointer selections.
    bool operator==(const ChannelCalibration& other) const {
        return pointers_ == other.pointers_ && slots_ == other.slots_ && singles_ == other.singles_;
    }

private:
    // Written while the driver runs: storage outside the system's allocator.
    HostMap<uint32_t, uint32_t> pointers_;                    // pointer register -> selection
    HostMap<std::pair<uint32_t, uint32_t>, uint32_t> slots_;  // (data register, selection) -> value
    HostMap<uint32_t, uint32_t> singles_;
};

}  // namespace board
