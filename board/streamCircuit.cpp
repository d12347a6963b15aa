#include "board/streamCircuit.h"

#include "board/dmaEngine.h"

namespace board {

void StreamCircuit::write(uint64_t offset, unsigned width, uint64_t value) {
    namespace sc = streamCircuit;
    uint32_t state = controlStatus() & (sc::kTransferEnabled | sc::kResetComplete);
    RegisterFile::write(offset, width, value);
    if (offset == kAdditiveTransferCount && width == 4) credits_ += uint32_t(value);
    if (offset != kControlStatus || width != 4) return;
    const DmaFaults none;
    const DmaFaults& faults = faults_ != nullptr ? *faults_ : none;
    uint32_t bits = uint32_t(value) & ~(sc::kTransferEnabled | sc::kResetComplete);
    if (value & sc::kReset) state = 0;
    if (value & sc::kModeMask) mode_ = uint32_t(value) & sc::kModeMask;
    if ((value & sc::kEnable) && !DmaFaults::has(faults.circuitNeverEnables, index_)) state |= sc::kTransferEnabled;
    if (value & (sc::kStopA | sc::kStopB)) {
        state &= ~sc::kTransferEnabled;
        if (!DmaFaults::has(faults.circuitNeverResets, index_)) state |= sc::kResetComplete;
    }
    setMemory(kControlStatus, 4, bits | state);
}

// A circuit that drops its enable shows bit 8 to one read.
uint64_t StreamCircuit::read(uint64_t offset, unsigned width) {
    uint64_t value = RegisterFile::read(offset, width);
    if (offset != kControlStatus || faults_ == nullptr || !DmaFaults::has(faults_->circuitDropsEnable, index_) ||
        (value & streamCircuit::kTransferEnabled) == 0)
        return value;
    if (enableSeen_) value &= ~uint64_t{streamCircuit::kTransferEnabled};
    enableSeen_ = !enableSeen_;
    return value;
}

bool StreamCircuit::transferEnabled() const { return controlStatus() & streamCircuit::kTransferEnabled; }

StreamCircuit& installStreamCircuit(Board& board, unsigned circuit) {
    const uint64_t page = bar0::kStreamCircuits + circuit * bar0::kStreamCircuitStride;
    DmaEngine* engine = findDmaEngine(board);
    StreamCircuit& result = board.addRegion<StreamCircuit>(
        0, page + bar0::kStreamCircuitRegisters, bar0::kStreamCircuitSize - bar0::kStreamCircuitRegisters, board,
        circuit, engine != nullptr ? &engine->faults() : nullptr);
    if (engine != nullptr) engine->attachCircuit(circuit, result);
    return result;
}

}  // namespace board
