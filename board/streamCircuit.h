// A stream circuit's registers as a register file: the additive transfer count at 0x810 is
// written on one side and read as the circuit's count on the other. Its control/status at 0x800
// resets the circuit, records its mode and enables or stops the transfer; each byte written to
// 0x810 is one byte of credit for the stream's DMA channel.
#pragma once

#include "board/bar0Map.h"
#include "board/registerFile.h"

namespace board {

struct DmaFaults;

class StreamCircuit : public RegisterFile {
public:
    static constexpr uint64_t kControlStatus = 0x00;          // page offset 0x800
    static constexpr uint64_t kAdditiveTransferCount = 0x10;  // page offset 0x810

    StreamCircuit(Board& board, unsigned index, const DmaFaults* faults)
        : RegisterFile(board, {kAdditiveTransferCount}), index_(index), faults_(faults) {}

    uint64_t read(uint64_t offset, unsigned width) override;
    void write(uint64_t offset, unsigned width, uint64_t value) override;

    // Under the board's lock.
    bool transferEnabled() const;
    uint32_t controlStatus() const { return uint32_t(memory(kControlStatus, 4)); }
    uint32_t mode() const { return mode_; }
    uint64_t credits() const { return credits_; }
    void useCredits(uint64_t bytes) { credits_ -= bytes; }

private:
    unsigned index_;
    const DmaFaults* faults_;
    uint32_t mode_ = 0;
    uint64_t credits_ = 0;
    bool enableSeen_ = false;
};

// Circuit i's registers, page offsets 0x800 to 0x937; its fault knobs are those of the board's
// DMA engine when the bridge core is installed.
StreamCircuit& installStreamCircuit(Board& board, unsigned circuit);

}  // namespace board
