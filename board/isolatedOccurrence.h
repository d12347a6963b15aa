// The occurrence hardware of the isolated side: the isolated board's muxes (0x030-0x039, the error
// mux 0x040) and error manager (strobes in bits 0 and 1 of 0x008, occurrence register 0x041), and
// per channel 0 to 3 the muxes at channel offsets 0x020-0x035 and the error manager (strobes in
// bits 0 and 1 of 0x000, occurrence register 0x047), channel c's block at isolated address
// 0x1000 + 0x200 c. The error muxes feed their block's manager. The isolated board's and the
// channels' error muxes, the alarm mux (0x021) and the interrupt mux (0x02A) know their sources;
// the other muxes have 256 inputs without ids. Managers start disarmed. The routing muxes (the
// isolated board's 0x030-0x039, each channel's 0x022-0x025, 0x027-0x029 and 0x02B-0x035) connect
// one input through, as their routing view tells. Nothing here locks: its owner calls it under the
// board's lock, and so must tests.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "board/occurrenceHardware.h"

namespace board {

// Blocks by number: the channels 0 to 3, then the isolated board.
constexpr unsigned kIsolatedBoardBlock = 4;
constexpr unsigned kIsolatedOccurrenceBlocks = 5;
constexpr uint32_t kChannelBlockBase = 0x1000;
constexpr uint32_t kChannelBlockSize = 0x200;

class IsolatedOccurrence {
public:
    IsolatedOccurrence();

    // A write of an isolated word. A mux word is taken whole (true); a manager's configuration word
    // acts on its strobes and is left to the caller to store as well (false).
    bool write(uint32_t address, uint32_t value);
    // The read side of a mux word (its status) or of an occurrence register; false elsewhere.
    bool read(uint32_t address, uint32_t& value);

    // Test hooks, on one block. A source becomes active on every mux of the block it feeds (an enabled input latches and reports to the manager) or quiet.
    void raise(unsigned block, uint16_t id);
    void drop(unsigned block, uint16_t id);
    // The manager's occurrence register reads this id (non-zero) whatever is cleared; 0 ends it.
    void setStuckId(unsigned block, uint16_t id);
    // The input latches (or lets go) whether or not it is enabled; the manager is not told.
    void latchPosition(unsigned block, uint32_t muxOffset, unsigned position, bool latched = true);

    // Null where the block has no mux.
    OccurrenceMuxModel* mux(unsigned block, uint32_t offset);
    ErrorManagerModel& manager(unsigned block) { return blocks_[block].manager; }
    OccurrenceMuxModel& errorMux(unsigned block) { return *mux(block, errorMuxOffset(block)); }
    static uint32_t errorMuxOffset(unsigned block) { return block == kIsolatedBoardBlock ? 0x040 : 0x020; }

    // The block's routing muxes, ascending.
    static std::vector<uint32_t> routingMuxOffsets(unsigned block);
    // The input a routing mux connects; none when it connects none or the word is no routing mux.
    std::optional<unsigned> routedInput(unsigned block, uint32_t offset);

private:
    struct Block {
        ErrorManagerModel manager;
        std::map<uint32_t, std::unique_ptr<OccurrenceMuxModel>> muxes;
        uint32_t configuration;
        uint32_t occurrence;
    };
    // The block holding the address and the offset within it; false outside every block.
    static bool locate(uint32_t address, unsigned& block, uint32_t& offset);

    Block blocks_[kIsolatedOccurrenceBlocks];
};

// The sources of the muxes that know them, by input position, as the FPGAs wire them.
std::vector<uint16_t> isolatedBoardErrorSources();
std::vector<uint16_t> channelErrorSources();
std::vector<uint16_t> channelAlarmSources();
std::vector<uint16_t> channelInterruptSources();

// "iso", "ch0" to "ch3" as a block of IsolatedOccurrence, "niso" as -1; -2 for any other name.
int occurrenceBlockByName(const std::string& name);

}  // namespace board
