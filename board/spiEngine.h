// The SPI engine of the bridge's configuration port, with the board's serial flash on its bus. It
// is the configuration window's data port: each 8-bit access of the window while the window is
// not open onto the bridge space is one SPI transfer. A read runs the read format (SPI port 0x4)
// with the read opcode (0xC bits 16-23) and returns the byte the chip drives; a write runs the
// write format (0x8) with the write opcode (0xC bits 0-7) and sends the byte written. The
// direction comes from the access alone; the flash address is window register 0xE0.
#pragma once

#include <cstdint>
#include <vector>

#include "board/board.h"
#include "board/bridgeWindow.h"
#include "board/sst25vfFlash.h"
#include "board/timingBlock.h"

namespace board {

class SpiEngine : public Region {
public:
    // The flash holds the image, erased beyond it.
    SpiEngine(Board& board, const std::vector<uint8_t>& image);
    // The flash starts from a whole image it shares.
    SpiEngine(Board& board, SharedFlashBytes image);

    uint64_t read(uint64_t offset, unsigned width) override;
    void write(uint64_t offset, unsigned width, uint64_t value) override;

    SST25VFFlash& flash() { return flash_; }

private:
    uint8_t transfer(bool read, uint8_t data);

    Board& board_;
    SST25VFFlash flash_;
};

// The SPI port's first register (0x580), unused by the transfers, reads this at reset.
constexpr uint32_t kSpiPortRegister00AtReset = 0x0580C0DE;

// Makes the engine the window's data port and the timing block's write-protect output the flash's
// write-protect line, and models the SPI port's registers (0x580-0x58F).
SpiEngine& installSpiEngine(Board& board, BridgeWindow& window, TimingBlock& timing,
                            const std::vector<uint8_t>& image = {});
SpiEngine& installSpiEngine(Board& board, BridgeWindow& window, TimingBlock& timing, SharedFlashBytes image);

}  // namespace board
