// The five software-interrupt lines of one channel's sequencer: a start address (vector) and a
// line code per line, the raise, and the line's latch in the channel's interrupt occurrence mux.
// Every write is forced: the hardware sees each step whatever the shadows hold.
#pragma once

#include <cstdint>

#include "kzapal/protons/synchronization.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoChannelRegMap.h"

namespace kzvorn_driver {

// A line of the channel interrupt mux: its mux input position (the channel interrupt mux's input
// map names the occurrence there) and the code the sequencer is given with the line's vector.
struct InterruptLineRow {
    uint32_t line;
    uint8_t muxPosition;
    uint8_t lineCode;
};

inline constexpr InterruptLineRow kInterruptLines[] = {
    {0, 0, 7}, {1, 1, 6}, {2, 2, 4}, {3, 3, 1}, {4, 4, 1},
};

// Null for a line the table does not hold.
constexpr const InterruptLineRow* findInterruptLine(uint32_t line) {
    for (const InterruptLineRow& row : kInterruptLines)
        if (row.line == line) return &row;
    return nullptr;
}

// The table's code; 1 for any line beyond it.
constexpr uint32_t interruptLineCode(uint32_t line) {
    const InterruptLineRow* row = findInterruptLine(line);
    return row != nullptr ? row->lineCode : 1;
}

class InterruptGeneratorController {
public:
    using tChannelMap = kzvorn_regmaps::tTolvaneIsoChannelRegMap;

    // -52000 when the lock cannot be made; nothing is made on an incoming error.
    InterruptGeneratorController(tChannelMap& map, nKZAPALS100::tStatus& status);
    virtual ~InterruptGeneratorController() {}
    InterruptGeneratorController(const InterruptGeneratorController&) = delete;
    InterruptGeneratorController& operator=(const InterruptGeneratorController&) = delete;

    // Lines beyond the table are not refused: such a line gets line & 7 and code 1, and its raise
    // raises nothing.
    virtual void programLine(uint32_t line, uint32_t startAddress, nKZAPALS100::tStatus& status);
    virtual void fireLine(uint32_t line, nKZAPALS100::tStatus& status);
    // 0xBFFA4300 and no access for a line the table does not hold.
    virtual void clearLineLatch(uint32_t line, nKZAPALS100::tStatus& status);
    virtual bool isLineLatched(uint32_t line, nKZAPALS100::tStatus& status);

private:
    tChannelMap::tIsoInterruptAddressReg address_;
    tChannelMap::tIsoInterruptConfigReg config_;
    tChannelMap::tOccurrenceMuxConfigRegType muxConfig_;
    tChannelMap::tOccurrenceMuxStatusRegType muxStatus_;
    tChannelMap::tSoftwareInterruptAndOverrideReg raise_;
    nKZAPAL000::tMutex lock_;
};

}  // namespace kzvorn_driver
