// An FPGA block's occurrence hardware: a mux whose numbered inputs are each fed by one occurrence
// source, and the error manager that latches the first error the mux reports. Neither locks: the
// register file that holds them calls them under the board's lock, and so must tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace board {

class ErrorManagerModel;

class OccurrenceMuxModel {
public:
    // Source ids by position; every input starts enabled, unlatched and quiet.
    OccurrenceMuxModel(std::vector<uint16_t> idsByPosition, ErrorManagerModel* manager = nullptr);

    // Any write of the mux's word: selects its position (bits 16-23); action 1 (bits 28-31) enables
    // and 2 disables the selected input; bit 10 clears every latch, bit 11 the selected one's; bits
    // 12 and 13 arm and disarm. Actions 8 and 9 disconnect the routed input.
    void configure(uint32_t word);
    // The selected input: id (bits 0-11), armed (12), latch enabled (13), latched (14), live (15),
    // position (16-23).
    uint32_t status() const;

    // A source becomes active (an enabled input latches and reports to the manager) or quiet.
    void raise(uint16_t id);
    void drop(uint16_t id);
    // The input at the position latches (or lets go) whether or not it is enabled; the manager is
    // not told.
    void latch(unsigned position, bool latched = true);

    bool enabled(unsigned position) const { return inputs_.at(position).enabled; }
    bool latched(unsigned position) const { return inputs_.at(position).latched; }
    unsigned selected() const { return selected_; }
    unsigned inputCount() const { return unsigned(inputs_.size()); }
    bool isArmed() const { return armed_; }
    // The routing view of a mux that connects one input through: the input the last action-1 write
    // selected, until an action-2 write at that position or an action-8 or -9 write disconnects it.
    std::optional<unsigned> routedInput() const { return routed_; }
    // The source ids of the latched inputs, in position order.
    std::vector<uint16_t> latchedIds() const;

private:
    struct Input {
        uint16_t id;
        bool enabled = true;
        bool latched = false;
        bool live = false;
    };
    int positionOf(uint16_t id) const;

    std::vector<Input> inputs_;
    ErrorManagerModel* manager_;
    unsigned selected_ = 0;
    bool armed_ = false;
    std::optional<unsigned> routed_;
};

class ErrorManagerModel {
public:
    // Configuration write: bit 0 enables the manager, bit 1 disables it and clears its latched id.
    void configure(uint32_t word);
    // The occurrence register: the latched id, 0 when none.
    uint32_t occurrence() const { return stuckId_ != 0 ? stuckId_ : latchedId_; }
    // Called by the mux when an enabled input latches.
    void inputLatched(uint16_t id);

    bool isEnabled() const { return enabled_; }
    // Fault knob: the occurrence register reads this id (non-zero) whatever is cleared.
    void setStuckId(uint16_t id) { stuckId_ = id; }

private:
    bool enabled_ = false;
    uint16_t latchedId_ = 0;
    uint16_t stuckId_ = 0;
};

}  // namespace board
