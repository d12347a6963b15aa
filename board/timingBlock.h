// The timing block (digital output, output timer, trigger lines) as a register file. Six offsets
// carry a read register beside a write register: the digital-output read register at 0x00, the
// output timer's status and read registers at 0x34, 0x38, 0x40 and 0x48, and the trigger lines'
// read registers at 0xDC and 0xE0.
#pragma once

#include <functional>

#include "board/bar0Map.h"
#include "board/registerFile.h"

namespace board {

class TimingBlock : public RegisterFile {
public:
    // The digital-output read register and the trigger lines' read register at 0xDC read these at
    // reset.
    static constexpr uint64_t kDigitalOutputRead = 0x00;
    static constexpr uint32_t kDigitalOutputReadAtReset = 0x00D00D00;
    static constexpr uint64_t kTriggersReadDC = 0xDC;
    static constexpr uint16_t kTriggersReadDCAtReset = 0x7DC1;

    explicit TimingBlock(Board& board) : RegisterFile(board, {0x00, 0x34, 0x38, 0x40, 0x48, 0xDC, 0xE0}) {
        present(kDigitalOutputRead, kDigitalOutputReadAtReset);
        present(kTriggersReadDC, kTriggersReadDCAtReset);
    }

    static constexpr uint64_t kWriteProtectRegister = 0x04;
    static constexpr uint64_t kWriteProtectBit = 0x80;

    // The level of the flash's write-protect line: bit 7 of the digital-output register at 0x04.
    bool writeProtectLine() const { return (written(kWriteProtectRegister) & kWriteProtectBit) != 0; }
    // Called with the line's level on every write of the register that carries it.
    void onWriteProtectLine(std::function<void(bool high)> listener) { writeProtectListener_ = std::move(listener); }

    void write(uint64_t offset, unsigned width, uint64_t value) override;

private:
    std::function<void(bool)> writeProtectListener_;
};

TimingBlock& installTimingBlock(Board& board);

}  // namespace board
