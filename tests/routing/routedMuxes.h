// What the board's routing hardware connects, as text: the routing muxes that connect an input
// (but the trigger overrides' inputs 0, which the channels' own set-up selects), then the PXI
// trigger outputs that are on.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "board/isolatedOccurrence.h"
#include "board/nonIsolatedFpga.h"

namespace routingtest {

inline std::vector<std::string> routedMuxes(board::NonIsolatedFpga& fpga) {
    std::unique_lock<board::BoardLock> guard(fpga.boardLock());
    std::vector<std::string> found;
    for (const char* block : {"iso", "ch0", "ch1", "ch2", "ch3"}) {
        const unsigned b = unsigned(board::occurrenceBlockByName(block));
        for (uint32_t offset : board::IsolatedOccurrence::routingMuxOffsets(b)) {
            const std::optional<unsigned> input = fpga.routedInput(b, offset);
            if (!input) continue;
            const bool triggerOverride = b != board::kIsolatedBoardBlock && *input == 0 &&
                                         (offset == 0x22 || offset == 0x23 || offset == 0x24 || offset == 0x27);
            if (triggerOverride) continue;
            char text[32];
            std::snprintf(text, sizeof text, "%s 0x%X: %u", block, offset, *input);
            found.push_back(text);
        }
    }
    for (unsigned line = 0; line < board::NonIsolatedFpga::kPxiTriggerLines; ++line)
        if (fpga.pxiTriggerOutputOn(line)) found.push_back("pxi " + std::to_string(line));
    return found;
}

}  // namespace routingtest
